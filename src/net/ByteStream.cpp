#include "net/ByteStream.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace ng {

namespace {

class SocketStream final : public ByteStream {
public:
    explicit SocketStream(int fd) : m_fd(fd) {}

    ssize_t Read(char* buffer, size_t size) override {
        ssize_t got;
        do {
            got = ::recv(m_fd, buffer, size, 0);
        } while (got < 0 && errno == EINTR);
        m_wants = POLLIN;
        return got;
    }

    ssize_t Write(const char* data, size_t size) override {
        ssize_t sent;
        do {
            sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        m_wants = POLLOUT;
        return sent;
    }

    short Wants() const override { return m_wants; }

private:
    int m_fd;
    short m_wants = POLLIN;
};

}  // namespace

std::unique_ptr<ByteStream> MakeSocketStream(int fd) {
    return std::make_unique<SocketStream>(fd);
}

}  // namespace ng
