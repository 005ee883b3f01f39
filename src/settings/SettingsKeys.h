#pragma once
// Every settings key the program uses, with the default each reader gives.
// Where readers disagree on a default (the setup dialog shows friendlier
// values than the worker falls back to), both are named here.

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

}  // namespace ng::keys

namespace ng::defaults {

// Read by the download worker.
inline constexpr int kWorkerMinLines = 500;
inline constexpr int kWorkerMaxLines = 3000;
inline constexpr char kWorkerSubjectIncl[] = "";
inline constexpr char kWorkerSubjectIncl2[] = "";
inline constexpr char kWorkerDownloadDirectory[] = "";
inline constexpr char kWorkerLogFile[] = "";
inline constexpr int kHistSaveFrequency = 5;
inline constexpr int kMaxHist = 20000;
// The first article of a group never visited is article 1, so nothing has
// been dealt with yet: the mark starts below it.
inline constexpr int kHighWaterMark = 0;
inline constexpr int kPort = 119;
inline constexpr int kReadTimeoutSeconds = 180;
inline constexpr char kNNTPSecurity[] = "none";
inline constexpr int kTLSVerify = 1;
inline constexpr int kNNTPCompress = 1;
inline constexpr int kFirstVisitMax = 0;
inline constexpr int kArticlesInFlight = 4;
inline constexpr int kSkipDuplicates = 1;
inline constexpr int kPartialKeepDays = 14;
inline constexpr int kPicturesOnly = 1;

// Shown by the setup dialog when the key is missing.
inline constexpr char kDialogPort[] = "119";
inline constexpr char kDialogMinLines[] = "500";
inline constexpr char kDialogMaxLines[] = "2500";
inline constexpr char kDialogSubjectIncl[] = "jpg:gif";
inline constexpr char kDialogSubjectIncl2[] = "1/1:01/01";
inline constexpr char kDialogMaxHist[] = "20000";
inline constexpr char kDialogHistSaveFrequency[] = "5";

// Shown by the excludes and logging dialog.
inline constexpr char kDialogLogFile[] = "DownloadLog";

// Group select dialog.
inline constexpr char kGroupIncl[] = "pictures";

// Main window.
inline constexpr int kPriority = 3;
inline constexpr int kShowThumbnail = 0;

}  // namespace ng::defaults
