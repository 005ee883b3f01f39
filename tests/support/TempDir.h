#pragma once
// A throwaway folder for the tests, benchmarks and fuzz targets alike.
// Header-only and free of any test framework.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ngtest {

// A fresh folder under $TMPDIR (or /tmp), named `prefix` and six random
// characters, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "ngtest-") {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base && base[0] ? base : "/tmp") + "/" + prefix + "XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        // Tests may leave read-only folders behind; make them writable first.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path() + "/" + name
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

}  // namespace ngtest
