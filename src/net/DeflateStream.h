#pragma once
// NNTP compression (RFC 8054, COMPRESS DEFLATE): raw deflate in both
// directions over another stream, from the byte after the server's 206.
// What is sent is flushed whole with every write, so a command never waits
// in the compressor; what is received is inflated into the caller's buffer,
// so a small compressed reply cannot expand past what the caller takes.

#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "net/ByteStream.h"

namespace ng {

class DeflateStream final : public ByteStream {
public:
    // `received` are bytes already read from the inner stream after the 206:
    // they are the start of the compressed stream.
    DeflateStream(std::unique_ptr<ByteStream> inner, std::string received);
    ~DeflateStream() override;
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    // A corrupt compressed stream fails the read with EPROTO.
    ssize_t Read(char* buffer, size_t size) override;
    ssize_t Write(const char* data, size_t size) override;
    int Flush() override;
    short Wants() const override { return m_wants; }

private:
    std::unique_ptr<ByteStream> m_inner;
    z_stream m_inflate{};
    z_stream m_deflate{};
    bool m_bReady = false;       // both zlib streams set up
    std::vector<char> m_in;      // compressed bytes read, not yet inflated
    size_t m_inUsed = 0;         // of m_in, inflated already
    size_t m_inFilled = 0;       // of m_in, read so far
    bool m_bOutputLeft = false;  // the last inflate may hold more output
    std::string m_out;           // compressed bytes not yet passed on
    size_t m_outSent = 0;
    short m_wants = 1;  // POLLIN
};

}  // namespace ng
