// Built for the soak test only, never shipped: a library that leaves a heap
// block, a page of committed memory and an event behind on every load, so
// the test can show that its check sees each kind of leak.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        static_cast<void>(HeapAlloc(GetProcessHeap(), 0, 1024));
        static_cast<void>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        static_cast<void>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    return TRUE;
}
