#pragma once
// Process set-up and small operating-system services: where the settings and
// the working folder live, the clock, and thread priorities.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace ng {

// ${XDG_CONFIG_HOME:-$HOME/.config}/newsgleaner.ini
std::string DefaultSettingsPath();

// ${XDG_DATA_HOME:-$HOME/.local/share}/newsgleaner
std::string DataHomePath();

// Creates `path` (and its parents) when missing.
bool MakeDirectories(const std::string& path, std::string* error = nullptr);

// Creates the working folder when missing and makes it the current
// directory: lists and logs are opened by bare name from there.
bool EnterDataHome(std::string* error = nullptr);

// Wall-clock time in whole seconds.
int64_t NowSeconds();

// Kernel id of the calling thread (for priority changes from another thread).
pid_t CurrentThreadId();

// Thread priority levels as the window offers them: -2 lowest .. 2 highest.
// Mapped to nice values; raising above normal may be refused for a normal
// user, in which case the thread keeps its priority and false is returned.
bool SetThreadPriorityLevel(pid_t thread, int level);

// The level for the stored "Priority" setting 1..5; anything else is normal.
int PriorityLevelForSetting(int setting);

}  // namespace ng
