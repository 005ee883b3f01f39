#pragma once
// Typed access to the settings: every key with its one default, in one
// place. Readers ask for a setting, not for a key and a default of their
// own, so a default cannot differ between two readers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SettingsKeys.h"

namespace ng {

class SettingsStore;

struct IntSetting {
    const char* section;
    const char* key;
    int fallback;
};
struct TextSetting {
    const char* section;
    const char* key;
    const char* fallback;
};
// A limit that may be left open: absent or blank means none, unless the
// setting gives a default for an absent key.
struct LimitSetting {
    const char* section;
    const char* key;
    std::optional<int64_t> fallback;
};

int Read(const SettingsStore& store, const IntSetting& setting);
std::string Read(const SettingsStore& store, const TextSetting& setting);
// nullopt: no limit.
std::optional<int64_t> Read(const SettingsStore& store, const LimitSetting& setting);
// The profile holds the key (whatever its value).
bool IsSet(const SettingsStore& store, const char* section, const char* key);
template <typename Setting>
bool IsSet(const SettingsStore& store, const Setting& setting) {
    return IsSet(store, setting.section, setting.key);
}

[[nodiscard]] bool Write(SettingsStore& store, const IntSetting& setting, int value);
[[nodiscard]] bool Write(SettingsStore& store, const TextSetting& setting, std::string_view value);

namespace setting {

using keys::kProductSection;

// The server and the connection.
inline constexpr TextSetting kNNTPHost{kProductSection, keys::kNNTPHost, ""};
inline constexpr IntSetting kNNTPPort{kProductSection, keys::kNNTPPort, 119};
inline constexpr IntSetting kReadTimeout{kProductSection, keys::kReadTimeout, 180};
inline constexpr TextSetting kNNTPSecurity{kProductSection, keys::kNNTPSecurity, "none"};
inline constexpr IntSetting kTLSVerify{kProductSection, keys::kTLSVerify, 1};
inline constexpr TextSetting kTLSCAFile{kProductSection, keys::kTLSCAFile, ""};
inline constexpr IntSetting kNNTPCompress{kProductSection, keys::kNNTPCompress, 1};
inline constexpr IntSetting kConnectRetries{kProductSection, keys::kConnectRetries, 3};
inline constexpr IntSetting kRetryWait{kProductSection, keys::kRetryWait, 10};
inline constexpr IntSetting kArticlesInFlight{kProductSection, keys::kArticlesInFlight, 4};

// What a pass takes. Sizes fit today's posts: a picture of 20 KB to 50 MB,
// whatever its lines; the line limits hold only where a profile sets them.
inline constexpr TextSetting kDownloadDirectory{kProductSection, keys::kDownloadDirectory, ""};
inline constexpr LimitSetting kMinLines{kProductSection, keys::kMinLines, std::nullopt};
inline constexpr LimitSetting kMaxLines{kProductSection, keys::kMaxLines, std::nullopt};
inline constexpr LimitSetting kMinKB{kProductSection, keys::kMinKB, 20};
inline constexpr LimitSetting kMaxKB{kProductSection, keys::kMaxKB, 51200};
inline constexpr TextSetting kSubjectIncl{kProductSection, keys::kSubjectIncl,
                                          "jpg:jpeg:png:gif:webp"};
inline constexpr TextSetting kSubjectIncl2{kProductSection, keys::kSubjectIncl2, ""};
inline constexpr TextSetting kSubjectExcl{kProductSection, keys::kSubjectExcl, ""};
inline constexpr IntSetting kFirstVisitMax{kProductSection, keys::kFirstVisitMax, 0};
inline constexpr IntSetting kMaxHist{kProductSection, keys::kMaxHist, 20000};
inline constexpr IntSetting kHistSaveFrequency{kProductSection, keys::kHistSaveFrequency, 5};
inline constexpr IntSetting kSkipDuplicates{kProductSection, keys::kSkipDuplicates, 1};
inline constexpr IntSetting kPartialKeepDays{kProductSection, keys::kPartialKeepDays, 14};
inline constexpr IntSetting kMissingKeepHours{kProductSection, keys::kMissingKeepHours, 24};
inline constexpr IntSetting kPicturesOnly{kProductSection, keys::kPicturesOnly, 1};
inline constexpr IntSetting kSaveAscii{kProductSection, keys::kSaveAscii, 0};
inline constexpr IntSetting kEnableLogging{kProductSection, keys::kEnableLogging, 0};
inline constexpr TextSetting kLogFile{kProductSection, keys::kLogFile, "DownloadLog"};
inline constexpr TextSetting kLogHistAct{kProductSection, keys::kLogHistAct, ""};

// The windows.
inline constexpr IntSetting kPriority{kProductSection, keys::kPriority, 3};
inline constexpr IntSetting kShowThumbnail{kProductSection, keys::kShowThumbnail, 0};
inline constexpr TextSetting kGroupIncl{kProductSection, keys::kGroupIncl, "pictures"};
inline constexpr IntSetting kDownloadDirsEnable{keys::kDownloadDirsSection, keys::kEnable, 0};

}  // namespace setting

// Settings of a server's own section, named by its host text.
namespace server_setting {
inline constexpr int kConnectionsFallback = 1;
inline constexpr int kMaxConnections = 16;
}  // namespace server_setting
// How many connections a pass opens to `host`: 1 to 16, 1 when not set.
int ReadConnections(const SettingsStore& store, const std::string& host);

// The filters as they always were, which the setup dialog's "Classic
// filters" button puts back: sizes in lines of uuencoded articles, and
// single JPEG or GIF files only.
namespace classic {
inline constexpr char kMinLines[] = "500";
inline constexpr char kMaxLines[] = "2500";
inline constexpr char kSubjectIncl[] = "jpg:gif";
inline constexpr char kSubjectIncl2[] = "1/1:01/01";
}  // namespace classic

}  // namespace ng
