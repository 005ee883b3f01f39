#pragma once
// What the line connection reads and writes through: the socket itself, or
// a layer over it (TLS, compression). Every call is non-blocking: one that
// cannot go on now fails with EAGAIN, and Wants() says which readiness of
// the socket it waits for (a TLS layer may need to write in order to read).

#include <sys/types.h>

#include <memory>

namespace ng {

class ByteStream {
public:
    virtual ~ByteStream() = default;

    // Bytes read (> 0); 0 when the peer closed; -1 with errno (EAGAIN: wait
    // for Wants(), any other: the connection failed).
    virtual ssize_t Read(char* buffer, size_t size) = 0;
    // Bytes taken (> 0), or -1 with errno as for Read. Bytes a layer takes
    // but cannot pass on yet go out with the next Write or Flush.
    virtual ssize_t Write(const char* data, size_t size) = 0;
    // Sends what the layer still holds: 0 when all is out, -1 with errno
    // (EAGAIN: more to send once the socket allows).
    virtual int Flush() { return 0; }
    // The poll events the last EAGAIN waits for.
    virtual short Wants() const = 0;
};

// The socket itself (not owned: the connection closes it).
std::unique_ptr<ByteStream> MakeSocketStream(int fd);

}  // namespace ng
