#pragma once
// Decodes the first uuencoded attachment of an article, fed line by line,
// into one file inside the folder given at construction.

#include <string>
#include <string_view>

class CUUDecoder {
public:
    enum DecodeState { LookingForBegin = 0, DecodingData = 1, ExpectingEnd = 2, Finished = 3 };
    enum Result { LineTaken = 0, Failed = 1, Done = 2 };

    // `directory` is used as a prefix: it ends with its separator ("/").
    explicit CUUDecoder(std::string directory);
    virtual ~CUUDecoder();
    CUUDecoder(const CUUDecoder&) = delete;
    CUUDecoder& operator=(const CUUDecoder&) = delete;

    // One line as received, its "\r\n" included or not. A line ends at its
    // first NUL byte, as a C string would.
    int DecodeLine(std::string_view line);

    int m_nDecodeState = LookingForBegin;
    int m_hFile = -1;  // output file descriptor while open; -1 when none
    int m_nMode = 0;   // permission number of the begin line; kept, not used
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
};
