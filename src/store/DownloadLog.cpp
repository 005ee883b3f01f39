#include "store/DownloadLog.h"

#include "platform/ShowableText.h"
#include "platform/TextFile.h"

namespace ng {

bool AppendDownloadLog(const std::string& logPath, const std::string& outputPath,
                       const std::string& from, int* error) {
    // The sender and the name come from the server: no control character
    // of theirs reaches the log, and a line break cannot forge a record.
    return AppendTextLine(logPath, ShowableText(outputPath + " -> " + from), error);
}

void ClearDownloadLog(const std::string& logPath) {
    (void)CreateEmptyFile(logPath);  // nothing is reported, as the dialog always did
}

}  // namespace ng
