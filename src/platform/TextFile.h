#pragma once
// Text files as the program keeps them: lines written ending in LF, read back
// without their LF and without a CR before it, so lists written with CR LF
// line ends still load. Lists are replaced whole through a temporary file and
// a rename, so a crash or a full disk never leaves half a list.

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

// Splits text into lines: each LF ends a line (a CR before it is dropped);
// text after the last LF is one more line. Empty lines are kept; NUL bytes
// are kept as they are. A UTF-8 byte order mark at the start is dropped.
std::vector<std::string> SplitTextLines(std::string_view text);

// The text without the byte order marks some editors put first: every one,
// so that a file saved with two does not read differently once written back.
std::string_view WithoutByteOrderMarks(std::string_view text);

// Reads a whole file. False when it cannot be opened or read, errno kept; a
// file that is not a regular one (a FIFO, a device, a folder) is never read
// or waited on: EINVAL (EISDIR for a folder).
bool ReadWholeFile(const std::string& path, std::string& contents);

// Reads every line of a text file. False when the file cannot be opened.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines);

// Hands each line of a text file to onLine as it is read (a view valid for
// the call), holding no more than one line and a buffer: for lists whose
// file may be far larger than what is kept of it. Lines as SplitTextLines
// makes them; the same refusals as ReadWholeFile.
bool ForEachTextLine(const std::string& path, const std::function<void(std::string_view)>& onLine);

// How a replaced file reaches the disk. Durable: flushed, and the rename
// too, before the call returns. Atomic: old or new whole after the program
// dies, without waiting for the disk; for saves on the way whose last one
// is durable.
enum class Durability { Durable, Atomic };

// Replaces the file with the bytes given: they go to a temporary file beside
// it, which is (when durable) flushed to disk and then renamed over the old
// one. On failure the old file stays as it was, the temporary is removed,
// and *error (when given) receives the errno. New files get `mode` less the
// umask.
[[nodiscard]] bool ReplaceFileContents(const std::string& path, std::string_view contents,
                                       int* error = nullptr, mode_t mode = 0666,
                                       Durability durability = Durability::Durable);

// Replaces the file with the lines given, each followed by LF.
[[nodiscard]] bool ReplaceTextFile(const std::string& path, const std::vector<std::string>& lines,
                                   int* error = nullptr, mode_t mode = 0666,
                                   Durability durability = Durability::Durable);

// Appends one line and its LF to the file in a single write, creating the
// file when it is missing and never emptying it. Never writes through a link
// or into a file with other hard links (ELOOP, EMLINK), and never into what
// is not a regular file (EINVAL).
[[nodiscard]] bool AppendTextLine(const std::string& path, std::string_view line,
                                  int* error = nullptr);

// Creates the file anew, empty (truncating an existing one), with the same
// refusals as AppendTextLine.
[[nodiscard]] bool CreateEmptyFile(const std::string& path, int* error = nullptr);

// What a path names after following its links (the path itself when it is
// no link); for replacing a file kept as a link without breaking the link.
std::string LinkTarget(const std::string& path);

// The refusals of AppendTextLine and CreateEmptyFile: a link (ELOOP), a file
// with other names (EMLINK), not a regular file (EINVAL, or ENXIO for a FIFO
// nobody reads).
bool IsRefusedFile(int error);

// ENOSPC and EDQUOT: the disk or the directory is full.
bool IsDiskFullError(int error);

// True when the path names a directory the process could enter.
bool CanEnterDirectory(const std::string& path);

}  // namespace ng
