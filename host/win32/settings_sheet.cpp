#include "host/win32/settings_sheet.h"

#include <vector>

#include <commctrl.h>
#include <prsht.h>

namespace {

bool sheetCreated = false;  // set when the sheet's window exists

int CALLBACK OnSheetEvent(HWND, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        sheetCreated = true;
    }
    return 0;
}

}  // namespace

bool CanShowWindows()
{
    const HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    if (probe == nullptr) {
        return false;
    }
    DestroyWindow(probe);
    return true;
}

Result ShowSettingsSheet(const PageRegistry& registry, PageSite& site, bool modeless, HWND* sheet)
{
    *sheet = nullptr;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);

    std::vector<HPROPSHEETPAGE> handles;
    for (IConfigPropSheet* page : registry.pages) {
        // The page fills its record in the 48-byte form; the rest stays zero.
        PROPSHEETPAGEA record;
        static_assert(sizeof record >= kPageRecordSize, "page record");
        ZeroMemory(&record, sizeof record);
        page->Setup(&site, &record);
        const HPROPSHEETPAGE handle = CreatePropertySheetPageA(&record);
        if (handle == nullptr) {
            for (HPROPSHEETPAGE h : handles) {
                DestroyPropertySheetPage(h);
            }
            return Result::Failure("a settings page could not be built from its record");
        }
        handles.push_back(handle);
    }
    if (handles.empty()) {
        return Result::Failure("the module registered no settings page");
    }
    PROPSHEETHEADERA header;
    ZeroMemory(&header, sizeof header);
    header.dwSize = sizeof header;
    header.dwFlags = PSH_NOCONTEXTHELP | PSH_USECALLBACK | (modeless ? PSH_MODELESS : 0);
    header.pfnCallback = OnSheetEvent;
    header.hwndParent = nullptr;
    header.pszCaption = "J27 host settings";
    header.nPages = static_cast<UINT>(handles.size());
    header.phpage = handles.data();
    sheetCreated = false;
    const INT_PTR result = PropertySheetA(&header);
    if (modeless) {
        if (result == 0 || result == -1) {
            return Result::Failure("the settings sheet could not be created");
        }
        *sheet = reinterpret_cast<HWND>(result);
    } else if (result == -1 || !sheetCreated) {
        return Result::Failure("the settings sheet could not be shown");
    }
    return {};
}

void PumpMessages(HWND sheet)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        if (sheet != nullptr && PropSheet_IsDialogMessage(sheet, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
