#include "host/win32/live_settings.h"

#include <commctrl.h>
#include <prsht.h>

#include "host/win32/settings_sheet.h"

LiveSettingsSheet::LiveSettingsSheet(ModuleBinding& binding) : module(binding) {}

LiveSettingsSheet::~LiveSettingsSheet()
{
    Close();
}

bool LiveSettingsSheet::Open(std::string* error)
{
    if (!ShowSettingsSheet(module.registry, site, true, &sheet, error)) {
        *error = module.Path() + ": " + *error;
        return false;
    }
    // The sheet's first paint and the window system's answers to its showing
    // take over a second under Wine: handled now, before playback starts,
    // they cannot starve the sound. Until the queue has stayed empty for
    // 200 ms, at most 3 s.
    const DWORD start = GetTickCount();
    DWORD quietSince = start;
    while (GetTickCount() - start < 3000 && GetTickCount() - quietSince < 200) {
        if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) {
            LiveSettingsSheet::Pump(0, 0);
            quietSince = GetTickCount();
        } else {
            Sleep(5);
        }
    }
    return true;
}

void LiveSettingsSheet::Pump(uint64_t, uint64_t)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        if (sheet != nullptr && PropSheet_IsDialogMessage(sheet, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
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
