// Live output through waveOut. Chosen over WASAPI because it is present on
// every Windows version and needs no COM, and because its queue of headers
// fits copying finished frames block by block out of the ring; under Wine it
// reaches PulseAudio through the same driver (winepulse) as WASAPI does.
//
// A thread of our own waits for the device's "header done" event and refills
// the done headers from the ring; that is all it does.

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "host/live_output.h"

namespace {

constexpr int kHeaders = 4;
constexpr DWORD kStallMs = 3000;  // queued frames not played for this long: the device has gone

std::string WaveError(MMRESULT code)
{
    char text[MAXERRORLENGTH] = "";
    if (waveOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
        return "waveOut error " + std::to_string(code);
    }
    return std::string(text) + " (waveOut error " + std::to_string(code) + ")";
}

class WaveOutput final : public LiveOutput {
public:
    ~WaveOutput() override { Close(); }

    bool Open(const std::string& device, int32_t rateHz, uint32_t bufferFrames, FrameRing* frameRing,
              std::string* error) override
    {
        ring = frameRing;
        const char* server = std::getenv("PULSE_SERVER");
        const std::string advice =
            std::string(". Check the system's sound output") +
            (server != nullptr ? std::string(" (under Wine: the PulseAudio server PULSE_SERVER names, ") + server + ")"
                               : std::string(" (under Wine: a PulseAudio server, or set PULSE_SERVER to one)")) +
            ", or write a file with -o instead of --play";
        const UINT count = waveOutGetNumDevs();
        if (count == 0) {
            *error = "cannot play: waveOut has no sound output device" + advice;
            return false;
        }
        UINT id = WAVE_MAPPER;
        if (!device.empty()) {
            for (UINT k = 0; k < count && id == WAVE_MAPPER; ++k) {
                WAVEOUTCAPSA caps;
                if (waveOutGetDevCapsA(k, &caps, sizeof caps) == MMSYSERR_NOERROR && device == caps.szPname) {
                    id = k;
                }
            }
            if (id == WAVE_MAPPER) {
                *error = "cannot play: no waveOut device is named '" + device + "'";
                return false;
            }
        }
        WAVEFORMATEX format = {};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = static_cast<DWORD>(rateHz);
        format.wBitsPerSample = 16;
        format.nBlockAlign = sizeof(PcmFrame);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        const MMRESULT opened =
            waveOutOpen(&wave, id, &format, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT);
        if (opened != MMSYSERR_NOERROR) {
            wave = nullptr;
            *error = "cannot play: waveOut refused 16-bit stereo at " + std::to_string(rateHz) +
                     " Hz: " + WaveError(opened) + advice;
            Close();
            return false;
        }
        blockFrames = bufferFrames / kHeaders > 64 ? bufferFrames / kHeaders : 64;
        for (Block& b : blocks) {
            b.frames.resize(blockFrames);
            b.header.lpData = reinterpret_cast<LPSTR>(b.frames.data());
            b.header.dwBufferLength = static_cast<DWORD>(blockFrames * sizeof(PcmFrame));
            waveOutPrepareHeader(wave, &b.header, sizeof b.header);
        }
        running.store(true);
        thread = CreateThread(nullptr, 0, &WaveOutput::ThreadMain, this, 0, nullptr);
        if (thread == nullptr) {
            *error = "cannot play: no thread for the sound output";
            Close();
            return false;
        }
        return true;
    }

    void SetPaused(bool paused) override
    {
        pausedNow.store(paused);
        if (paused) {
            waveOutPause(wave);
        } else {
            waveOutRestart(wave);
        }
    }

    bool Healthy(std::string* error) override
    {
        if (failed.load()) {
            *error = "the sound output stopped while playing (" + failure + "); playback stopped";
            return false;
        }
        return true;
    }

    bool Drain(std::string* error) override
    {
        draining.store(true);
        SetEvent(done);
        while (!idle.load() && !failed.load()) {
            Sleep(5);
        }
        return Healthy(error);
    }

    void Close() override
    {
        if (thread != nullptr) {
            running.store(false);
            SetEvent(done);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            thread = nullptr;
        }
        if (wave != nullptr) {
            waveOutReset(wave);
            for (Block& b : blocks) {
                waveOutUnprepareHeader(wave, &b.header, sizeof b.header);
            }
            waveOutClose(wave);
            wave = nullptr;
        }
        if (done != nullptr) {
            CloseHandle(done);
            done = nullptr;
        }
    }

    uint64_t Underruns() const override { return underruns.load(); }

private:
    struct Block {
        std::vector<PcmFrame> frames;
        WAVEHDR header = {};
        bool queued = false;
    };

    static DWORD WINAPI ThreadMain(void* self)
    {
        static_cast<WaveOutput*>(self)->Loop();
        return 0;
    }

    // The output's thread: refill every header the device has finished.
    void Loop()
    {
        bool started = false;
        DWORD lastProgress = GetTickCount();
        while (running.load()) {
            WaitForSingleObject(done, 5);
            if (pausedNow.load()) {
                lastProgress = GetTickCount();
            }
            int queued = 0;
            for (Block& b : blocks) {
                if (b.queued && (b.header.dwFlags & WHDR_DONE) != 0) {
                    b.queued = false;
                    lastProgress = GetTickCount();
                }
                queued += b.queued ? 1 : 0;
            }
            const bool ending = draining.load();
            if (started && queued == 0 && !pausedNow.load() && !ending && !starved) {
                starved = true;
                underruns.fetch_add(1);
            }
            for (Block& b : blocks) {
                if (b.queued) {
                    continue;
                }
                // Whole blocks while playing; the last, shorter one at the end.
                if (ring->Fill() < blockFrames && !ending) {
                    break;
                }
                const size_t n = ring->Pop(b.frames.data(), blockFrames);
                if (n == 0) {
                    break;
                }
                b.header.dwBufferLength = static_cast<DWORD>(n * sizeof(PcmFrame));
                const MMRESULT written = waveOutWrite(wave, &b.header, sizeof b.header);
                if (written != MMSYSERR_NOERROR) {
                    failure = WaveError(written);
                    failed.store(true);
                    return;
                }
                b.queued = true;
                ++queued;
                started = true;
                starved = false;
                if (queued == 1) {
                    lastProgress = GetTickCount();
                }
            }
            if (queued > 0 && !pausedNow.load() && GetTickCount() - lastProgress > kStallMs) {
                failure = "no frames played for " + std::to_string(kStallMs / 1000) + " seconds";
                failed.store(true);
                return;
            }
            idle.store(ending && queued == 0 && ring->Fill() == 0);
        }
    }

    FrameRing* ring = nullptr;  // not owned
    HWAVEOUT wave = nullptr;
    HANDLE done = nullptr;    // signalled by the device as headers finish
    HANDLE thread = nullptr;
    Block blocks[kHeaders];
    size_t blockFrames = 0;
    bool starved = false;      // output thread only
    std::string failure;       // written by the output thread before failed is set
    std::atomic<bool> running{false};
    std::atomic<bool> draining{false};
    std::atomic<bool> idle{false};
    std::atomic<bool> pausedNow{false};
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> underruns{0};
};

}  // namespace

std::unique_ptr<LiveOutput> CreateLiveOutput()
{
    return std::make_unique<WaveOutput>();
}
