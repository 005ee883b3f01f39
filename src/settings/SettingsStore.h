#pragma once
// The settings store: an INI file of sections holding key=value lines, used
// through the four profile operations. Every read sees the latest write, also
// one made by another process; every write replaces the file atomically and
// leaves it readable by its owner only (it holds a password).

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

class SettingsStore {
public:
    explicit SettingsStore(std::string path);

    std::string Path() const;
    // Points the store at another file (programs at start, tests per case).
    void SetPath(std::string path);

    // The stored text, or `defaultValue` when the file, section or key is missing.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const;
    // The number the stored text begins with ("2500" -> 2500, "abc" -> 0,
    // "-3" -> -3), or `defaultValue` when the key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;
    // Stores the text, creating the file, section and key as needed. Line
    // breaks in the value become blanks so that one value stays one line.
    // False, with errno set, when the file could not be written.
    bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteProfileInt(std::string_view section, std::string_view key, int value);

    struct Entry {
        std::string key;    // empty for a line that is not key=value
        std::string value;  // the value, unquoted
        std::string raw;    // the line as read, for lines that are not key=value
    };
    struct Section {
        std::string name;
        bool isPreamble = false;  // lines before the first section header
        std::vector<Entry> entries;
    };
    struct Document {
        std::vector<Section> sections;
        const std::string* Find(std::string_view section, std::string_view key) const;
        void Set(std::string_view section, std::string_view key, std::string_view value);
        std::string Serialize() const;
    };
    static Document Parse(std::string_view text);

private:
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t mtimeNs = 0;
        int64_t ctimeNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const std::string& path);
    // Brings m_cache up to date with the file; call with m_mutex held.
    void RefreshLocked() const;

    mutable std::mutex m_mutex;
    std::string m_strPath;
    mutable bool m_bCacheValid = false;
    mutable FileStamp m_stamp;
    mutable Document m_cache;
};

// The process-wide store at DefaultSettingsPath(); programs and tests may
// point it elsewhere with SetPath before they start any thread.
SettingsStore& Profile();

}  // namespace ng
