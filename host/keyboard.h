#pragma once
// The terminal while playing live: keys one at a time and unechoed, and
// Ctrl-C (natively SIGTERM too) as a request to stop rather than an end.
// Everything is restored as it was when the object goes. One at a time.
// Implemented in host/posix/keyboard.cpp and host/win32/keyboard.cpp.

#include <memory>

// What NextKey gives for the arrow keys, beside the characters.
constexpr int kKeyLeft = 0x101;
constexpr int kKeyRight = 0x102;

class Keyboard {
public:
    Keyboard();
    ~Keyboard();
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    // The next key pressed, or 0 (always 0 when standard input is no terminal).
    // The left and right arrows come as kKeyLeft and kKeyRight.
    int NextKey();
    // True once Ctrl-C was pressed (or the process was asked to end).
    bool Interrupted() const;

private:
    struct Saved;  // the terminal's and the signals' settings before
    std::unique_ptr<Saved> saved;
};
