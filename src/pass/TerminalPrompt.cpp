#include "pass/TerminalPrompt.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

// The terminal's settings while a prompt has echo turned off; read by a
// hard exit from the signal thread, hence atomics.
std::atomic<int> g_promptFd{-1};
struct termios g_savedTerminal;

}  // namespace

std::optional<std::string> TerminalPrompt::AskPassword(const std::atomic<bool>& stop) {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct termios saved {};
    if (::tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON | ECHONL;
    g_savedTerminal = saved;
    g_promptFd = fd;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    const char* ask = "\nPassword: ";
    (void)!::write(fd, ask, std::strlen(ask));

    std::optional<std::string> answer;
    std::string typed;
    while (!stop) {
        struct pollfd p {
            fd, POLLIN, 0
        };
        int ready = ::poll(&p, 1, 200);
        if (ready <= 0) {
            continue;
        }
        char buffer[256];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;  // end of input: cancelled
        }
        typed.append(buffer, static_cast<size_t>(n));
        auto newline = typed.find('\n');
        if (newline != std::string::npos) {
            answer = typed.substr(0, newline);
            break;
        }
    }
    g_promptFd = -1;
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    ::close(fd);
    return answer;
}

void TerminalPrompt::RestoreTerminal() {
    int fd = g_promptFd;
    if (fd >= 0) {
        ::tcsetattr(fd, TCSANOW, &g_savedTerminal);
    }
}
