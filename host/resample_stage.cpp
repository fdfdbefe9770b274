#include "host/resample_stage.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "host/platform.h"

namespace {

// libsoxr picks its engine in soxr_create. At the very high quality it takes
// the double-precision family: the SIMD "cr64s" or the plain C "cr64", by
// SOXR_USE_SIMD, then SOXR_USE_SIMD64, then what the CPU offers; other
// variables change its transform and filter sizes. So the environment is
// set before the first resampler is made (the run builds its stages before
// the live output starts a thread, and a batch's children inherit it), and
// every resampler checks that it runs "cr64". The Win32 DLL holds the plain
// C engines only. Both builds compute in SSE2 doubles without fused
// multiply-adds (see host/CMakeLists.txt).
//
// What remains: the filter design calls sin and exp, whose last bit can
// differ between C libraries (glibc natively, msvcrt under Win32) and between
// a library's CPU-specific variants. The resampled doubles then differ by
// about 1e-11, and a sample lying that close to a rounding tie would come
// out one apart: about once in 1e10 samples; never over the corpus.
constexpr char kPinnedEngine[] = "cr64";
constexpr const char* kEngineVariables[] = {
    "SOXR_USE_SIMD64",   "SOXR_USE_SIMD32", "SOXR_MIN_DFT_SIZE", "SOXR_LARGE_DFT_SIZE", "SOXR_COEFS_SIZE",
    "SOXR_COEF_INTERP",  "SOXR_STRICT_BUF", "SOXR_NOSMALLINTOPT", "SOXR_NUM_THREADS",
};

void PinEngine()
{
    static bool pinned = false;
    if (pinned) {
        return;
    }
    pinned = true;
    SetProcessEnvironment("SOXR_USE_SIMD", "0");
    for (const char* name : kEngineVariables) {
        SetProcessEnvironment(name, nullptr);
    }
}

// The high-pass that removes the chips' offset: one pole, normalised so that
// the top of the band passes at unity, y = g (x - x1) + R y1 with
// R = 1 - 2 pi fc / fs and g = (1 + R) / 2. Its corner, 3 Hz, is the highest
// that keeps 20 Hz within 0.1 dB (-0.097 dB); it settles an offset to a
// ten-thousandth of a sample within a second, even both chips' full 43688.
constexpr double kCornerHz = 3.0;
constexpr double kPi = 3.14159265358979323846;
// Below this the output is taken as 0: after a long silence the decaying
// state would otherwise reach denormal numbers, which are slow.
constexpr double kTiny = 1e-20;

// Nearest integer, ties to even: adding 1.5 x 2^52 leaves no bits for a
// fraction, and the addition rounds in the default mode, in SSE2 alike on
// both builds (nearbyint costs a call, and under Wine 167 ns).
constexpr double kRoundingShift = 6755399441055744.0;

int32_t RoundToSample(double y)
{
    const double inRange = std::clamp(y, -2147483648.0, 2147483647.0);
    return static_cast<int32_t>((inRange + kRoundingShift) - kRoundingShift);
}

// Room for what libsoxr hands out at once beyond the frames' own share.
constexpr size_t kSlackFrames = 4096;

}  // namespace

ResampleStage::ResampleStage(FrameRate inputRate, int32_t outputHz, uint64_t plannedInput, uint64_t plannedOutput)
    : input(inputRate), outputRate(outputHz), inputPlanned(plannedInput), outputPlanned(plannedOutput)
{
    highPass = 1.0 - 2.0 * kPi * kCornerHz / outputHz;
    highPassGain = (1.0 + highPass) / 2.0;
}

ResampleStage::~ResampleStage()
{
    soxr_delete(resampler);
}

Result ResampleStage::Create(FrameRate inputRate, int32_t outputHz, uint64_t plannedInput, uint64_t plannedOutput,
                             std::unique_ptr<ResampleStage>* stage)
{
    PinEngine();
    std::unique_ptr<ResampleStage> made(new ResampleStage(inputRate, outputHz, plannedInput, plannedOutput));
    // 32-bit frames in, doubles out in the frames' own units (2^31 is full scale).
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT32_I, SOXR_FLOAT64_I);
    io.scale = 65536.0 * 32768.0;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    made->resampler = soxr_create(inputRate.Hz(), outputHz, 2, &error, &io, &quality, &runtime);
    const std::string rates = FormatFrameRate(inputRate) + " Hz to " + std::to_string(outputHz) + " Hz";
    if (made->resampler == nullptr) {
        return Result::Failure("the resampler (libsoxr) cannot go from " + rates + ": " + soxr_strerror(error));
    }
    const std::string engine = soxr_engine(made->resampler);
    if (engine != kPinnedEngine) {
        return Result::Failure("the resampler (libsoxr) runs its " + engine + " engine, not " + kPinnedEngine +
                               ", which gives the same output on every machine");
    }
    *stage = std::move(made);
    return {};
}

uint64_t ResampleStage::OutputFor(uint64_t inputFrames) const
{
    return ScaleFrames(inputFrames, uint64_t{input.denominator} * static_cast<uint64_t>(outputRate), input.numerator);
}

void ResampleStage::UpdateLimit()
{
    limit = taken >= inputPlanned ? outputPlanned : std::min(outputPlanned, OutputFor(taken));
}

std::span<const StereoFrame> ResampleStage::Process(std::span<const StereoFrame> frames)
{
    out.clear();
    taken += frames.size();
    UpdateLimit();
    if (!frames.empty()) {
        Resample(frames.data(), frames.size());
    }
    return out;
}

std::span<const StereoFrame> ResampleStage::Flush()
{
    out.clear();
    UpdateLimit();
    if (!failure.Ok()) {
        return out;
    }
    // Silence after the end, enough that libsoxr's last frames reach the
    // limit: flushed, it stops at the input's own length, rounded.
    const uint64_t reached = OutputFor(taken);
    const uint64_t missing = limit > reached ? limit - reached : 0;
    const uint64_t perFrame = uint64_t{input.denominator} * static_cast<uint64_t>(outputRate);
    const std::vector<StereoFrame> silence(static_cast<size_t>(ScaleFrames(missing + 1, input.numerator, perFrame) + 2),
                                           StereoFrame{0, 0});
    Resample(silence.data(), silence.size());
    Resample(nullptr, 0);
    if (failure.Ok() && handedOn < limit) {
        // Never seen: libsoxr always made enough. The length stays as promised.
        out.resize(out.size() + static_cast<size_t>(limit - handedOn), StereoFrame{0, 0});
        handedOn = limit;
    }
    return out;
}

void ResampleStage::Restart()
{
    // soxr_clear leaves the resampler as soxr_create made it.
    if (failure.Ok()) {
        const soxr_error_t error = soxr_clear(resampler);
        if (error != nullptr) {
            failure = Result::Failure(std::string("the resampler (libsoxr) cannot start again: ") + error);
        }
    }
    taken = 0;
    handedOn = 0;
    limit = 0;
    lastIn[0] = lastIn[1] = 0;
    lastOut[0] = lastOut[1] = 0;
}

void ResampleStage::Resample(const StereoFrame* frames, size_t count)
{
    const size_t room = static_cast<size_t>(OutputFor(count)) + kSlackFrames;
    if (resampled.size() < 2 * room) {
        resampled.resize(2 * room);
    }
    size_t used = 0;
    for (;;) {
        size_t inDone = 0;
        size_t outDone = 0;
        const soxr_error_t error = soxr_process(resampler, frames == nullptr ? nullptr : frames + used, count - used,
                                                &inDone, resampled.data(), room, &outDone);
        if (error == nullptr && frames != nullptr && used < count && inDone == 0 && outDone == 0) {
            failure = Result::Failure("the resampler (libsoxr) took no more frames");
        } else if (error != nullptr) {
            failure = Result::Failure(std::string("the resampler (libsoxr) failed: ") + error);
        }
        if (!failure.Ok()) {
            return;
        }
        used += inDone;
        Emit(outDone);
        // At the end libsoxr gives its last frames until it has none left.
        const bool more = frames == nullptr ? outDone > 0 : used < count || outDone == room;
        if (!more) {
            return;
        }
    }
}

void ResampleStage::Emit(size_t count)
{
    const size_t due = static_cast<size_t>(std::min<uint64_t>(count, limit - handedOn));
    const size_t first = out.size();
    out.resize(first + due);
    for (size_t k = 0; k < due; ++k) {
        int32_t sample[2];
        for (int c = 0; c < 2; ++c) {
            const double x = resampled[2 * k + static_cast<size_t>(c)];
            double y = highPassGain * (x - lastIn[c]) + highPass * lastOut[c];
            y = std::fabs(y) < kTiny ? 0.0 : y;
            lastIn[c] = x;
            lastOut[c] = y;
            sample[c] = RoundToSample(y);
        }
        out[first + k] = {sample[0], sample[1]};
    }
    handedOn += due;
}
