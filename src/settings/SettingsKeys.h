#pragma once
// Every settings key the program uses. Their defaults are in
// settings/Settings.h, one for each.

namespace ng::keys {

// Sections. A server's own section is named by its host text, as stored.
inline constexpr char kProductSection[] = "Newsgleaner";
inline constexpr char kDownloadDirsSection[] = "DownloadDirs";

// Product section.
inline constexpr char kNNTPHost[] = "NNTPHost";
inline constexpr char kNNTPHost2[] = "NNTPHost2";
inline constexpr char kNNTPHost3[] = "NNTPHost3";
inline constexpr char kNNTPHost4[] = "NNTPHost4";
inline constexpr char kNNTPPort[] = "NNTPPort";
inline constexpr char kDownloadDirectory[] = "DownloadDirectory";
inline constexpr char kMinLines[] = "MinLines";
inline constexpr char kMaxLines[] = "MaxLines";
// The size of a whole picture in kilobytes, from the overview's bytes
// (summed over the parts of a post split over several articles).
inline constexpr char kMinKB[] = "MinKB";
inline constexpr char kMaxKB[] = "MaxKB";
inline constexpr char kSubjectIncl[] = "SubjectIncl";
inline constexpr char kSubjectIncl2[] = "SubjectIncl2";
inline constexpr char kSubjectExcl[] = "SubjectExcl";
inline constexpr char kMaxHist[] = "MaxHist";
inline constexpr char kHistSaveFrequency[] = "HistSaveFrequency";
inline constexpr char kShowThumbnail[] = "ShowThumbnail";
inline constexpr char kPriority[] = "Priority";
inline constexpr char kGroupIncl[] = "GroupIncl";
inline constexpr char kEnableLogging[] = "EnableLogging";
inline constexpr char kLogFile[] = "LogFile";
inline constexpr char kLogHistAct[] = "LogHistAct";
inline constexpr char kSaveAscii[] = "SaveAscii";
// Seconds a server may stay silent in the middle of a reply before the
// connection counts as lost.
inline constexpr char kReadTimeout[] = "ReadTimeout";
// "none", "tls" (from the first byte) or "starttls" (after the greeting).
inline constexpr char kNNTPSecurity[] = "NNTPSecurity";
// 1: the server's certificate must be trusted and name the host; 0: any.
inline constexpr char kTLSVerify[] = "TLSVerify";
// A PEM file of certificates trusted besides the system's.
inline constexpr char kTLSCAFile[] = "TLSCAFile";
// 1: compress the connection (COMPRESS DEFLATE) when the server offers it.
inline constexpr char kNNTPCompress[] = "NNTPCompress";
// A first visit to a group (mark 0) starts from its newest this many
// articles; 0: from the first.
inline constexpr char kFirstVisitMax[] = "FirstVisitMax";
// ARTICLE commands out at once, so that the link stays busy (1 to 16).
inline constexpr char kArticlesInFlight[] = "ArticlesInFlight";
// 1: a picture whose bytes were saved before, under any name, is not saved again.
inline constexpr char kSkipDuplicates[] = "SkipDuplicates";
// Days the parts of a multi-part post wait in the work folder for the rest.
inline constexpr char kPartialKeepDays[] = "PartialKeepDays";
// Reconnections after a lost connection or a busy server before a pass
// gives up; 0: the pass ends at the first.
inline constexpr char kConnectRetries[] = "ConnectRetries";
// Seconds before the first reconnection, doubling with each.
inline constexpr char kRetryWait[] = "RetryWait";
// Hours an article the server did not have yet is asked for again.
inline constexpr char kMissingKeepHours[] = "MissingKeepHours";
// 1: an attachment is saved only when its bytes are a picture (JPEG, PNG,
// GIF, WebP, BMP or TIFF); 0: any attachment is saved.
inline constexpr char kPicturesOnly[] = "PicturesOnly";

// DownloadDirs section: "Enable", and one key per group name.
inline constexpr char kEnable[] = "Enable";

// A server's section: the login, and one high-water mark per group name.
inline constexpr char kUserAuthentication[] = "UserAuthentication";
inline constexpr char kUsername[] = "Username";
inline constexpr char kPassword[] = "Password";
inline constexpr char kPromptForPasswd[] = "PromptForPasswd";
// Connections a pass opens to the server (1 to 16); the group list refresh
// keeps one.
inline constexpr char kConnections[] = "Connections";

}  // namespace ng::keys

namespace ng::defaults {

// The first article of a group never visited is article 1, so nothing has
// been dealt with yet: the mark starts below it.
inline constexpr int kHighWaterMark = 0;

}  // namespace ng::defaults
