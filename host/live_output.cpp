#include "host/live_output.h"

Result LiveOutput::Health() const
{
    if (!failed.load()) {
        return {};
    }
    const std::lock_guard<std::mutex> lock(failureLock);
    return Result::Failure("the sound output stopped while playing (" + failure + "); playback stopped");
}

void LiveOutput::Fail(const std::string& why)
{
    {
        const std::lock_guard<std::mutex> lock(failureLock);
        if (failed.load()) {
            return;  // the first reason stays
        }
        failure = why;
    }
    failed.store(true);
}

Result LiveOutput::CannotPlay(const std::string& what) const
{
    return Result::Failure("cannot play: " + what + Advice() + ", or write a file with -o instead of --play");
}
