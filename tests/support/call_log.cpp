#include "tests/support/call_log.h"

#include <fstream>
#include <iterator>

#include "tests/support/recording_hub.h"

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? "present:" + std::string(std::istreambuf_iterator<char>(in), {}) : "absent";
}

}  // namespace

void CallLog::Watch(const std::string& path, const std::string& label)
{
    watchedFile = path;
    watchedLabel = label;
    lastContents = Contents(path);
}

void CallLog::Flush()
{
    if (watchedFile.empty()) {
        return;
    }
    std::string now = Contents(watchedFile);
    if (now != lastContents) {
        calls.push_back(watchedLabel + " written");
        lastContents = std::move(now);
    }
}

void CallLog::Add(const std::string& call)
{
    Flush();
    calls.push_back(call);
}

bool J27_CALL RecordingSoundHub::Attach(ISoundSource* source)
{
    log.Add(name + ".Attach" + (expected == nullptr || source == expected ? "" : " (another source)"));
    attached = source;
    return true;
}

bool J27_CALL RecordingSoundHub::Detach(ISoundSource* source)
{
    log.Add(name + ".Detach" + (source == attached ? "" : " (another source)"));
    attached = nullptr;
    return true;
}

bool J27_CALL RecordingSoundHub::Update(ISoundSource* source)
{
    log.Add(name + ".Update" + (source == attached ? "" : " (another source)"));
    if (onUpdate) {
        onUpdate(source);
    }
    return true;
}
