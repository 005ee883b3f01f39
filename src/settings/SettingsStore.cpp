#include "settings/SettingsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileLock.h"
#include "platform/Numbers.h"
#include "platform/System.h"
#include "platform/TextFile.h"

namespace ng {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A value keeps its outer blanks and its quotes through a write and a read:
// such values are written inside an extra pair of double quotes, which the
// reader strips (as the classic profile functions do).
std::string EncodeValue(std::string_view value) {
    std::string text(value);
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    bool needsQuotes =
        !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()) ||
                          (text.size() >= 2 && text.front() == '"' && text.back() == '"'));
    return needsQuotes ? "\"" + text + "\"" : text;
}

std::string DecodeValue(std::string_view raw) {
    std::string_view value = Trim(raw);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// Holds an exclusive lock on "<settings>.lock" so that read-modify-write
// cycles of several processes do not lose each other's updates.
// Section and key names are single lines too.
std::string OneLine(std::string_view name) {
    std::string text(name);
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

std::string ParentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

SettingsStore::SettingsStore(std::string path) : m_strPath(std::move(path)) {}

std::string SettingsStore::Path() const {
    std::lock_guard lock(m_mutex);
    return m_strPath;
}

void SettingsStore::SetPath(std::string path) {
    std::lock_guard lock(m_mutex);
    m_strPath = std::move(path);
    m_bCacheValid = false;
}

SettingsStore::Document SettingsStore::Parse(std::string_view text) {
    Document doc;
    doc.sections.push_back(Section{"", true, {}});
    for (const std::string& line : SplitTextLines(text)) {
        // A byte order mark begins no name: written back first in the file,
        // it would be taken for the file's own and the name would change.
        std::string_view body = Trim(WithoutByteOrderMarks(Trim(line)));
        if (!body.empty() && body.front() == '[') {
            auto close = body.rfind(']');
            std::string_view name = close == std::string_view::npos || close == 0
                                        ? body.substr(1)
                                        : body.substr(1, close - 1);
            doc.sections.push_back(Section{std::string(name), false, {}});
            continue;
        }
        auto equals = body.find('=');
        if (body.empty() || body.front() == ';' || body.front() == '#' ||
            equals == std::string_view::npos || equals == 0) {
            doc.sections.back().entries.push_back(Entry{"", "", line});
            continue;
        }
        std::string key(Trim(body.substr(0, equals)));
        doc.sections.back().entries.push_back(
            Entry{std::move(key), DecodeValue(body.substr(equals + 1)), ""});
    }
    return doc;
}

const std::string* SettingsStore::Document::Find(std::string_view section,
                                                 std::string_view key) const {
    for (const Section& s : sections) {
        if (s.isPreamble || s.name != section) {
            continue;
        }
        for (const Entry& e : s.entries) {
            if (!e.key.empty() && e.key == key) {
                return &e.value;
            }
        }
    }
    return nullptr;
}

void SettingsStore::Document::Set(std::string_view section, std::string_view key,
                                  std::string_view value) {
    Section* target = nullptr;
    for (Section& s : sections) {
        if (s.isPreamble || s.name != section) {
            continue;
        }
        for (Entry& e : s.entries) {
            if (!e.key.empty() && e.key == key) {
                e.value = value;
                return;
            }
        }
        if (!target) {
            target = &s;
        }
    }
    if (!target) {
        sections.push_back(Section{std::string(section), false, {}});
        target = &sections.back();
    }
    // New keys go after the section's last key, before trailing blank lines.
    auto insertAt = target->entries.end();
    while (insertAt != target->entries.begin() && std::prev(insertAt)->key.empty() &&
           Trim(std::prev(insertAt)->raw).empty()) {
        --insertAt;
    }
    target->entries.insert(insertAt, Entry{std::string(key), std::string(value), ""});
}

std::string SettingsStore::Document::Serialize() const {
    std::string out;
    for (const Section& s : sections) {
        if (!s.isPreamble) {
            if (!out.empty() && out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") != 0) {
                out += '\n';  // a blank line between sections, as people write them
            }
            out += '[';
            out += s.name;
            out += "]\n";
        }
        for (const Entry& e : s.entries) {
            if (e.key.empty()) {
                out += e.raw;
            } else {
                out += e.key;
                out += '=';
                out += EncodeValue(e.value);
            }
            out += '\n';
        }
    }
    return out;
}

SettingsStore::FileStamp SettingsStore::StampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

void SettingsStore::RefreshLocked() const {
    FileStamp stamp = StampOf(m_strPath);
    if (m_bCacheValid && stamp == m_stamp) {
        return;
    }
    std::string text;
    if (stamp.exists) {
        ReadWholeFile(m_strPath, text);
    }
    m_cache = Parse(text);
    m_stamp = stamp;
    m_bCacheValid = true;
}

std::string SettingsStore::GetProfileString(std::string_view section, std::string_view key,
                                            std::string_view defaultValue) const {
    std::lock_guard lock(m_mutex);
    RefreshLocked();
    const std::string* value = m_cache.Find(OneLine(section), OneLine(key));
    return value ? *value : std::string(defaultValue);
}

int SettingsStore::GetProfileInt(std::string_view section, std::string_view key,
                                 int defaultValue) const {
    std::lock_guard lock(m_mutex);
    RefreshLocked();
    const std::string* value = m_cache.Find(OneLine(section), OneLine(key));
    return value ? ng::LeadingInt(*value) : defaultValue;
}

bool SettingsStore::WriteProfileString(std::string_view section, std::string_view key,
                                       std::string_view value) {
    std::lock_guard lock(m_mutex);
    std::string parent = ParentOf(m_strPath);
    if (!parent.empty()) {
        MakeDirectories(parent);
    }
    FileLock fileLock(m_strPath);
    m_bCacheValid = false;  // read afresh under the lock: another process may have written
    RefreshLocked();
    m_cache.Set(OneLine(section), OneLine(key), value);
    std::string text = m_cache.Serialize();
    // A settings file kept as a link (into a dotfile repository, say) stays
    // a link: its target is what gets replaced.
    int error = 0;
    bool ok = ReplaceFileContents(LinkTarget(m_strPath), text, &error, 0600);
    m_bCacheValid = false;
    errno = error;
    return ok;
}

bool SettingsStore::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

SettingsStore& Profile() {
    static SettingsStore store(DefaultSettingsPath());
    return store;
}

}  // namespace ng
