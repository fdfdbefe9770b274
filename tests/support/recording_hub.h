#pragma once
// A sound hub that logs its calls as "<name>.Attach", "<name>.Detach" and
// "<name>.Update", each with " (another source)" where the source is not the
// expected one (the attached one, once a source is attached).

#include <functional>
#include <string>
#include <utility>

#include "contract/host_sound.h"
#include "tests/support/call_log.h"

class RecordingSoundHub : public ISoundHub {
public:
    explicit RecordingSoundHub(CallLog& callLog, std::string hubName = "SoundHub")
        : log(callLog), name(std::move(hubName))
    {
    }
    bool J27_CALL Attach(ISoundSource* source) override;
    bool J27_CALL Detach(ISoundSource* source) override;
    bool J27_CALL Update(ISoundSource* source) override;

    CallLog& log;
    std::string name;
    const ISoundSource* expected = nullptr;  // for Attach; null: any source
    ISoundSource* attached = nullptr;
    // Runs in Update after the entry is logged, as a host's hub renders there.
    std::function<void(ISoundSource* source)> onUpdate;
};
