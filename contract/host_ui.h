#pragma once
// Host interfaces of the configuration dialog, and the page face the host
// calls. Win32 only: they speak in windows and property-sheet records.

#include <windows.h>
#include <prsht.h>

#include "contract/abi.h"

class IConfigPropSheet;

// The host's dialog, told about the page's state. Slots 0 and 1 are reserved.
class IPageSite {
public:
    // Reserved slots; the page never calls them.
    virtual bool J27_CALL Reserved0() = 0;
    virtual bool J27_CALL Reserved1() = 0;
    // The page has applied its controls to the device.
    virtual bool J27_CALL OnPageApplied() = 0;
    // page has become the sheet's active page.
    virtual bool J27_CALL OnPageShown(IConfigPropSheet* page) = 0;
    // A control of the page in window changed: the sheet may offer Apply.
    virtual bool J27_CALL OnPageModified(HWND window) = 0;

protected:
    ~IPageSite() = default;
};

// A page of the host's configuration dialog.
class IConfigPropSheet {
public:
    // Fills the 48-byte page record from which the host's sheet builds the page.
    virtual bool J27_CALL Setup(IPageSite* site, PROPSHEETPAGEA* page) = 0;

protected:
    ~IConfigPropSheet() = default;  // the module owns its page
};

// The host's list of pages for its configuration dialog.
class IPageRegistry {
public:
    // Lists the page for the host's configuration dialog; false if already listed.
    virtual bool J27_CALL Add(IConfigPropSheet* page) = 0;
    // The page is listed no more; false if it was not listed.
    virtual bool J27_CALL Remove(IConfigPropSheet* page) = 0;

protected:
    ~IPageRegistry() = default;
};

// The 48-byte page record (through the header subtitle) of the contract.
constexpr unsigned kPageRecordSize = 48;
