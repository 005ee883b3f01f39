#pragma once
// Decodes the first uuencoded attachment of an article, fed line by line,
// into one file inside the folder given at construction.

#include <optional>
#include <string>
#include <string_view>

#include "decode/DecodeKernels.h"
#include "decode/OutputFile.h"

// What a begin line says: "begin", an octal mode, and a name.
struct UuBeginLine {
    int mode = 0;
    std::string_view firstWord;  // the first run of non-blank characters after the mode
    std::string_view rest;       // the rest of the line from there, without its line end
};

class CUUDecoder {
public:
    enum DecodeState { LookingForBegin = 0, DecodingData = 1, ExpectingEnd = 2, Finished = 3 };
    enum Result { LineTaken = 0, Failed = 1, Done = 2 };

    // Longest file name a begin line may carry, and longest path the name may
    // make with the folder; longer ones are refused like a file that cannot
    // be created.
    static constexpr size_t kMaxNameLength = 259;
    static constexpr size_t kMaxPathLength = 1023;

    // A line is a begin line when it reads as "begin %o %s": the word (in
    // lower case, at the start), blanks, an octal number, blanks, a name.
    static std::optional<UuBeginLine> ParseBeginLine(std::string_view line);

    // The file is created in `directory`, named by the begin line's first
    // word; `directory` is used as a prefix: it ends with its separator ("/").
    explicit CUUDecoder(std::string directory);
    // The data goes into a file opened elsewhere (left open), whatever the
    // begin line names.
    explicit CUUDecoder(int outputFd);
    // The bytes written also go into `digest` (see OutputFile::HashInto).
    void HashInto(ng::ContentDigest* digest) { m_out.HashInto(digest); }
    ~CUUDecoder();
    CUUDecoder(const CUUDecoder&) = delete;
    CUUDecoder& operator=(const CUUDecoder&) = delete;

    // One line as received, its "\r\n" included or not. A line ends at its
    // first NUL byte, as a C string would.
    int DecodeLine(std::string_view line);
    // Writes out what is still buffered and closes the output (the
    // destructor does too, but cannot report). 0, or the errno of the
    // failure, which also raises m_bFileError.
    int Close();

    int m_nDecodeState = LookingForBegin;
    int m_hFile = -1;  // output file descriptor while open; -1 when none
    int m_nMode = 0;   // permission number of the begin line; kept, not used
    // The name read from the begin line; once the file is created, the name
    // it was created under (the part after any '/'), so that
    // m_strDirectory + m_szFileName is its path.
    std::string m_szFileName;
    std::string m_strDirectory;
    int m_bFileError = 0;  // output could not be created or a write fell short
    // Why m_bFileError was set: the errno of the failed create or write, or
    // EINVAL for a name that was refused. 0 while m_bFileError is clear.
    int m_nFileErrno = 0;

private:
    int FindBegin(std::string_view line);
    int DecodeDataLine(std::string_view line);
    int CheckEnd(std::string_view line);
    // Ends decoding after a failure; `error` != 0 also raises m_bFileError.
    int Fail(int error);

    int m_nOutputFd = -1;
    const ng::decode::Kernels* m_kernels;
    ng::OutputFile m_out;
};
