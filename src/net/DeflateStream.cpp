#include "net/DeflateStream.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace ng {

namespace {

constexpr size_t kInChunk = 64 * 1024;

}  // namespace

DeflateStream::DeflateStream(std::unique_ptr<ByteStream> inner, std::string received)
    : m_inner(std::move(inner)), m_in(std::max(kInChunk, received.size())), m_wants(POLLIN) {
    std::copy(received.begin(), received.end(), m_in.begin());
    m_inFilled = received.size();
    // Raw deflate (negative window bits): no zlib header either way.
    bool inflateReady = inflateInit2(&m_inflate, -MAX_WBITS) == Z_OK;
    bool deflateReady = deflateInit2(&m_deflate, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                                     Z_DEFAULT_STRATEGY) == Z_OK;
    m_bReady = inflateReady && deflateReady;
    if (!inflateReady) {
        m_inflate.state = nullptr;
    }
    if (!deflateReady) {
        m_deflate.state = nullptr;
    }
}

DeflateStream::~DeflateStream() {
    if (m_inflate.state) {
        inflateEnd(&m_inflate);
    }
    if (m_deflate.state) {
        deflateEnd(&m_deflate);
    }
}

ssize_t DeflateStream::Read(char* buffer, size_t size) {
    if (!m_bReady) {
        errno = ENOMEM;
        return -1;
    }
    for (;;) {
        if (m_inUsed < m_inFilled || m_bOutputLeft) {
            m_inflate.next_in = reinterpret_cast<Bytef*>(m_in.data() + m_inUsed);
            m_inflate.avail_in = static_cast<uInt>(m_inFilled - m_inUsed);
            m_inflate.next_out = reinterpret_cast<Bytef*>(buffer);
            m_inflate.avail_out = static_cast<uInt>(size);
            int rc = inflate(&m_inflate, Z_SYNC_FLUSH);
            m_inUsed = m_inFilled - m_inflate.avail_in;
            const size_t produced = size - m_inflate.avail_out;
            if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
                errno = EPROTO;  // a corrupt stream: the connection cannot go on
                return -1;
            }
            m_bOutputLeft = produced == size;
            if (produced > 0) {
                return static_cast<ssize_t>(produced);
            }
            if (rc == Z_STREAM_END) {
                return 0;  // the server ended its compressed stream: nothing more comes
            }
        }
        ssize_t got = m_inner->Read(m_in.data(), m_in.size());
        if (got <= 0) {
            m_wants = m_inner->Wants();
            return got;
        }
        m_inUsed = 0;
        m_inFilled = static_cast<size_t>(got);
    }
}

ssize_t DeflateStream::Write(const char* data, size_t size) {
    if (!m_bReady) {
        errno = ENOMEM;
        return -1;
    }
    m_deflate.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_deflate.avail_in = static_cast<uInt>(size);
    // A sync flush puts every byte of the command on the wire now.
    do {
        char chunk[4096];
        m_deflate.next_out = reinterpret_cast<Bytef*>(chunk);
        m_deflate.avail_out = sizeof chunk;
        if (deflate(&m_deflate, Z_SYNC_FLUSH) == Z_STREAM_ERROR) {
            errno = EPROTO;
            return -1;
        }
        m_out.append(chunk, sizeof chunk - m_deflate.avail_out);
    } while (m_deflate.avail_out == 0);
    if (Flush() != 0 && errno != EAGAIN) {
        return -1;
    }
    return static_cast<ssize_t>(size);  // taken; what is left goes out with Flush
}

int DeflateStream::Flush() {
    while (m_outSent < m_out.size()) {
        ssize_t sent = m_inner->Write(m_out.data() + m_outSent, m_out.size() - m_outSent);
        if (sent < 0) {
            m_wants = m_inner->Wants();
            return -1;
        }
        m_outSent += static_cast<size_t>(sent);
    }
    m_out.clear();
    m_outSent = 0;
    return 0;
}

}  // namespace ng
