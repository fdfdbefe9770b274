#include "host/keyboard.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interruptRequested{false};

extern "C" void OnInterrupt(int)
{
    interruptRequested.store(true);
}

}  // namespace

struct Keyboard::Saved {
    bool console = false;
    termios terminal{};
    struct sigaction interrupt {};
    struct sigaction terminate {};
};

Keyboard::Keyboard() : saved(std::make_unique<Saved>())
{
    interruptRequested.store(false);
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &saved->interrupt);
    sigaction(SIGTERM, &action, &saved->terminate);
    if (isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved->terminal) == 0) {
        termios raw = saved->terminal;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        saved->console = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
}

Keyboard::~Keyboard()
{
    if (saved->console) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved->terminal);
    }
    sigaction(SIGINT, &saved->interrupt, nullptr);
    sigaction(SIGTERM, &saved->terminate, nullptr);
}

int Keyboard::NextKey()
{
    if (!saved->console) {
        return 0;
    }
    const auto next = [] {
        pollfd p = {STDIN_FILENO, POLLIN, 0};
        unsigned char c = 0;
        return poll(&p, 1, 0) > 0 && read(STDIN_FILENO, &c, 1) == 1 ? c : 0;
    };
    const int c = next();
    if (c != 0x1B) {
        return c;
    }
    // The arrows: ESC [ D and ESC [ C (or ESC O D, ESC O C), which a
    // terminal sends together.
    const int second = next();
    const int third = second == '[' || second == 'O' ? next() : 0;
    return third == 'D' ? kKeyLeft : third == 'C' ? kKeyRight : 0x1B;
}

bool Keyboard::Interrupted() const
{
    return interruptRequested.load();
}
