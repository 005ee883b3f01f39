#include "sample-server/ArticleStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ngsample {

namespace {

// Article files larger than this are not served: the server holds an article
// in memory while it sends it.
constexpr std::int64_t kMaxArticleBytes = 256LL * 1024 * 1024;

// Calls f(line) for every line of raw, without its LF and without a CR before it.
template <typename F>
void ForEachLine(std::string_view raw, F&& f) {
    std::size_t pos = 0;
    while (pos < raw.size()) {
        const void* hit = std::memchr(raw.data() + pos, '\n', raw.size() - pos);
        std::size_t end = hit ? static_cast<const char*>(hit) - raw.data() : raw.size();
        std::size_t next = hit ? end + 1 : raw.size();
        std::string_view line = raw.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!f(line)) {
            return;
        }
        pos = next;
    }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string CleanValue(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\t' || c == '\r' || c == '\n' || c == '\0') {
            c = ' ';
        }
    }
    std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    std::size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

void StoreHeader(ArticleInfo& info, std::string_view name, std::string_view value) {
    std::string* target = nullptr;
    if (EqualsNoCase(name, "Subject")) {
        target = &info.subject;
    } else if (EqualsNoCase(name, "From")) {
        target = &info.from;
    } else if (EqualsNoCase(name, "Date")) {
        target = &info.date;
    } else if (EqualsNoCase(name, "Message-ID")) {
        target = &info.messageId;
    } else if (EqualsNoCase(name, "References")) {
        target = &info.references;
    } else if (EqualsNoCase(name, "Xref")) {
        target = &info.xref;
    }
    if (target && target->empty()) {
        *target = CleanValue(value);
    }
}

// Canonical decimal article numbers only ("7", not "007"), so that a number
// names exactly one file.
std::optional<std::uint64_t> ParseArticleFileName(const char* name) {
    std::size_t len = std::strlen(name);
    if (len == 0 || len > 15 || name[0] == '0') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
    }
    return value;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads a whole regular file; fills size and modification time from the open file.
std::optional<std::string> ReadWholeFile(const std::string& path, std::int64_t* size,
                                         std::int64_t* mtimeNs) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxArticleBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(got);  // the file may have shrunk meanwhile
    if (size) {
        *size = st.st_size;
    }
    if (mtimeNs) {
        *mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return data;
}

}  // namespace

std::size_t BodyOffset(std::string_view raw) {
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\n', pos);
        if (end == std::string_view::npos) {
            return raw.size();
        }
        std::size_t len = end - pos;
        if (len == 0 || (len == 1 && raw[pos] == '\r')) {
            return end + 1;
        }
        pos = end + 1;
    }
    return raw.size();
}

ArticleInfo ParseArticle(std::string_view raw) {
    ArticleInfo info;
    bool inHeaders = true;
    std::string name;
    std::string value;
    bool haveHeader = false;
    ForEachLine(raw, [&](std::string_view line) {
        info.bytes += line.size() + 2;
        if (!inHeaders) {
            ++info.lines;
            return true;
        }
        if (line.empty()) {
            inHeaders = false;
        } else if ((line[0] == ' ' || line[0] == '\t') && haveHeader) {
            value.append(line);  // folded header: the line end goes, the blank stays
            return true;
        }
        if (haveHeader) {
            StoreHeader(info, name, value);
            haveHeader = false;
        }
        if (inHeaders) {
            std::size_t colon = line.find(':');
            if (colon != std::string_view::npos && colon > 0) {
                name.assign(line.substr(0, colon));
                value.assign(line.substr(colon + 1));
                haveHeader = true;
            }
        }
        return true;
    });
    if (haveHeader) {
        StoreHeader(info, name, value);
    }
    return info;
}

void AppendDotStuffed(std::string& out, std::string_view raw) {
    out.reserve(out.size() + raw.size() + raw.size() / 32 + 16);
    ForEachLine(raw, [&](std::string_view line) {
        if (!line.empty() && line[0] == '.') {
            out.push_back('.');
        }
        out.append(line);
        out.append("\r\n");
        return true;
    });
}

ArticleStore::ArticleStore(std::string root) : m_root(std::move(root)) {
    while (m_root.size() > 1 && m_root.back() == '/') {
        m_root.pop_back();
    }
}

bool ArticleStore::IsValidGroupName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name[0] == '.') {
        return false;
    }
    for (char c : name) {
        if (c <= ' ' || c > '~' || c == '/' || c == '\\') {
            return false;
        }
    }
    return true;
}

std::vector<std::string> ArticleStore::Groups() const {
    std::vector<std::string> groups;
    DIR* dir = ::opendir(m_root.c_str());
    if (!dir) {
        return groups;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (IsValidGroupName(name) && IsDirectory(m_root + "/" + name)) {
            groups.push_back(std::move(name));
        }
    }
    ::closedir(dir);
    std::sort(groups.begin(), groups.end());
    return groups;
}

std::optional<std::vector<std::uint64_t>> ArticleStore::Numbers(const std::string& group) const {
    if (!IsValidGroupName(group)) {
        return std::nullopt;
    }
    DIR* dir = ::opendir((m_root + "/" + group).c_str());
    if (!dir) {
        return std::nullopt;
    }
    std::vector<std::uint64_t> numbers;
    while (dirent* entry = ::readdir(dir)) {
        if (auto number = ParseArticleFileName(entry->d_name)) {
            numbers.push_back(*number);
        }
    }
    ::closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::string ArticleStore::PathOf(const std::string& group, std::uint64_t number) const {
    return m_root + "/" + group + "/" + std::to_string(number);
}

std::optional<std::string> ArticleStore::Read(const std::string& group,
                                              std::uint64_t number) const {
    if (!IsValidGroupName(group)) {
        return std::nullopt;
    }
    return ReadWholeFile(PathOf(group, number), nullptr, nullptr);
}

std::optional<ArticleInfo> ArticleStore::Info(const std::string& group, std::uint64_t number) {
    if (!IsValidGroupName(group)) {
        return std::nullopt;
    }
    std::string path = PathOf(group, number);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    std::int64_t mtimeNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_cache.find(path);
        if (it != m_cache.end() && it->second.size == st.st_size && it->second.mtimeNs == mtimeNs) {
            return it->second.info;
        }
    }
    // Parsed outside the lock so that one slow file does not hold up other clients.
    CacheEntry entry;
    auto raw = ReadWholeFile(path, &entry.size, &entry.mtimeNs);
    if (!raw) {
        return std::nullopt;
    }
    entry.info = ParseArticle(*raw);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cache[path] = entry;
    return entry.info;
}

std::optional<std::pair<std::string, std::uint64_t>> ArticleStore::Find(
    const std::string& messageId) {
    for (const std::string& group : Groups()) {
        auto numbers = Numbers(group);
        if (!numbers) {
            continue;
        }
        for (std::uint64_t number : *numbers) {
            auto info = Info(group, number);
            if (info && info->messageId == messageId) {
                return std::make_pair(group, number);
            }
        }
    }
    return std::nullopt;
}

}  // namespace ngsample
