#pragma once
// The settings of one download pass, read once when it starts: changes made
// while it runs take effect with the next pass. (The per-group keys, a
// group's folder and its mark, are read when the group is scanned.)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "nntp/NewsServer.h"

namespace ng {

class SettingsStore;

// What the header filter judges by; the lists are upper-cased.
struct FilterSettings {
    // Each limit is left open when nullopt. Lines are an article's; the
    // kilobytes a whole picture's, over all of a post's parts.
    std::optional<int64_t> minLines;
    std::optional<int64_t> maxLines;
    std::optional<int64_t> minKB;
    std::optional<int64_t> maxKB;
    std::vector<std::string> subjectIncludes;
    std::vector<std::string> subjectIncludes2;
    std::vector<std::string> subjectExcludes;
    std::vector<std::string> fromExcludes;  // lines of "FromExcludes"
    // "FromExcludes" is there but cannot be read (or is no regular file):
    // a pass must not run without the excludes the user set.
    bool fromExcludesUnreadable = false;
    bool logHistoryHits = false;  // "LogHistAct" is exactly "yes"
};

struct PassSettings {
    ServerSettings server;
    LoginSettings login;
    std::string downloadDir;  // as stored; the pass adds the missing "/"
    FilterSettings filter;
    int histSaveFrequency = 0;
    int firstVisitMax = 0;        // a first visit starts from the newest this many; 0: all
    size_t articlesInFlight = 1;  // ARTICLE commands out at once, on each connection
    int connections = 1;          // to the server, for fetching articles
    int maxHist = 0;
    bool saveAscii = false;
    bool enableLogging = false;
    std::string logFile;
    bool skipDuplicates = true;  // keep content hashes; never save the same bytes twice
    int partialKeepDays = 0;     // how long parts of an incomplete post are kept
    int connectRetries = 0;      // reconnections after a connection failure
    int retryWaitSeconds = 0;    // before the first, doubling
    int missingKeepHours = 0;    // how long an article not there yet is asked for again
    bool picturesOnly = true;    // an attachment that is no picture is not saved
};

// Reads the product section, the server's login (its password from the
// keyring where one answers) and the "FromExcludes" file (missing: no
// sender excludes), with the defaults of the download worker.
PassSettings ReadPassSettings(const SettingsStore& store);

}  // namespace ng
