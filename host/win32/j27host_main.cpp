// j27host: the Win32 reference host. Loads Quarix.j27, plays VGM files and
// port scripts through it with the shared playback code, and shows the
// module's settings page in the host's configuration sheet.

#include <cstdio>
#include <string>
#include <vector>

#include "host/port_bus.h"
#include "host/render_app.h"
#include "host/sound_hub.h"
#include "host/win32/live_settings.h"
#include "host/win32/module_binding.h"
#include "host/win32/settings_sheet.h"

namespace {

const char kProgram[] = "j27host";

int RunSettings(const std::vector<std::string>& args)
{
    std::string modulePath;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--module" && i + 1 < args.size()) {
            modulePath = args[++i];
        } else if (args[i] == "-h" || args[i] == "--help") {
            std::fputs(RenderUsage(kProgram, true).c_str(), stdout);
            return 0;
        } else {
            std::fprintf(stderr, "%s settings: unexpected argument %s (see --help)\n", kProgram, args[i].c_str());
            return 2;
        }
    }
    if (!CanShowWindows()) {
        std::fprintf(stderr, "%s settings: no display to show the settings on (no window can be created; is "
                             "DISPLAY set?)\n", kProgram);
        return 1;
    }
    ModuleBinding binding(modulePath);
    PortBus bus;
    SoundHub hub(nullptr);
    std::string error;
    if (!binding.Bind(bus, hub, &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 1;
    }
    PageSite site;
    HWND sheet = nullptr;
    const bool shown = ShowSettingsSheet(binding.registry, site, false, &sheet, &error);
    // The module keeps what was applied and writes J27.INI as it goes.
    binding.Release();
    if (!shown) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, binding.Path().c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "settings") {
        return RunSettings(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(args, true, &options, &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(RenderUsage(kProgram, true).c_str(), stdout);
        return 0;
    }
    options.jobs = 1;  // one render after another: the module's chips are library-wide
    ModuleBinding binding(options.modulePath);
    LiveSettingsSheet sheet(binding);
    if (options.live.settings) {
        options.live.companion = &sheet;
    }
    return RunInputs(options, kProgram, binding, stdout, stderr);
}
