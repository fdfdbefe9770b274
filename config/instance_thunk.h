#pragma once
// A per-object dialog procedure: 16 bytes of x86 code that put an object
// pointer in front of a dialog procedure's four arguments and jump to a
// static handler. Win32 (32-bit x86) only.

#include <windows.h>

#include <cstdint>

// The handler a thunk leads to: the bound object, then the four arguments of
// a dialog procedure. It is __stdcall and so pops all five.
using ThunkHandler = INT_PTR(CALLBACK*)(void* object, HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam);

class InstanceThunk {
public:
    static constexpr unsigned kSize = 16;

    // Writes the stub for object and handler into a page of its own, which
    // is then made execute-read: data memory may not run code (DEP).
    InstanceThunk(void* object, ThunkHandler handler);
    ~InstanceThunk();  // frees the code page
    InstanceThunk(const InstanceThunk&) = delete;
    InstanceThunk& operator=(const InstanceThunk&) = delete;

    // The stub as a dialog procedure; null when no code page could be had.
    DLGPROC Proc() const;

private:
    unsigned char* code;  // kSize bytes in an execute-read page, or null
};
