#pragma once
// Decodes standard base64 text (RFC 2045 alphabet) into one file, as a
// stream: a group of four characters may be split across lines, and every
// character outside the alphabet is skipped.

#include <cstdint>
#include <string>

#include "decode/DecodeKernels.h"
#include "decode/OutputFile.h"

class CBase64Decoder {
public:
    CBase64Decoder();
    ~CBase64Decoder();
    CBase64Decoder(const CBase64Decoder&) = delete;
    CBase64Decoder& operator=(const CBase64Decoder&) = delete;

    // Creates (or empties) the file. 0 on success, -1 on failure.
    int Open(const std::string& path);
    // Writes into a file opened elsewhere, which Close leaves open.
    void Attach(int fd);
    // The bytes written also go into `digest` (see OutputFile::HashInto).
    void HashInto(ng::ContentDigest* digest) { m_out.HashInto(digest); }
    // Decodes `length` characters of `text` and appends the bytes to the
    // file. The number of bytes written, or -1 when the write failed or no
    // file is open. Every byte the text yields is written: the output room
    // is sized to the call, never refused.
    int DecodeAndWrite(const char* text, int length);
    // The decoding step: bytes produced into `output`, or -1 when they would
    // not fit in `capacity`.
    int Decode(const char* source, int sourceLength, unsigned char* output, int capacity);
    // Closes the file (also done by the destructor). 0, or -1 when the close failed.
    int Close();

    int m_hFile = -1;  // output file descriptor; -1 when none is open
    char m_quantum[4] = {0, 0, 0, 0};
    int m_nQuantum = 0;
    // errno of the last failed open or write; a write without an open file
    // keeps the open's errno (EBADF when there was none).
    int m_nFileErrno = 0;

private:
    // Decode, where the output may take `writable` bytes (at least
    // `capacity`): the room past the capacity is only scribbled on by the
    // vector stores, never handed out.
    int DecodeInto(const char* source, int sourceLength, unsigned char* output, int64_t capacity,
                   int64_t writable);

    const ng::decode::Kernels* m_kernels;
    // Decoded bytes go straight into the file's own buffer: no scratch
    // buffer per line.
    ng::OutputFile m_out;
};
