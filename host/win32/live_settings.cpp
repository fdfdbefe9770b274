#include "host/win32/live_settings.h"

#include <commctrl.h>
#include <prsht.h>

#include "host/win32/settings_sheet.h"

LiveSettingsSheet::LiveSettingsSheet(ModuleBinding& binding) : module(binding) {}

LiveSettingsSheet::~LiveSettingsSheet()
{
    Close();
}

Result LiveSettingsSheet::Open()
{
    const Result shown = ShowSettingsSheet(module.registry, site, true, &sheet).Within(module.Path());
    if (!shown.Ok()) {
        return shown;
    }
    // The sheet's first paint and the window system's answers to its showing
    // take over a second under Wine: handled now, before playback starts,
    // they cannot starve the sound. Until the queue has stayed empty for
    // 200 ms, at most 3 s.
    const DWORD start = GetTickCount();
    DWORD quietSince = start;
    while (GetTickCount() - start < 3000 && GetTickCount() - quietSince < 200) {
        if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) {
            Pump(0, 0);
            quietSince = GetTickCount();
        } else {
            Sleep(5);
        }
    }
    return {};
}

void LiveSettingsSheet::Pump(uint64_t, uint64_t)
{
    PumpMessages(sheet);
    // A modeless sheet has no current page once OK or Cancel has closed it.
    if (sheet != nullptr && PropSheet_GetCurrentPageHwnd(sheet) == nullptr) {
        Close();
    }
}

void LiveSettingsSheet::Close()
{
    if (sheet != nullptr) {
        DestroyWindow(sheet);
        sheet = nullptr;
    }
}
