// quarix-render: plays VGM files and port scripts through the Quarix device,
// linked in, with the same playback code as the Win32 host.

#include <string>
#include <vector>

#include "host/front_end.h"
#include "host/native_binding.h"

int main(int argc, char** argv)
{
    const FrontEnd frontEnd = NativeFrontEnd();
    const Result result = RunFrontEnd(frontEnd, std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
    return ExitWith(result, frontEnd.program, stderr);
}
