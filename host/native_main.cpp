// quarix-render: plays VGM files and port scripts through the Quarix device,
// linked in, with the same playback code as the Win32 host.

#include "host/native_binding.h"
#include "host/render_app.h"

int main(int argc, char** argv)
{
    NativeBinding binding;
    return RenderMain(argc, argv, "quarix-render", false, binding);
}
