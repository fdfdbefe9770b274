#include "config/config_dlg.h"

#include <commctrl.h>

#include <cstring>

#include "device/device.h"
#include "resources/resource_ids.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(PROPSHEETPAGEA, dwFlags) == 4 && offsetof(PROPSHEETPAGEA, hInstance) == 8 &&
                  offsetof(PROPSHEETPAGEA, pszTemplate) == 12 && offsetof(PROPSHEETPAGEA, hIcon) == 16 &&
                  offsetof(PROPSHEETPAGEA, pszTitle) == 20 && offsetof(PROPSHEETPAGEA, pfnDlgProc) == 24 &&
                  offsetof(PROPSHEETPAGEA, lParam) == 28 && offsetof(PROPSHEETPAGEA, pfnCallback) == 32 &&
                  offsetof(PROPSHEETPAGEA, pcRefParent) == 36 &&
                  offsetof(PROPSHEETPAGEA, pszHeaderTitle) == 40 &&
                  offsetof(PROPSHEETPAGEA, pszHeaderSubTitle) == 44,
              "page record layout");
#endif

namespace {

constexpr LPARAM kSliderRange = MAKELPARAM(-40, 20);  // volume offsets -40 to +20 (0x0014FFD8)

}  // namespace

ConfigDlg::ConfigDlg()
    : instance(nullptr), site(nullptr), thunk(this, &ConfigDlg::ThunkEntry), iniPath(), settings(kDefaultSettings),
      device(nullptr)
{
}

bool J27_CALL ConfigDlg::Setup(IPageSite* pageSite, PROPSHEETPAGEA* page)
{
    site = pageSite;
    if (page == nullptr) {
        return true;
    }
    // Only the 48-byte form belongs to us; the platform's struct may be longer.
    std::memset(page, 0, kPageRecordSize);
    page->dwSize = kPageRecordSize;
    page->dwFlags = 0;
    page->hInstance = instance;
    page->pszTemplate = MAKEINTRESOURCEA(kPageDialogId);
    page->hIcon = nullptr;
    page->pfnDlgProc = thunk.Proc();
    page->lParam = 0;
    return true;
}

bool ConfigDlg::HasDialogProc() const
{
    return thunk.Proc() != nullptr;
}

INT_PTR CALLBACK ConfigDlg::ThunkEntry(void* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return static_cast<ConfigDlg*>(object)->DlgProc(window, message, wParam, lParam);
}

void ConfigDlg::SetSliderRange(HWND window)
{
    SendDlgItemMessageA(window, kVolumeSliderId, TBM_SETRANGE, TRUE, kSliderRange);
}

void ConfigDlg::RefreshReadout(HWND window)
{
    const LRESULT position = SendDlgItemMessageA(window, kVolumeSliderId, TBM_GETPOS, 0, 0);
    SetDlgItemInt(window, kVolumeReadoutId, static_cast<UINT>(position), TRUE);
}

INT_PTR ConfigDlg::DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // The readout keeps the template's "0" until the page is shown.
        SetSliderRange(window);
        SendDlgItemMessageA(window, kVolumeSliderId, TBM_SETPOS, FALSE, settings.volume);
        CheckDlgButton(window, kEnableBoxId, settings.enable != 0 ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;

    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr) {
            return TRUE;
        }
        if (header->code == static_cast<UINT>(PSN_SETACTIVE)) {
            // The position and the box stay as the user left them.
            SetSliderRange(window);
            RefreshReadout(window);
            if (site != nullptr) {
                site->OnPageShown(this);
            }
            return TRUE;
        }
        if (header->code == static_cast<UINT>(PSN_APPLY)) {
            settings.volume =
                static_cast<int32_t>(SendDlgItemMessageA(window, kVolumeSliderId, TBM_GETPOS, 0, 0));
            settings.enable = static_cast<int32_t>(IsDlgButtonChecked(window, kEnableBoxId));
            if (device != nullptr) {
                device->ApplySettings(&settings);
            }
            if (site != nullptr) {
                site->OnPageApplied();
            }
            return FALSE;
        }
        return TRUE;
    }

    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kEnableBoxId) {
            if (site != nullptr) {
                site->OnPageModified(window);
            }
            return TRUE;
        }
        return FALSE;

    case WM_HSCROLL:
        // Every scroll message counts as a change, whatever its code.
        RefreshReadout(window);
        if (site != nullptr) {
            site->OnPageModified(window);
        }
        return TRUE;

    default:
        return FALSE;
    }
}
