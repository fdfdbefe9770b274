// A host that reloads its plug-ins, creates and releases the module over and
// over, and opens its page again and again: after a warm-up none of it may
// leave memory or handles behind. Needs a display (Xvfb under ctest) for the
// page in a real property sheet.

#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "contract/module_api.h"
#include "tests/module/usage_meter.h"
#include "tests/support/recording_host.h"
#include "tests/support/relocated_main.h"
#include "tests/support/scratch_dir.h"

using ::testing::IsEmpty;
using ::testing::SizeIs;

namespace {

constexpr int kLoadCycles = 200;
constexpr int kModuleCycles = 3000;
constexpr int kPageCycles = 200;

// The measures past their allowance; the growth itself goes to the output,
// where a run's figures can be read.
std::vector<std::string> Checked(const Growth& g)
{
    const Usage& u = g.usage;
    std::printf("  growth over %lld cycles: committed %lld B, heap %lld B, handles %lld, GDI objects %lld, "
                "USER objects %lld\n",
                static_cast<long long>(g.cycles), static_cast<long long>(u.committedPrivate),
                static_cast<long long>(u.heapInUse), static_cast<long long>(u.handles),
                static_cast<long long>(u.gdiObjects), static_cast<long long>(u.userObjects));
    return Excess(g);
}

// Load and unload, creating nothing, as a host scanning its plug-ins does.
Growth LoadCycles(const std::string& path)
{
    bool loaded = true;
    Growth growth = GrowthOver(20, kLoadCycles, [&] {
        HMODULE library = LoadLibraryA(path.c_str());
        loaded = loaded && library != nullptr;
        FreeLibrary(library);
    });
    EXPECT_TRUE(loaded) << path;
    return growth;
}

// Keeps the sheet off screen: mapping and unmapping a window on the display
// costs far more than the page's own work.
int CALLBACK Hidden(HWND, UINT message, LPARAM lParam)
{
    if (message == PSCB_PRECREATE) {
        reinterpret_cast<DLGTEMPLATE*>(lParam)->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    return 0;
}

TEST(Soak, LoadingAndUnloadingLeavesNothing)
{
    const Growth growth = LoadCycles(libraryDir + "\\Quarix.j27");
    EXPECT_THAT(Checked(growth), IsEmpty());
}

// The same check on a library that leaks just over each allowance must
// fail on all five measures.
TEST(Soak, TheCheckCatchesALeakingLibrary)
{
    const Growth growth = LoadCycles(libraryDir + "\\leaky_library.dll");
    EXPECT_THAT(Checked(growth), SizeIs(5));
}

class LoadedLibrary : public QuarixLibrary {
protected:
    static void TearDownTestSuite() { FreeLibrary(library); }
};

// Each cycle a whole module life: created and bound (its page added), a
// tone and a noise written, one Mix, released (settings written, page
// removed).
TEST_F(LoadedLibrary, CreatingUsingAndReleasingLeavesNothing)
{
    std::vector<StereoFrame> frames(735);
    int failures = 0;
    const Growth growth = GrowthOver(50, kModuleCycles, [&] {
        CallLog log;
        RecordingHost host(log);
        IModule* module = create(&host);
        if (module == nullptr || host.bus.connected == nullptr || host.hub.attached == nullptr ||
            host.registry.added == nullptr) {
            ++failures;
            return;
        }
        IDevice* device = host.bus.connected;
        const PortHandler* handlers = device->GetDescriptor()->outputTable;
        // Tone 0 period 1023 at attenuation 6, white noise on chip 1 (bytes
        // bit-reversed, as the port takes them).
        for (uint32_t data : {0xF1u, 0xFCu, 0x69u}) {
            handlers[3](device, 0xAC, data);
        }
        for (uint32_t data : {0x27u, 0x0Fu}) {
            handlers[3](device, 0xAF, data);
        }
        host.hub.attached->Mix(frames.data(), static_cast<int32_t>(frames.size()));
        module->Release();
        if (host.registry.added != nullptr || host.hub.attached != nullptr) {
            ++failures;
        }
    });
    EXPECT_EQ(failures, 0);
    EXPECT_NE(frames[100].left, 0) << "the Mix rendered nothing";
    EXPECT_THAT(Checked(growth), IsEmpty());
}

// The page opened in a property sheet as a host builds it from Setup's
// record, shown, and closed again.
TEST_F(LoadedLibrary, OpeningAndClosingThePageLeavesNothing)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    CallLog log;
    RecordingHost host(log);
    RecordingPageSite site(log, "site");
    IModule* module = create(&host);
    ASSERT_NE(module, nullptr);
    IConfigPropSheet* page = host.registry.added;
    ASSERT_NE(page, nullptr);
    site.expectedPage = page;
    int failures = 0;
    const Growth growth = GrowthOver(20, kPageCycles, [&] {
        PROPSHEETPAGEA record{};
        PROPSHEETHEADERA header{};
        header.dwSize = sizeof header;
        header.dwFlags = PSH_MODELESS | PSH_PROPSHEETPAGE | PSH_USECALLBACK;
        header.hInstance = GetModuleHandleA(nullptr);
        header.pszCaption = "Quarix settings";
        header.nPages = 1;
        header.pfnCallback = Hidden;
        header.ppsp = &record;
        HWND sheet = page->Setup(&site, &record) ? reinterpret_cast<HWND>(PropertySheetA(&header)) : nullptr;
        Pump();
        if (sheet == nullptr || GetDlgItem(PropSheet_GetCurrentPageHwnd(sheet), 1001) == nullptr) {
            ++failures;
        }
        DestroyWindow(sheet);
        Pump();
        log.calls.clear();
    });
    module->Release();
    EXPECT_EQ(failures, 0);
    EXPECT_THAT(Checked(growth), IsEmpty());
}

}  // namespace
