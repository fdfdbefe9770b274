// Built for the soak test only, never shipped: a library that leaks just
// over each of the soak check's allowances, so the test can show that its
// check sees each kind of leak. Every load leaves a 32-byte heap block and
// a page of committed memory behind; every 32nd an event, a brush and a
// menu. The count of loads outlives the library in the environment.

#include <windows.h>

// System calls only: the C++ library's first use would leave state of its
// own behind on every load.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    char text[16] = "";
    GetEnvironmentVariableA("QUARIX_LEAKY_LOADS", text, sizeof text);
    unsigned loads = 0;
    for (const char* c = text; *c >= '0' && *c <= '9'; ++c) {
        loads = loads * 10 + static_cast<unsigned>(*c - '0');
    }
    ++loads;
    wsprintfA(text, "%u", loads);
    SetEnvironmentVariableA("QUARIX_LEAKY_LOADS", text);

    static_cast<void>(HeapAlloc(GetProcessHeap(), 0, 32));
    static_cast<void>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (loads % 32 == 0) {
        static_cast<void>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        static_cast<void>(CreateSolidBrush(RGB(1, 2, 3)));
        static_cast<void>(CreateMenu());
    }
    return TRUE;
}
