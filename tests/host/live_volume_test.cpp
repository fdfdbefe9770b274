// Plays INPUT live, on the exact path, through the real Quarix.j27 with the
// settings sheet open, and after SECONDS moves the page's volume slider to
// VOLUME and presses Apply, as a user would, from the player thread that
// pumps the sheet; five seconds later it clears Enable and presses Apply
// again, and two seconds after that OK, which closes the sheet while the
// (silent) music plays on.
//
//   live_volume_test INPUT OUT.wav VOLUME SECONDS
// Exits non-zero when playback fails or the apply never reached the page.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "host/front_end.h"
#include "host/render.h"
#include "host/win32/live_settings.h"
#include "host/win32/module_binding.h"

namespace {

constexpr int kSliderId = 1001;
constexpr int kEnableId = 1015;

class DrivingSheet final : public LiveSettingsSheet {
public:
    DrivingSheet(ModuleBinding& binding, int volumeOffset, double afterSeconds)
        : LiveSettingsSheet(binding), volume(volumeOffset), after(afterSeconds)
    {
    }

    Result Open() override
    {
        opened = std::chrono::steady_clock::now();
        return LiveSettingsSheet::Open();
    }

    void Pump(uint64_t frame, uint64_t queuedFrames) override
    {
        LiveSettingsSheet::Pump(frame, queuedFrames);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - opened).count();
        if (done && !closed && elapsed >= after + 7) {
            // OK applies the same settings again and closes the sheet; the music plays on.
            closed = true;
            PropSheet_PressButton(Sheet(), PSBTN_OK);
            return;
        }
        if (done && !silenced && elapsed >= after + 5) {
            silenced = true;
            HWND page = PropSheet_GetCurrentPageHwnd(Sheet());
            SendMessageA(GetDlgItem(page, kEnableId), BM_CLICK, 0, 0);
            PropSheet_Apply(Sheet());
            std::printf("cleared Enable after %.2f s of playback, sound off from frame %llu\n", elapsed,
                        static_cast<unsigned long long>(frame));
            return;
        }
        if (done || Sheet() == nullptr || elapsed < after) {
            return;
        }
        done = true;
        HWND page = PropSheet_GetCurrentPageHwnd(Sheet());
        HWND slider = GetDlgItem(page, kSliderId);
        SendMessageA(slider, TBM_SETPOS, TRUE, volume);
        SendMessageA(page, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), reinterpret_cast<LPARAM>(slider));
        PropSheet_Apply(Sheet());
        // Audible once the frames queued before it have played, plus the
        // sound system's own buffer.
        std::printf("applied volume %d after %.2f s of playback at frame %llu, %llu frames (%.1f ms) queued\n",
                    volume, elapsed, static_cast<unsigned long long>(frame),
                    static_cast<unsigned long long>(queuedFrames), 1000.0 * static_cast<double>(queuedFrames) / 44100);
    }

    bool done = false;      // slider moved and applied
    bool silenced = false;  // Enable cleared and applied
    bool closed = false;    // OK pressed

private:
    int volume;
    double after;
    std::chrono::steady_clock::time_point opened;
};

// The module's binding, with the driving sheet as its sheet.
class DrivenBinding final : public DeviceBinding {
public:
    DrivenBinding(ModuleBinding& binding, DrivingSheet& drivingSheet) : module(binding), sheet(drivingSheet) {}
    Result Bind(PortBus& bus, SoundHub& hub) override { return module.Bind(bus, hub); }
    void Release() override { module.Release(); }
    SettingsWhilePlaying* SettingsSheet() override { return &sheet; }

private:
    ModuleBinding& module;
    DrivingSheet& sheet;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: live_volume_test INPUT OUT.wav VOLUME SECONDS\n");
        return 2;
    }
    ModuleBinding binding("");
    DrivingSheet sheet(binding, std::atoi(argv[3]), std::atof(argv[4]));
    RenderOptions options;
    options.input = argv[1];
    options.wavPath = argv[2];
    options.exact = true;  // the module's frames as they are: a change of level shows at once
    options.quiet = true;
    options.live.play = true;
    options.live.settings = true;
    DrivenBinding driven(binding, sheet);
    const Result played = RenderOne(options, {"live_volume_test", &driven, stdout, stderr});
    if (!played.Ok()) {
        return ExitWith(played, "live_volume_test", stderr);
    }
    if (!sheet.done || !sheet.silenced || sheet.site.applied != 3 || !sheet.closed || sheet.Sheet() != nullptr) {
        std::fprintf(stderr, "live_volume_test: applied %d times (want 3: Apply twice, then OK), sheet %s\n",
                     sheet.site.applied, sheet.Sheet() != nullptr ? "still open" : "closed");
        return 1;
    }
    return 0;
}
