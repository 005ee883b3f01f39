#include "make-samples/Spool.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ngsample {

std::string Serialize(const Article& article, const char* eol) {
    std::string out;
    for (const auto& [name, value] : article.headers) {
        out += name + ": " + value + eol;
    }
    out += eol;
    for (const std::string& line : article.body) {
        out += line;
        out += eol;
    }
    return out;
}

std::string DateText(std::time_t when) {
    std::tm tm{};
    ::gmtime_r(&when, &tm);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tm.tm_wday],
                  tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return buf;
}

void Fail(const std::string& message) {
    std::fprintf(stderr, "newsgleaner-make-samples: %s\n", message.c_str());
    std::exit(1);
}

void MakeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        Fail("cannot create " + path + ": " + std::strerror(errno));
    }
}

void ClearArticles(const std::string& dir, bool everyFile) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return;
    }
    std::vector<std::string> doomed;
    while (dirent* entry = ::readdir(d)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        bool digits = name.find_first_not_of("0123456789") == std::string::npos;
        if (digits || everyFile) {
            doomed.push_back(dir + "/" + name);
        }
    }
    ::closedir(d);
    for (const std::string& path : doomed) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            ::unlink(path.c_str());
        }
    }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        Fail("cannot write " + path + ": " + std::strerror(errno));
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        Fail("cannot write " + path + ": " + std::strerror(errno));
    }
}

}  // namespace ngsample
