// Live output through PulseAudio's client library, which every Linux desktop
// speaks (PipeWire included). pa_threaded_mainloop runs the library on a
// thread of its own; its callbacks only copy frames out of the ring, count
// underruns and note failures. The player thread takes the mainloop's lock
// only to connect, pause, drain and close.

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "host/live_output.h"

namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(5);
constexpr pa_usec_t kTopUpUsec = 5000;  // how often the stream is topped up besides the server's requests

// The mainloop's lock for a scope.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* mainloop) : loop(mainloop) { pa_threaded_mainloop_lock(loop); }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* loop;
};

class PulseOutput final : public LiveOutput {
public:
    ~PulseOutput() override { Close(); }

    Result Open(const std::string& device, int32_t rateHz, uint32_t bufferFrames, FrameRing* frameRing) override
    {
        ring = frameRing;
        Result opened = StartLoop();
        if (opened.Ok()) {
            const MainloopLock lock(loop);
            opened = ConnectContext();
            if (opened.Ok()) {
                opened = StartStream(device, rateHz, bufferFrames);
            }
            if (opened.Ok()) {
                timer = pa_context_rttime_new(context, pa_rtclock_now() + kTopUpUsec, &PulseOutput::OnTimer, this);
            }
        }
        if (!opened.Ok()) {
            Close();
        }
        return opened;
    }

    void SetPaused(bool paused) override
    {
        const MainloopLock lock(loop);
        Release(pa_stream_cork(stream, paused ? 1 : 0, nullptr, nullptr));
    }

    Result Drain() override
    {
        while (ring->Fill() > 0 && !Failed()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        {
            const MainloopLock lock(loop);
            draining = true;
            // Starts a stream shorter than the server's pre-buffer as well.
            Release(pa_stream_trigger(stream, nullptr, nullptr));
            pa_operation* op = pa_stream_drain(stream, &PulseOutput::OnDrained, this);
            while (op != nullptr && pa_operation_get_state(op) == PA_OPERATION_RUNNING && !Failed()) {
                pa_threaded_mainloop_wait(loop);
            }
            Release(op);
        }
        return Health();
    }

    void Close() override
    {
        if (loop == nullptr) {
            return;
        }
        {
            const MainloopLock lock(loop);
            if (timer != nullptr) {
                pa_threaded_mainloop_get_api(loop)->time_free(timer);
                timer = nullptr;
            }
            CloseStream();
            if (context != nullptr) {
                pa_context_set_state_callback(context, nullptr, nullptr);
                pa_context_disconnect(context);
                pa_context_unref(context);
                context = nullptr;
            }
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
    }

    uint64_t Underruns() const override { return underruns.load(); }

private:
    std::string Advice() const override
    {
        return ". Start a PulseAudio or PipeWire server or set PULSE_SERVER to one (unix:/path/to/socket)";
    }

    // The server tried, for messages.
    static std::string Tried()
    {
        const char* env = std::getenv("PULSE_SERVER");
        return env != nullptr && *env != '\0' ? std::string("the sound server PULSE_SERVER names (") + env + ")"
                                              : std::string("the default PulseAudio sound server");
    }

    std::string Why() const { return pa_strerror(pa_context_errno(context)); }

    Result StartLoop()
    {
        loop = pa_threaded_mainloop_new();
        if (loop == nullptr || pa_threaded_mainloop_start(loop) < 0) {
            if (loop != nullptr) {
                pa_threaded_mainloop_free(loop);
                loop = nullptr;
            }
            return CannotPlay(Tried() + ": the client library could not start");
        }
        return {};
    }

    // Under the lock: a context, connected and ready, or a failure within kConnectTimeout.
    Result ConnectContext()
    {
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "quarix");
        if (context == nullptr) {
            return CannotPlay(Tried() + ": the client library could not start");
        }
        pa_context_set_state_callback(context, &PulseOutput::OnContextState, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return CannotPlay(Tried() + ": " + Why());
        }
        deadline = std::chrono::steady_clock::now() + kConnectTimeout;
        pa_context_state_t state;
        while ((state = pa_context_get_state(context)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return CannotPlay(Tried() + ": no answer within 5 seconds");
            }
            pa_threaded_mainloop_unlock(loop);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            pa_threaded_mainloop_lock(loop);
        }
        return state == PA_CONTEXT_READY ? Result() : CannotPlay(Tried() + ": " + Why());
    }

    // Under the lock: a playback stream on device, ready, or a failure by the deadline.
    Result StartStream(const std::string& device, int32_t rateHz, uint32_t bufferFrames)
    {
        const pa_sample_spec format = {PA_SAMPLE_S16LE, static_cast<uint32_t>(rateHz), 2};
        stream = pa_stream_new(context, "Quarix", &format, nullptr);
        if (stream == nullptr) {
            return CannotPlay(Tried() + ": the stream was refused: " + Why());
        }
        pa_stream_set_state_callback(stream, &PulseOutput::OnStreamState, this);
        pa_stream_set_write_callback(stream, &PulseOutput::OnWrite, this);
        pa_stream_set_underflow_callback(stream, &PulseOutput::OnUnderflow, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = bufferFrames * 4;
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        // Full volume: the frames reach the sink as rendered.
        pa_cvolume volume;
        pa_cvolume_set(&volume, 2, PA_VOLUME_NORM);
        if (pa_stream_connect_playback(stream, device.empty() ? nullptr : device.c_str(), &attr,
                                       PA_STREAM_ADJUST_LATENCY, &volume, nullptr) < 0) {
            return CannotPlay(Tried() + ": the stream was refused: " + Why());
        }
        pa_stream_state_t state;
        while ((state = pa_stream_get_state(stream)) != PA_STREAM_READY && PA_STREAM_IS_GOOD(state)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return CannotPlay(Tried() + ": the stream did not start within 5 seconds");
            }
            pa_threaded_mainloop_wait(loop);
        }
        if (state == PA_STREAM_READY) {
            return {};
        }
        if (!device.empty()) {
            return Result::Failure("cannot play on sound output '" + device + "': " + Why() +
                                   " (pactl list short sinks names them)");
        }
        return CannotPlay(Tried() + ": the stream was refused: " + Why());
    }

    void CloseStream()
    {
        if (stream == nullptr) {
            return;
        }
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }

    static void Release(pa_operation* op)
    {
        if (op != nullptr) {
            pa_operation_unref(op);
        }
    }

    // Mainloop thread: copies what the server can take and the ring holds.
    void Fill()
    {
        if (stream == nullptr || pa_stream_get_state(stream) != PA_STREAM_READY) {
            return;
        }
        size_t room = pa_stream_writable_size(stream) / sizeof(PcmFrame);
        while (room > 0) {
            scratch.resize(room);
            const size_t n = ring->Pop(scratch.data(), room);
            if (n == 0) {
                return;
            }
            pa_stream_write(stream, scratch.data(), n * sizeof(PcmFrame), nullptr, 0, PA_SEEK_RELATIVE);
            room -= n;
        }
    }

    void RestartTimer() { pa_context_rttime_restart(context, timer, pa_rtclock_now() + kTopUpUsec); }

    static void OnWrite(pa_stream*, size_t, void* self) { static_cast<PulseOutput*>(self)->Fill(); }

    static void OnTimer(pa_mainloop_api*, pa_time_event*, const timeval*, void* self)
    {
        auto* out = static_cast<PulseOutput*>(self);
        out->Fill();
        out->RestartTimer();
    }

    static void OnUnderflow(pa_stream*, void* self)
    {
        auto* out = static_cast<PulseOutput*>(self);
        if (!out->draining) {
            out->underruns.fetch_add(1);
        }
    }

    static void OnDrained(pa_stream*, int, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->loop, 0);
    }

    static void OnContextState(pa_context* c, void* self)
    {
        auto* out = static_cast<PulseOutput*>(self);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
            out->Fail("the sound server went away");
        }
        pa_threaded_mainloop_signal(out->loop, 0);
    }

    static void OnStreamState(pa_stream* s, void* self)
    {
        auto* out = static_cast<PulseOutput*>(self);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            out->Fail("the sound server ended the stream");
        }
        pa_threaded_mainloop_signal(out->loop, 0);
    }

    FrameRing* ring = nullptr;  // not owned
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* timer = nullptr;
    std::chrono::steady_clock::time_point deadline;  // of Open
    std::vector<PcmFrame> scratch;  // mainloop thread only
    std::atomic<uint64_t> underruns{0};
    bool draining = false;  // under the mainloop's lock
};

}  // namespace

std::unique_ptr<LiveOutput> CreateLiveOutput()
{
    return std::make_unique<PulseOutput>();
}
