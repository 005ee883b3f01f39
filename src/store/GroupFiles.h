#pragma once
// The three group files of a news server, named by a prefix and the host
// text exactly as stored: active groups (the walk order of a pass), all
// groups (the server's list as last refreshed), and categories.

#include <functional>
#include <string>
#include <vector>

namespace ng {

std::string ActiveGroupsFileName(const std::string& host);  // "Groups." + host
std::string AllGroupsFileName(const std::string& host);     // "AllGroups." + host
std::string CategoryFileName(const std::string& host);      // "GroupCat." + host

// A host that cannot form a file name (empty, or holding '/' or NUL) makes
// every reader and writer below fail (EINVAL), as a file that cannot be
// opened or created would.

// Every line, empty lines included, without blanks around the name. False
// when the file cannot be opened.
[[nodiscard]] bool ReadActiveGroups(const std::string& host, std::vector<std::string>& groups);
// Every non-empty line.
[[nodiscard]] bool ReadAllGroups(const std::string& host, std::vector<std::string>& groups);
// Every line, empty lines included (they end the category blocks).
[[nodiscard]] bool ReadCategoryLines(const std::string& host, std::vector<std::string>& lines);

// Each replaces its file whole (temporary file, then rename).
[[nodiscard]] bool WriteActiveGroups(const std::string& host,
                                     const std::vector<std::string>& groups, int* error = nullptr);
[[nodiscard]] bool WriteAllGroups(const std::string& host, const std::vector<std::string>& groups,
                                  int* error = nullptr);
[[nodiscard]] bool WriteCategoryLines(const std::string& host,
                                      const std::vector<std::string>& lines, int* error = nullptr);

// Lines of "Groups." + host, or 0. Shows "Unable to open " + nameForMessages
// or "No groups found in " + nameForMessages through `status`.
int CountActiveGroups(const std::string& host, const std::string& nameForMessages,
                      const std::function<void(const std::string&)>& status);

}  // namespace ng
