#pragma once
// Small helpers shared by the tests: throwaway folders, whole-file I/O and
// splitting lines into fields.

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace ngtest {

// Built with AddressSanitizer or ThreadSanitizer, which keep freed memory
// aside for a while and pad every block: memory bounds mean less there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Makes a folder the current directory for the life of the object.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& path);
    ~ScopedChdir();
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    std::string m_previous;
};

// A temporary folder that is the current directory and holds the settings
// file of the process-wide store, so lists, logs and settings of a test stay
// inside it. Restores the store's previous path afterwards. The desktop's
// keyring stays out of reach too (no session bus), unless the test runs
// under a Secret Service of its own (NG_TEST_SECRET_SERVICE).
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    const std::string& Path() const { return m_dir.Path(); }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    std::string SettingsPath() const { return m_dir.File("newsgleaner.ini"); }

private:
    TempDir m_dir;
    ScopedChdir m_chdir;
    std::string m_previousSettings;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The fields of a line between separators, as std::getline reads them: an
// empty text has none, and a separator at the end adds no empty field.
std::vector<std::string> SplitFields(const std::string& text, char separator);

}  // namespace ngtest
