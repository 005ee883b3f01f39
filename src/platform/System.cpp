#include "platform/System.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace ng {
namespace {

// An XDG variable counts only when it holds an absolute path.
std::string XdgBase(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') {
        return value;
    }
    const char* home = std::getenv("HOME");
    std::string base = (home && home[0]) ? home : ".";
    return base + "/" + fallbackUnderHome;
}

}  // namespace

std::string DefaultSettingsPath() {
    return XdgBase("XDG_CONFIG_HOME", ".config") + "/newsgleaner.ini";
}

std::string DataHomePath() {
    return XdgBase("XDG_DATA_HOME", ".local/share") + "/newsgleaner";
}

bool MakeDirectories(const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec && !std::filesystem::is_directory(path)) {
        if (error) {
            *error = path + ": " + ec.message();
        }
        return false;
    }
    return true;
}

bool EnterDataHome(std::string* error) {
    std::string home = DataHomePath();
    if (!MakeDirectories(home, error)) {
        return false;
    }
    if (::chdir(home.c_str()) != 0) {
        if (error) {
            *error = home + ": " + std::generic_category().message(errno);
        }
        return false;
    }
    return true;
}

int64_t NowSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

pid_t CurrentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool SetThreadPriorityLevel(pid_t thread, int level) {
    if (level < -2) {
        level = -2;
    }
    if (level > 2) {
        level = 2;
    }
    const int nice = -5 * level;  // -2 -> 10 (lowest) .. 2 -> -10 (highest)
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0;
}

int PriorityLevelForSetting(int setting) {
    if (setting >= 1 && setting <= 5) {
        return setting - 3;
    }
    return 0;
}

}  // namespace ng
