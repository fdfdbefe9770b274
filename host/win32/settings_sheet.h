#pragma once
// The host's configuration dialog: a property sheet with every registered page.

#include <string>

#include <windows.h>

#include "host/result.h"
#include "host/win32/module_binding.h"

// False without a display (no X server for Wine, a service session): no
// window can be made, and a sheet would return as if closed at once.
bool CanShowWindows();

// Registers the common-control classes the pages use (the trackbar among
// them), builds one sheet page per registered page from the record its Setup
// fills, and runs the sheet. Modal: returns when the user closes it, with
// *sheet null. Modeless: returns at once with the sheet's window in *sheet.
// A failure when no page could be built or the sheet never showed.
Result ShowSettingsSheet(const PageRegistry& registry, PageSite& site, bool modeless, HWND* sheet);

// Handles every message waiting for this thread, the sheet's dialog keys
// included (sheet: null for none).
void PumpMessages(HWND sheet);
