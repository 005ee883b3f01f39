#pragma once
// The bundled sample news server (tools/newsgleaner-sample-server) as a child
// process of a test or benchmark: it serves a folder of articles on an
// ephemeral loopback port, ends by itself after its lifetime, and is stopped
// (SIGTERM, then waited for) with this object. Header-only and free of
// GoogleTest, so the benchmarks can use it too.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/Loopback.h"

extern char** environ;

namespace ngtest {

class SampleServerProcess {
public:
    // `program` is the server's path; `portFile` where it writes its port.
    SampleServerProcess(const std::string& program, const std::string& root,
                        const std::string& portFile, int lifetimeSeconds,
                        const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {program,  "--root",     root,
                                         "--port", "0",          "--port-file",
                                         portFile, "--lifetime", std::to_string(lifetimeSeconds),
                                         "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
            return;
        }
        m_port = WaitForPortFile(portFile, 200, std::chrono::milliseconds(25));
    }
    ~SampleServerProcess() { Stop(); }
    SampleServerProcess(const SampleServerProcess&) = delete;
    SampleServerProcess& operator=(const SampleServerProcess&) = delete;

    // 0 when the server did not start.
    int Port() const { return m_port; }

    // Stops the server; its exit status (0 for a clean end), or -1.
    int Stop() {
        if (m_pid <= 0) {
            return -1;
        }
        ::kill(m_pid, SIGTERM);
        int status = 0;
        pid_t done = ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

}  // namespace ngtest
