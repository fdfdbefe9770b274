#pragma once
// A sound hub that records every call and, like a host's hub, renders the
// frames due so far through the source's Mix when asked to Update.

#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

#include "device/device.h"
#include "tests/support/psg_stand_in.h"

enum class HubOp { Attach, Detach, Update };

struct HubCall {
    const ISoundHub* hub;
    HubOp op;
    const ISoundSource* source;
    bool operator==(const HubCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const HubCall& call)
{
    static const char* const names[] = {"Attach", "Detach", "Update"};
    return out << names[static_cast<int>(call.op)] << "(hub " << call.hub << ", source " << call.source << ")";
}

using ChipPair = std::array<PsgChip, 2>;

inline ChipPair SnapshotChips()
{
    return {StandInChip(0), StandInChip(1)};
}

class RecordingHub : public ISoundHub {
public:
    explicit RecordingHub(std::vector<HubCall>& sharedLog) : log(sharedLog) {}

    bool J27_CALL Attach(ISoundSource* source) override
    {
        log.push_back({this, HubOp::Attach, source});
        return true;
    }

    bool J27_CALL Detach(ISoundSource* source) override
    {
        log.push_back({this, HubOp::Detach, source});
        return true;
    }

    bool J27_CALL Update(ISoundSource* source) override
    {
        log.push_back({this, HubOp::Update, source});
        chipsAtUpdate.push_back(SnapshotChips());
        std::vector<StereoFrame> frames(static_cast<size_t>(framesPerUpdate), StereoFrame{0, 0});
        source->Mix(frames.data(), framesPerUpdate);
        rendered.insert(rendered.end(), frames.begin(), frames.end());
        chipsAfterUpdate.push_back(SnapshotChips());
        return true;
    }

    std::vector<HubCall>& log;
    int32_t framesPerUpdate = 0;              // frames each Update renders
    std::vector<ChipPair> chipsAtUpdate;      // chips as Update found them
    std::vector<ChipPair> chipsAfterUpdate;   // chips once Update had rendered
    std::vector<StereoFrame> rendered;        // every frame Update rendered
};
