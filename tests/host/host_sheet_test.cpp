// The Win32 host with the real Quarix.j27: module binding, the settings sheet
// built from the registered page, and settings kept across module lives in
// J27.INI. Runs from a scratch copy beside its own Quarix.j27 (J27.INI goes
// beside the program) and needs a display.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "host/port_bus.h"
#include "host/sound_hub.h"
#include "host/win32/module_binding.h"
#include "host/win32/settings_sheet.h"
#include "tests/support/host_result.h"

namespace {

std::string BesideProgram(const char* name)
{
    const std::string module = DefaultModulePath();
    return module.substr(0, module.size() - std::string("Quarix.j27").size()) + name;
}

class Collector final : public FrameSink {
public:
    void Take(std::span<const StereoFrame> frames) override
    {
        for (const StereoFrame& f : frames) {
            peak = std::max(peak, f.left);
        }
        taken += frames.size();
    }
    int32_t peak = 0;
    size_t taken = 0;
};

// Tone 0 of chip 0 at attenuation 6 for 1000 frames; the loudest frame.
// Level 6 stays below full scale at every gain the slider gives down from
// the default, so a volume change shows: 6891 at the default gain of 40,
// 5227 at 28 (10922 x 10^((0.2 x gain - 12) / 20), truncated).
int32_t LoudFrames(PortBus& bus, SoundHub& hub, Collector& sink)
{
    sink.peak = 0;
    hub.SetRate(44100);
    for (uint32_t byte : {0x71u, 0xF0u, 0x69u}) {  // chip bytes 0x8E, 0x0F, 0x96, bit-reversed
        EXPECT_TRUE(bus.Write(0xAC, byte));
    }
    hub.Advance(1000);
    hub.RenderAll();
    return sink.peak;
}

void Pump(HWND sheet, int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!PropSheet_IsDialogMessage(sheet, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        Sleep(10);
    }
}

}  // namespace

TEST(J27Host, MissingOrForeignModulesAreRefusedWithTheirPath)
{
    PortBus bus;
    SoundHub hub(nullptr);
    std::string error;
    ModuleBinding missing(BesideProgram("NoSuch.j27"));
    EXPECT_FALSE(Ok(missing.Bind(bus, hub), &error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
    EXPECT_NE(error.find("NoSuch.j27"), std::string::npos) << error;
    ModuleBinding foreign("kernel32.dll");
    EXPECT_FALSE(Ok(foreign.Bind(bus, hub), &error));
    EXPECT_NE(error.find("exports no J27CreateModule"), std::string::npos) << error;
}

TEST(J27Host, SettingsAppliedInTheSheetReachTheDeviceAndPersist)
{
    const std::string ini = BesideProgram("J27.INI");
    DeleteFileA(ini.c_str());
    Collector sink;
    PortBus bus;
    SoundHub hub(&sink);
    std::string error;
    {
        ModuleBinding binding("");
        ASSERT_TRUE(Ok(binding.Bind(bus, hub), &error)) << error;
        EXPECT_EQ(bus.BoundPorts(), 4u);
        EXPECT_EQ(hub.SourceCount(), 1u);
        ASSERT_EQ(binding.registry.pages.size(), 1u);
        EXPECT_EQ(LoudFrames(bus, hub, sink), 6891);  // fresh settings: volume 0, enabled

        PageSite site;
        HWND sheet = nullptr;
        ASSERT_TRUE(Ok(ShowSettingsSheet(binding.registry, site, true, &sheet), &error)) << error;
        Pump(sheet, 5);
        const HWND page = PropSheet_GetCurrentPageHwnd(sheet);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(site.shown, 1);
        const HWND slider = FindWindowExA(page, nullptr, TRACKBAR_CLASSA, nullptr);
        const HWND check = FindWindowExA(page, nullptr, "Button", nullptr);
        ASSERT_NE(slider, nullptr);
        ASSERT_NE(check, nullptr);
        const HWND apply = GetDlgItem(sheet, 0x3021);  // the sheet's Apply button
        EXPECT_FALSE(IsWindowEnabled(apply));

        // A new volume, applied: heard at once.
        SendMessageA(slider, TBM_SETPOS, TRUE, -12);
        SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0), reinterpret_cast<LPARAM>(slider));
        Pump(sheet, 5);
        EXPECT_EQ(site.modified, 1);
        EXPECT_TRUE(IsWindowEnabled(apply));  // the site told the sheet
        PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
        Pump(sheet, 5);
        EXPECT_EQ(site.applied, 1);
        EXPECT_EQ(LoudFrames(bus, hub, sink), 5227);  // volume -12: gain 28

        // Enable cleared, and OK: silent.
        SendMessageA(check, BM_CLICK, 0, 0);
        Pump(sheet, 5);
        EXPECT_EQ(site.modified, 2);
        PropSheet_PressButton(sheet, PSBTN_OK);
        for (int i = 0; i < 200 && PropSheet_GetCurrentPageHwnd(sheet) != nullptr; ++i) {
            Pump(sheet, 1);
        }
        EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet), nullptr);
        DestroyWindow(sheet);
        EXPECT_EQ(site.applied, 2);
        EXPECT_EQ(LoudFrames(bus, hub, sink), 0);  // disabled now
        binding.Release();
    }
    EXPECT_EQ(bus.BoundPorts(), 0u);
    EXPECT_EQ(hub.SourceCount(), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("QUARIX_SOUND", "Volume", -1, ini.c_str()), 100 - 12);
    EXPECT_EQ(GetPrivateProfileIntA("QUARIX_SOUND", "Enable", -1, ini.c_str()), 0);

    {
        // The next module life starts from the file.
        ModuleBinding binding("");
        ASSERT_TRUE(Ok(binding.Bind(bus, hub), &error)) << error;
        EXPECT_EQ(LoudFrames(bus, hub, sink), 0);
    }
    DeleteFileA(ini.c_str());
}
