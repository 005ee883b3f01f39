#pragma once
// The download log: one record per saved file, "path -> sender".

#include <string>

namespace ng {

// Appends outputPath + " -> " + from and a line end to the log at logPath,
// in one write; a line break inside becomes a blank so a record stays one
// line. A log that cannot be opened loses the record silently.
void AppendDownloadLog(const std::string& logPath, const std::string& outputPath,
                       const std::string& from);

// Creates the log anew, empty. Nothing is reported on failure.
void ClearDownloadLog(const std::string& logPath);

}  // namespace ng
