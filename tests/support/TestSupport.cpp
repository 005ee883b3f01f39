#include "support/TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "settings/SettingsStore.h"

namespace ngtest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/ngtest-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::File(const std::string& name) const {
    return m_path + "/" + name;
}

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

Sandbox::Sandbox() : m_chdir(m_dir.Path()) {
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

}  // namespace ngtest
