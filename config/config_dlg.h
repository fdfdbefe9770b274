#pragma once
// The settings page: volume and enable on a page of the host's configuration
// dialog. It also holds the settings store's state; Init and Save, the
// store's two operations, are in config/settings_store.cpp.

#include <windows.h>

#include "config/instance_thunk.h"
#include "contract/host_ui.h"
#include "device/sound_settings.h"

class Quarix;

class ConfigDlg : public IConfigPropSheet {
public:
    // Binds the thunk to this object; everything else is set by Init and Setup.
    ConfigDlg();
    ConfigDlg(const ConfigDlg&) = delete;
    ConfigDlg& operator=(const ConfigDlg&) = delete;

    // Records the instance, finds J27.INI beside the host executable, reads
    // Volume and Enable and applies them to device (not owned). When the path
    // cannot be built within MAX_PATH, kDefaultSettings are used and the
    // file is never written.
    void Init(HINSTANCE moduleInstance, Quarix* quarix);
    // Writes Volume (volume + 100) and Enable, in that order; nothing when
    // Init found no usable path.
    void Save();

    // Keeps site (not owned) and fills the 48-byte record for dialog 101 with
    // the thunk as its procedure. Always true.
    bool J27_CALL Setup(IPageSite* pageSite, PROPSHEETPAGEA* page) override;

    // The page's dialog procedure, reached through the thunk.
    INT_PTR DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // False when no executable memory could be had for the thunk: a host
    // would get a page record without a dialog procedure.
    bool HasDialogProc() const;

    HINSTANCE instance;
    IPageSite* site;         // not owned
    InstanceThunk thunk;
    char iniPath[MAX_PATH];  // empty: no usable path, never written
    SoundSettings settings;
    Quarix* device;          // not owned; may be null

private:
    static INT_PTR CALLBACK ThunkEntry(void* object, HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam);
    void RefreshReadout(HWND window);
    void SetSliderRange(HWND window);
};
