#pragma once
// The bundled sample news server (tools/newsgleaner-sample-server) as a child
// process of a test or benchmark: it serves a folder of articles on an
// ephemeral loopback port, ends by itself after its lifetime, and is stopped
// (SIGTERM, then waited for) with this object. Header-only and free of
// GoogleTest, so the benchmarks can use it too.

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/Loopback.h"

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
        m_process =
            std::make_unique<ChildProcess>(std::move(args), ChildProcess::Options{{}, "", ""});
        if (m_process->Pid() > 0) {
            m_port = WaitForPortFile(portFile, 200, std::chrono::milliseconds(25));
        }
    }
    ~SampleServerProcess() { Stop(); }
    SampleServerProcess(const SampleServerProcess&) = delete;
    SampleServerProcess& operator=(const SampleServerProcess&) = delete;

    // 0 when the server did not start.
    int Port() const { return m_port; }

    // Stops the server; its exit status (0 for a clean end), or -1.
    int Stop() {
        if (m_process->Pid() <= 0) {
            return -1;
        }
        m_process->Signal(SIGTERM);
        return m_process->Wait();
    }

private:
    std::unique_ptr<ChildProcess> m_process;
    int m_port = 0;
};

}  // namespace ngtest
