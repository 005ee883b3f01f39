#include "support/TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "settings/SettingsStore.h"

namespace ngtest {

ScopedChdir::ScopedChdir(const std::string& path) {
    m_previous = std::filesystem::current_path().string();
    if (::chdir(path.c_str()) != 0) {
        throw std::runtime_error("chdir failed: " + path);
    }
}

ScopedChdir::~ScopedChdir() {
    if (::chdir(m_previous.c_str()) != 0) {
        std::abort();
    }
}

namespace {

// Tests keep away from the desktop's keyring: they see no session bus,
// unless they run under a Secret Service of their own
// (tests/settings/with-secret-service). Set once, before any thread asks.
void HideTheSessionBus() {
    static const bool hidden = [] {
        const char* own = std::getenv("NG_TEST_SECRET_SERVICE");
        return (own && *own) ||
               ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-session-bus", 1) == 0;
    }();
    (void)hidden;
}

}  // namespace

Sandbox::Sandbox() : m_chdir(m_dir.Path()) {
    HideTheSessionBus();
    m_previousSettings = ng::Profile().Path();
    ng::Profile().SetPath(SettingsPath());
}

Sandbox::~Sandbox() {
    ng::Profile().SetPath(m_previousSettings);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> SplitFields(const std::string& text, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, separator);) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace ngtest
