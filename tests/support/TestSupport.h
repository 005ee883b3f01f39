#pragma once
// Small helpers shared by the tests: throwaway folders, whole-file I/O and
// splitting lines into fields.

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace ngtest {

// Built with ThreadSanitizer, or with either it or AddressSanitizer. Both
// keep freed memory aside for a while and pad every block, so memory bounds
// mean less there, and both run several times slower.
#if defined(__has_feature)
#define NG_TEST_HAS_FEATURE(x) __has_feature(x)
#else
#define NG_TEST_HAS_FEATURE(x) 0
#endif
#if defined(__SANITIZE_THREAD__) || NG_TEST_HAS_FEATURE(thread_sanitizer)
constexpr bool kThreadSanitized = true;
#else
constexpr bool kThreadSanitized = false;
#endif
#if defined(__SANITIZE_ADDRESS__) || NG_TEST_HAS_FEATURE(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = kThreadSanitized;
#endif
#undef NG_TEST_HAS_FEATURE
// How much longer than usual a time limit is in this build; the limits are
// for real faults, not for a slow build.
constexpr int kSlowdown = kSanitized ? 6 : 1;

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
