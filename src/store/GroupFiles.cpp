#include "store/GroupFiles.h"

#include <cerrno>
#include <climits>

#include "platform/TextFile.h"
#include "store/WorkingFiles.h"

namespace ng {
namespace {

// Without a host there is no file name; a host holding '/' or NUL would name
// a file somewhere else, or none at all.
bool UsableHost(const std::string& host) {
    return !host.empty() && host.find('/') == std::string::npos &&
           host.find('\0') == std::string::npos;
}

bool ReadLines(const std::string& host, const std::string& fileName,
               std::vector<std::string>& lines) {
    if (!UsableHost(host)) {
        lines.clear();
        errno = EINVAL;
        return false;
    }
    return ReadTextLines(fileName, lines);
}

bool WriteLines(const std::string& host, const std::string& fileName,
                const std::vector<std::string>& lines, int* error) {
    if (!UsableHost(host)) {
        if (error) {
            *error = EINVAL;
        }
        return false;
    }
    return ReplaceTextFile(fileName, lines, error);
}

}  // namespace

std::string ActiveGroupsFileName(const std::string& host) {
    return files::kActiveGroupsPrefix + host;
}
std::string AllGroupsFileName(const std::string& host) {
    return files::kAllGroupsPrefix + host;
}
std::string CategoryFileName(const std::string& host) {
    return files::kCategoriesPrefix + host;
}

bool ReadActiveGroups(const std::string& host, std::vector<std::string>& groups) {
    if (!ReadLines(host, ActiveGroupsFileName(host), groups)) {
        return false;
    }
    // A blank typed after a name would make it another group to the server
    // and another key for its mark.
    for (std::string& group : groups) {
        size_t first = group.find_first_not_of(" \t");
        size_t last = group.find_last_not_of(" \t");
        group = first == std::string::npos ? std::string() : group.substr(first, last - first + 1);
    }
    return true;
}

bool ReadAllGroups(const std::string& host, std::vector<std::string>& groups) {
    if (!ReadLines(host, AllGroupsFileName(host), groups)) {
        return false;
    }
    std::erase_if(groups, [](const std::string& line) { return line.empty(); });
    return true;
}

bool ReadCategoryLines(const std::string& host, std::vector<std::string>& lines) {
    return ReadLines(host, CategoryFileName(host), lines);
}

bool WriteActiveGroups(const std::string& host, const std::vector<std::string>& groups,
                       int* error) {
    return WriteLines(host, ActiveGroupsFileName(host), groups, error);
}

bool WriteAllGroups(const std::string& host, const std::vector<std::string>& groups, int* error) {
    return WriteLines(host, AllGroupsFileName(host), groups, error);
}

bool WriteCategoryLines(const std::string& host, const std::vector<std::string>& lines,
                        int* error) {
    return WriteLines(host, CategoryFileName(host), lines, error);
}

int CountActiveGroups(const std::string& host, const std::string& nameForMessages,
                      const std::function<void(const std::string&)>& status) {
    std::vector<std::string> lines;
    if (!ReadActiveGroups(host, lines)) {
        if (status) {
            status("Unable to open " + nameForMessages);
        }
        return 0;
    }
    if (lines.empty()) {
        if (status) {
            status("No groups found in " + nameForMessages);
        }
        return 0;
    }
    return lines.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(lines.size());
}

}  // namespace ng
