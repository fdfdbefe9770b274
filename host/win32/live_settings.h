#pragma once
// j27host --play --settings: the configuration sheet, modeless, while the
// music plays. Its window belongs to the player thread, which pumps its
// messages between blocks; so the page's Apply reaches the device on the
// same thread as every port write and Mix, never during one.

#include <cstdint>

#include <windows.h>

#include "host/live_player.h"
#include "host/win32/module_binding.h"

class LiveSettingsSheet : public SettingsWhilePlaying {
public:
    explicit LiveSettingsSheet(ModuleBinding& binding);  // not owned; bound before Open
    ~LiveSettingsSheet() override;

    // Builds the sheet with the module's pages and lets it paint.
    Result Open() override;
    // Handles the messages waiting for this thread; after OK or Cancel the
    // sheet is destroyed and the music plays on.
    void Pump(uint64_t frame, uint64_t queuedFrames) override;
    int Applies() const override { return site.applied; }
    void Close() override;

    HWND Sheet() const { return sheet; }
    PageSite site;

private:
    ModuleBinding& module;
    HWND sheet = nullptr;
};
