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
    return ShowSettingsSheet(module.registry, site, true, &sheet).Within(module.Path());
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
