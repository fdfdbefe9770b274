#pragma once
// The clean listening path after the module: its frames, at the chips' tick
// rate, band-limited and taken to the output rate by libsoxr, the chips'
// one-sided offset removed by a DC-blocking high-pass, and rounded to whole
// samples. The frame chain then saturates them to 16 bits, as on the exact
// path. The same input gives the same frames on every machine and in both
// front ends (see the .cpp for how the resampler's engine is pinned).

#include <cstdint>
#include <memory>
#include <vector>

#include "host/frame_stage.h"
#include "host/play_plan.h"
#include "host/result.h"

struct soxr;  // libsoxr's resampler, behind soxr_t

class ResampleStage final : public FrameStage {
public:
    ~ResampleStage() override;
    ResampleStage(const ResampleStage&) = delete;
    ResampleStage& operator=(const ResampleStage&) = delete;

    // From inputRate to outputHz. Taking plannedInput frames in all, the
    // stage hands on exactly plannedOutput; flushed sooner (a stopped run),
    // as many as the frames taken stand for, rounded down. A failure says
    // what libsoxr refused.
    static Result Create(FrameRate inputRate, int32_t outputHz, uint64_t plannedInput, uint64_t plannedOutput,
                         std::unique_ptr<ResampleStage>* stage);

    std::span<const StereoFrame> Process(std::span<const StereoFrame> frames) override;
    std::span<const StereoFrame> Flush() override;
    void Restart() override;

    uint64_t Taken() const { return taken; }  // input frames so far
    // What went wrong inside the resampler while running; it handed on
    // nothing more from there.
    const Result& Failure() const { return failure; }

private:
    ResampleStage(FrameRate inputRate, int32_t outputHz, uint64_t plannedInput, uint64_t plannedOutput);
    // The output frames inputFrames stand for, rounded down.
    uint64_t OutputFor(uint64_t inputFrames) const;
    void UpdateLimit();
    // Runs frames (null: the end) through libsoxr and appends what comes out.
    void Resample(const StereoFrame* frames, size_t count);
    // Filters and rounds count frames of resampled, up to the limit, into out.
    void Emit(size_t count);

    FrameRate input;
    int32_t outputRate;
    uint64_t inputPlanned;
    uint64_t outputPlanned;
    soxr* resampler = nullptr;
    uint64_t taken = 0;      // input frames so far
    uint64_t handedOn = 0;   // output frames so far
    uint64_t limit = 0;      // output frames the input so far stands for
    double highPass = 0;     // the high-pass's pole
    double highPassGain = 0;
    double lastIn[2] = {0, 0};   // the high-pass's state, left and right
    double lastOut[2] = {0, 0};
    std::vector<double> resampled;  // libsoxr's output, interleaved
    std::vector<StereoFrame> out;   // what Process or Flush hands on
    Result failure;
};
