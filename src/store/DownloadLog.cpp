#include "store/DownloadLog.h"

#include "platform/TextFile.h"

namespace ng {

void AppendDownloadLog(const std::string& logPath, const std::string& outputPath,
                       const std::string& from) {
    std::string record;
    record.reserve(outputPath.size() + 4 + from.size());
    record.append(outputPath).append(" -> ").append(from);
    // The sender comes from the server: a line break in it must not split
    // the record or forge a second one.
    for (char& c : record) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    AppendTextLine(logPath, record);
}

void ClearDownloadLog(const std::string& logPath) {
    CreateEmptyFile(logPath);
}

}  // namespace ng
