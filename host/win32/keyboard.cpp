#include "host/keyboard.h"

#include <conio.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> interruptRequested{false};

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        interruptRequested.store(true);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

struct Keyboard::Saved {
    bool console = false;
};

Keyboard::Keyboard() : saved(std::make_unique<Saved>())
{
    interruptRequested.store(false);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    saved->console = _isatty(_fileno(stdin)) != 0;
}

Keyboard::~Keyboard()
{
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

int Keyboard::NextKey()
{
    if (!saved->console) {
        return 0;
    }
    if (_kbhit() == 0) {
        return 0;
    }
    const int c = _getch();
    if (c != 0 && c != 0xE0) {
        return c;
    }
    // A key without a character: its scan code follows.
    const int scan = _getch();
    return scan == 75 ? kKeyLeft : scan == 77 ? kKeyRight : 0;
}

bool Keyboard::Interrupted() const
{
    return interruptRequested.load();
}
