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

    Result Open(const std::string& device, int32_t rateHz, uint32_t bufferFrames, FrameRing* frameRing) override
    {
        ring = frameRing;
        UINT id = WAVE_MAPPER;
        Result opened = FindDevice(device, &id);
        if (opened.Ok()) {
            opened = OpenDevice(id, rateHz);
        }
        if (opened.Ok()) {
            PrepareBlocks(bufferFrames);
            running.store(true);
            thread = CreateThread(nullptr, 0, &WaveOutput::ThreadMain, this, 0, nullptr);
            if (thread == nullptr) {
                opened = Result::Failure("cannot play: no thread for the sound output");
            }
        }
        if (!opened.Ok()) {
            Close();
        }
        return opened;
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

    Result Drain() override
    {
        draining.store(true);
        SetEvent(done);
        while (!idle.load() && !Failed()) {
            Sleep(5);
        }
        return Health();
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

    std::string Advice() const override
    {
        const char* server = std::getenv("PULSE_SERVER");
        const std::string wine =
            server != nullptr ? std::string(" (under Wine: the PulseAudio server PULSE_SERVER names, ") + server + ")"
                              : std::string(" (under Wine: a PulseAudio server, or set PULSE_SERVER to one)");
        return ". Check the system's sound output" + wine;
    }

    // The device named device (empty: the system's choice) in *id.
    Result FindDevice(const std::string& device, UINT* id) const
    {
        const UINT count = waveOutGetNumDevs();
        if (count == 0) {
            return CannotPlay("waveOut has no sound output device");
        }
        for (UINT k = 0; k < count && !device.empty() && *id == WAVE_MAPPER; ++k) {
            WAVEOUTCAPSA caps;
            if (waveOutGetDevCapsA(k, &caps, sizeof caps) == MMSYSERR_NOERROR && device == caps.szPname) {
                *id = k;
            }
        }
        if (!device.empty() && *id == WAVE_MAPPER) {
            return Result::Failure("cannot play: no waveOut device is named '" + device + "'");
        }
        return {};
    }

    Result OpenDevice(UINT id, int32_t rateHz)
    {
        WAVEFORMATEX format = {};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = static_cast<DWORD>(rateHz);
        format.wBitsPerSample = 16;
        format.nBlockAlign = sizeof(PcmFrame);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        const MMRESULT opened = waveOutOpen(&wave, id, &format, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT);
        if (opened != MMSYSERR_NOERROR) {
            wave = nullptr;
            return CannotPlay("waveOut refused 16-bit stereo at " + std::to_string(rateHz) +
                              " Hz: " + WaveError(opened));
        }
        return {};
    }

    void PrepareBlocks(uint32_t bufferFrames)
    {
        blockFrames = bufferFrames / kHeaders > 64 ? bufferFrames / kHeaders : 64;
        for (Block& b : blocks) {
            b.frames.resize(blockFrames);
            b.header.lpData = reinterpret_cast<LPSTR>(b.frames.data());
            b.header.dwBufferLength = static_cast<DWORD>(blockFrames * sizeof(PcmFrame));
            waveOutPrepareHeader(wave, &b.header, sizeof b.header);
        }
    }

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
                    Fail(WaveError(written));
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
                Fail("no frames played for " + std::to_string(kStallMs / 1000) + " seconds");
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
    std::atomic<bool> running{false};
    std::atomic<bool> draining{false};
    std::atomic<bool> idle{false};
    std::atomic<bool> pausedNow{false};
    std::atomic<uint64_t> underruns{0};
};

}  // namespace

std::unique_ptr<LiveOutput> CreateLiveOutput()
{
    return std::make_unique<WaveOutput>();
}
