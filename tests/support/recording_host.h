#pragma once
// A host of our own for the module: services, port bus, sound hub, page
// registry and page site that record every call, in order, in one log.

#include <windows.h>

#include <string>

#include "contract/host_device.h"
#include "contract/host_ui.h"
#include "contract/module_api.h"
#include "tests/support/call_log.h"
#include "tests/support/recording_hub.h"

// Loads dir\Quarix.j27 into *library and returns its factory; null when the
// library or the export is missing (*library then says which).
J27CreateModuleFn LoadQuarix(const std::string& dir, HMODULE* library);

// "PortBus.Connect QRXS [<the table's bytes>]"; accept says how it answers.
class RecordingPortBus : public IPortBus {
public:
    explicit RecordingPortBus(CallLog& callLog) : log(callLog) {}
    bool J27_CALL Connect(IDevice* device, const PortConnector* table) override;
    bool J27_CALL Disconnect(IDevice* device) override
    {
        log.Add(device == connected ? "PortBus.Disconnect" : "PortBus.Disconnect (another device)");
        connected = nullptr;
        return true;
    }

    CallLog& log;
    bool accept = true;
    IDevice* connected = nullptr;
};

class RecordingPageRegistry : public IPageRegistry {
public:
    explicit RecordingPageRegistry(CallLog& callLog) : log(callLog) {}
    bool J27_CALL Add(IConfigPropSheet* page) override
    {
        log.Add("PageRegistry.Add");
        added = page;
        return true;
    }
    bool J27_CALL Remove(IConfigPropSheet* page) override
    {
        log.Add(page == added && page != nullptr ? "PageRegistry.Remove" : "PageRegistry.Remove (another page)");
        added = nullptr;
        return true;
    }

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
    bool J27_CALL Reserved0() override { return Note(".Reserved0", true); }
    bool J27_CALL Reserved1() override { return Note(".Reserved1", true); }
    bool J27_CALL OnPageApplied() override { return Note(".OnPageApplied", true); }
    bool J27_CALL OnPageShown(IConfigPropSheet* page) override { return Note(".OnPageShown", page == expectedPage); }
    bool J27_CALL OnPageModified(HWND window) override
    {
        return Note(".OnPageModified", window == expectedWindow, " (another window)");
    }

    CallLog& log;
    std::string name;
    IConfigPropSheet* expectedPage = nullptr;
    HWND expectedWindow = nullptr;

private:
    bool Note(const char* call, bool expectedArgument, const char* otherwise = " (another page)")
    {
        log.Add(name + call + (expectedArgument ? "" : otherwise));
        return true;
    }
};

// The connector table's bytes as hex words, "08010200 AC000203 ...", up to
// and including its four-zero-byte end.
std::string ConnectorBytes(const PortConnector* table);
