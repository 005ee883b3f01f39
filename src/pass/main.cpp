// newsgleaner-pass: runs one download pass with the desktop program's
// settings and working folder, showing on the terminal what the main window
// would show. For scheduled runs and machines without a display.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "engine/ProcessGroups.h"
#include "pass/TerminalDisplay.h"
#include "pass/TerminalPrompt.h"
#include "platform/System.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitSignalled = 3;
// Set by the signal thread, which may outlive main's frame.
std::atomic<bool> g_signalled{false};

const char kUsage[] =
    "Usage: newsgleaner-pass [--plain]\n"
    "Runs one download pass with the settings of the desktop program.\n"
    "\n"
    "  --plain     print plain lines even on a terminal\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Settings: ${XDG_CONFIG_HOME:-~/.config}/newsgleaner.ini\n"
    "Working folder: ${XDG_DATA_HOME:-~/.local/share}/newsgleaner/\n"
    "Ctrl-C, SIGTERM or SIGHUP stops the pass (the history and the groups' marks\n"
    "are saved); a second one ends at once.\n"
    "Exit status: 0 when the pass ends with \"Operation complete\", 1 when it ends\n"
    "otherwise, 2 for bad usage or no news server set, 3 when a signal stopped it.\n";

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "~";
}

}  // namespace

int main(int argc, char** argv) {
    bool plain = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("newsgleaner-pass %s\n", NG_VERSION_TEXT);
            return 0;
        }
        if (std::strcmp(argv[i], "--plain") == 0) {
            plain = true;
            continue;
        }
        std::fprintf(stderr, "newsgleaner-pass: unknown argument '%s'\n\n%s", argv[i], kUsage);
        return kExitUsage;
    }

    // Ctrl-C and termination requests are taken by one thread, so that the
    // worker never sees a signal in the middle of its work.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A closed output (newsgleaner-pass | head) must not end the pass
    // before it saves what it did: writes simply fail from then on.
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    if (!ng::EnterDataHome(&error)) {
        std::fprintf(stderr, "newsgleaner-pass: cannot use the working folder: %s\n",
                     error.c_str());
        return 1;
    }

    std::string host = ng::Read(ng::Profile(), ng::setting::kNNTPHost);
    if (host.empty()) {
        // A first run: say what to set, and where.
        std::fprintf(
            stderr,
            "No news server specified -- run 'Setup'\n"
            "\n"
            "Set one in the desktop program's Setup, or in the settings file\n"
            "  %s\n"
            "with lines like these in its [Newsgleaner] section:\n"
            "  NNTPHost=news.example.com\n"
            "  DownloadDirectory=%s/Pictures/\n"
            "and list the groups to visit, one per line, in\n"
            "  %s/Groups.news.example.com\n"
            "(the server's own name after \"Groups.\"). 'man newsgleaner-pass' says more.\n",
            ng::Profile().Path().c_str(), HomeFolder().c_str(), ng::DataHomePath().c_str());
        return kExitUsage;
    }

    TerminalDisplay display(stdout, !plain && ::isatty(STDOUT_FILENO),
                            std::string("Newsgleaner ") + NG_VERSION_TEXT + " - [" + host + "]");
    TerminalPrompt prompt;
    ng::PendingList pending;
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);

    // The set is copied: this thread outlives main's frame when the pass
    // ends before it first waits.
    std::thread signalThread([signals, &display, &worker] {
        int received = 0;
        for (int count = 0;; ++count) {
            if (sigwait(&signals, &received) != 0) {
                continue;
            }
            g_signalled = true;
            if (count == 0) {
                display.Note("Stopping... (press Ctrl-C again to end at once)");
                worker.RequestStop();
            } else {
                TerminalPrompt::RestoreTerminal();
                std::fputs("\nnewsgleaner-pass: ended at once\n", stderr);
                ::_exit(kExitSignalled);
            }
        }
    });
    signalThread.detach();

    int priority = ng::Read(ng::Profile(), ng::setting::kPriority);
    if (!worker.Start(ng::PriorityLevelForSetting(priority))) {
        std::fputs("newsgleaner-pass: the download thread could not be started\n", stderr);
        return 1;
    }
    display.WaitForPassEnd();
    worker.Join();
    display.PrintSummary();

    // A scheduler must tell an interrupted pass from a complete one.
    if (g_signalled) {
        return kExitSignalled;
    }
    bool complete = !display.ShowedMessage() && display.LastStatus() == "Operation complete";
    return complete ? 0 : 1;
}
