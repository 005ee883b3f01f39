#include "platform/FileNames.h"

namespace ng {

std::optional<std::string> SafeLeafName(std::string_view name) {
    auto slash = name.find_last_of('/');
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    // A leading dot would hide the file, or name a shell's start-up file
    // (".bashrc") when the folder is the home folder.
    if (name.empty() || name.front() == '.' || name.size() > kMaxLeafName ||
        name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(name);
}

std::optional<std::string> SafeJoin(std::string_view directory, std::string_view name) {
    auto leaf = SafeLeafName(name);
    if (!leaf || directory.find('\0') != std::string_view::npos ||
        directory.size() + leaf->size() > kMaxPathLength) {
        return std::nullopt;
    }
    return std::string(directory) + *leaf;
}

}  // namespace ng
