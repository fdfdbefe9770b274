#pragma once
// A host of our own for the module: services, port bus, sound hub, page
// registry and page site that record every call, in order, in one log.

#include <windows.h>

#include <string>
#include <vector>

#include "contract/host_device.h"
#include "contract/host_sound.h"
#include "contract/host_ui.h"
#include "contract/module_api.h"

// Loads dir\Quarix.j27 into *library and returns its factory; null when the
// library or the export is missing (*library then says which).
J27CreateModuleFn LoadQuarix(const std::string& dir, HMODULE* library);

// The calls in order. When watchedFile is set, a change of that file's
// contents since the last entry is logged as "<file> written" first, so the
// moment of a settings write shows in the sequence.
class CallLog {
public:
    void Watch(const std::string& path, const std::string& label);
    void Add(const std::string& call);
    void Flush();  // logs a pending file change
    std::vector<std::string> calls;

private:
    std::string watchedFile;
    std::string watchedLabel;
    std::string lastContents;
};

class RecordingPortBus : public IPortBus {
public:
    explicit RecordingPortBus(CallLog& callLog) : log(callLog) {}
    bool J27_CALL Connect(IDevice* device, const PortConnector* table) override;
    bool J27_CALL Disconnect(IDevice* device) override;

    CallLog& log;
    bool accept = true;
    IDevice* connected = nullptr;
};

class RecordingSoundHub : public ISoundHub {
public:
    explicit RecordingSoundHub(CallLog& callLog) : log(callLog) {}
    bool J27_CALL Attach(ISoundSource* source) override;
    bool J27_CALL Detach(ISoundSource* source) override;
    bool J27_CALL Update(ISoundSource* source) override;

    CallLog& log;
    ISoundSource* attached = nullptr;
};

class RecordingPageRegistry : public IPageRegistry {
public:
    explicit RecordingPageRegistry(CallLog& callLog) : log(callLog) {}
    bool J27_CALL Add(IConfigPropSheet* page) override;
    bool J27_CALL Remove(IConfigPropSheet* page) override;

    CallLog& log;
    IConfigPropSheet* added = nullptr;
};

// Hands out the three interfaces; each can be withheld.
class RecordingHost : public IHostServices {
public:
    explicit RecordingHost(CallLog& callLog) : log(callLog), bus(callLog), hub(callLog), registry(callLog) {}
    void* J27_CALL GetInterface(const GUID* id) override;

    CallLog& log;
    RecordingPortBus bus;
    RecordingSoundHub hub;
    RecordingPageRegistry registry;
    bool hasBus = true;
    bool hasHub = true;
    bool hasRegistry = true;
};

// The page site, logged under its name. Arguments are compared with
// expectedPage and expectedWindow; a mismatch shows in the logged call.
class RecordingPageSite : public IPageSite {
public:
    RecordingPageSite(CallLog& callLog, const char* siteName) : log(callLog), name(siteName) {}
    bool J27_CALL Reserved0() override;
    bool J27_CALL Reserved1() override;
    bool J27_CALL OnPageApplied() override;
    bool J27_CALL OnPageShown(IConfigPropSheet* page) override;
    bool J27_CALL OnPageModified(HWND window) override;

    CallLog& log;
    std::string name;
    IConfigPropSheet* expectedPage = nullptr;
    HWND expectedWindow = nullptr;
};

// The connector table's bytes as hex words, "08010200 AC000203 ...", up to
// and including its four-zero-byte end.
std::string ConnectorBytes(const PortConnector* table);
