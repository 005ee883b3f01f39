#pragma once
// A program run by a test or benchmark: its arguments, changes to the
// environment, and files for its output. Killed and reaped when the object
// goes, so no test leaves a process behind. Header-only and free of
// GoogleTest, so the benchmarks can use it too.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ngtest {

struct ChildOptions {
    // Variables set (or replaced) in the test's own environment.
    std::map<std::string, std::string> env;
    // Files for standard output and error; empty keeps the test's own.
    // Standard input is always empty.
    std::string out = "/dev/null";
    std::string err = "/dev/null";
};

class ChildProcess {
public:
    using Options = ChildOptions;

    explicit ChildProcess(std::vector<std::string> args, const Options& options = Options{}) {
        std::vector<std::string> variables;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (!options.env.count(entry.substr(0, entry.find('=')))) {
                variables.push_back(std::move(entry));
            }
        }
        for (const auto& [name, value] : options.env) {
            variables.push_back(name + "=" + value);
        }
        std::vector<char*> argv, envp;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        for (auto& v : variables) {
            envp.push_back(v.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (!options.out.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.out.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (!options.err.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.err.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // -1 when the program could not be started.
    pid_t Pid() const { return m_pid; }
    bool Running() {
        Poll();
        return m_pid > 0 && !m_bDone;
    }

    // The exit status, or -1 when it ended by a signal, or did not end
    // within `limit` (then it is killed).
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (Running()) {
            if (std::chrono::steady_clock::now() >= until) {
                Kill();
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return m_status;
    }
    void Signal(int signal) {
        if (Running()) {
            ::kill(m_pid, signal);
        }
    }
    // Kills it when it still runs; true when it did.
    bool Kill() {
        if (!Running()) {
            return false;
        }
        ::kill(m_pid, SIGKILL);
        Reap(0);
        return true;
    }

private:
    void Poll() {
        if (m_pid > 0 && !m_bDone) {
            Reap(WNOHANG);
        }
    }
    void Reap(int flags) {
        int status = 0;
        if (::waitpid(m_pid, &status, flags) == m_pid) {
            m_bDone = true;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }

    pid_t m_pid = -1;
    bool m_bDone = false;
    int m_status = -1;
};

// Runs a program to its end; its exit status, or -1.
inline int RunProgram(std::vector<std::string> args,
                      const ChildProcess::Options& options = ChildProcess::Options{},
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    ChildProcess child(std::move(args), options);
    return child.Pid() > 0 ? child.Wait(limit) : -1;
}

}  // namespace ngtest
