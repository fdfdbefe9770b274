// j27host: the Win32 reference host. Loads Quarix.j27, plays VGM files and
// port scripts through it with the shared playback code, and shows the
// module's settings page in the host's configuration sheet.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/front_end.h"
#include "host/port_bus.h"
#include "host/render_options.h"
#include "host/sound_hub.h"
#include "host/win32/module_binding.h"
#include "host/win32/settings_sheet.h"

namespace {

FrontEnd J27Host()
{
    FrontEnd frontEnd;
    frontEnd.program = "j27host";
    frontEnd.offersModule = true;
    frontEnd.offersSettings = true;
    frontEnd.usageLines = "       j27host settings [--module PATH]\n";
    frontEnd.helpNotes =
        "\n"
        "'settings' opens the configuration sheet with the module's page; the module keeps\n"
        "its settings in J27.INI beside this program. It needs a display.\n";
    frontEnd.makeBinding = [](const RenderOptions& options) {
        return std::make_unique<ModuleBinding>(options.modulePath);
    };
    return frontEnd;
}

// j27host settings [--module PATH]: the module's page in a modal sheet.
Result RunSettings(const FrontEnd& frontEnd, const std::vector<std::string>& args)
{
    std::string modulePath;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--module" && i + 1 < args.size()) {
            modulePath = args[++i];
        } else if (args[i] == "-h" || args[i] == "--help") {
            std::fputs(RenderUsage(frontEnd).c_str(), stdout);
            return {};
        } else {
            return Result::BadUsage("settings: unexpected argument " + args[i] + " (see --help)");
        }
    }
    if (!CanShowWindows()) {
        return Result::Failure("settings: no display to show the settings on (no window can be created; is "
                               "DISPLAY set?)");
    }
    ModuleBinding binding(modulePath);
    PortBus bus;
    SoundHub hub(nullptr);
    const Result bound = binding.Bind(bus, hub);
    if (!bound.Ok()) {
        return bound;
    }
    PageSite site;
    HWND sheet = nullptr;
    const Result shown = ShowSettingsSheet(binding.registry, site, false, &sheet);
    // The module keeps what was applied and writes J27.INI as it goes.
    binding.Release();
    return shown.Within(binding.Path());
}

}  // namespace

int main(int argc, char** argv)
{
    const FrontEnd frontEnd = J27Host();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const Result result = !args.empty() && args[0] == "settings"
                              ? RunSettings(frontEnd, std::vector<std::string>(args.begin() + 1, args.end()))
                              : RunFrontEnd(frontEnd, args, stdout, stderr);
    return ExitWith(result, frontEnd.program, stderr);
}
