#pragma once
// The download log: one record per saved file, "path -> sender".

#include <string>

namespace ng {

// Appends outputPath + " -> " + from and a line end to the log at logPath,
// in one write; control characters are replaced (ShowableText), so a record
// stays one line. False, with the errno in *error, when the record could not
// be written (see AppendTextLine for what is refused).
[[nodiscard]] bool AppendDownloadLog(const std::string& logPath, const std::string& outputPath,
                                     const std::string& from, int* error = nullptr);

// Creates the log anew, empty. Nothing is reported on failure.
void ClearDownloadLog(const std::string& logPath);

}  // namespace ng
