#include "support/ProtectedServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include "support/Loopback.h"

namespace ngtest {

// One connection's layers: the socket, TLS over it, compression over that.
class ProtectedServer::Connection {
public:
    explicit Connection(int fd) : m_fd(fd) {}
    ~Connection() {
        if (m_ssl) {
            SSL_free(m_ssl);
        }
        if (m_ctx) {
            SSL_CTX_free(m_ctx);
        }
        if (m_bCompressing) {
            inflateEnd(&m_in);
            deflateEnd(&m_out);
        }
    }

    bool StartTls(const std::string& chain, const std::string& key) {
        m_ctx = SSL_CTX_new(TLS_server_method());
        if (!m_ctx || SSL_CTX_use_certificate_chain_file(m_ctx, chain.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(m_ctx, key.c_str(), SSL_FILETYPE_PEM) != 1) {
            return false;
        }
        m_ssl = SSL_new(m_ctx);
        SSL_set_fd(m_ssl, m_fd);
        bool accepted = SSL_accept(m_ssl) == 1;  // a client that refuses the certificate ends here
        ERR_clear_error();
        return accepted;
    }

    void StartCompression() {
        inflateInit2(&m_in, -MAX_WBITS);
        deflateInit2(&m_out, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        m_bCompressing = true;
    }

    // The next command line without its line end; false when the client went.
    bool ReadLine(std::string& line) {
        for (;;) {
            size_t lf = m_text.find('\n');
            if (lf != std::string::npos) {
                line = m_text.substr(0, lf);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                m_text.erase(0, lf + 1);
                return true;
            }
            char raw[16384];
            ssize_t got = RawRead(raw, sizeof raw);
            if (got <= 0) {
                return false;
            }
            if (!m_bCompressing) {
                m_text.append(raw, static_cast<size_t>(got));
                continue;
            }
            m_in.next_in = reinterpret_cast<Bytef*>(raw);
            m_in.avail_in = static_cast<uInt>(got);
            do {
                char plain[16384];
                m_in.next_out = reinterpret_cast<Bytef*>(plain);
                m_in.avail_out = sizeof plain;
                if (inflate(&m_in, Z_SYNC_FLUSH) == Z_DATA_ERROR) {
                    return false;
                }
                m_text.append(plain, sizeof plain - m_in.avail_out);
            } while (m_in.avail_out == 0);
        }
    }

    void Write(const std::string& text) {
        if (!m_bCompressing) {
            RawWrite(text.data(), text.size());
            return;
        }
        m_out.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        m_out.avail_in = static_cast<uInt>(text.size());
        do {
            char packed[16384];
            m_out.next_out = reinterpret_cast<Bytef*>(packed);
            m_out.avail_out = sizeof packed;
            deflate(&m_out, Z_SYNC_FLUSH);
            RawWrite(packed, sizeof packed - m_out.avail_out);
        } while (m_out.avail_out == 0);
    }
    void WriteRaw(const std::string& bytes) { RawWrite(bytes.data(), bytes.size()); }
    bool Secure() const { return m_ssl != nullptr; }

private:
    ssize_t RawRead(char* buffer, size_t size) {
        if (m_ssl) {
            int got = SSL_read(m_ssl, buffer, static_cast<int>(size));
            return got > 0 ? got : -1;
        }
        return ::recv(m_fd, buffer, size, 0);
    }
    void RawWrite(const char* data, size_t size) {
        while (size > 0) {
            ssize_t sent = m_ssl ? SSL_write(m_ssl, data, static_cast<int>(size))
                                 : ::send(m_fd, data, size, MSG_NOSIGNAL);
            if (sent <= 0) {
                return;
            }
            data += sent;
            size -= static_cast<size_t>(sent);
        }
    }

    int m_fd;
    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    bool m_bCompressing = false;
    z_stream m_in{};
    z_stream m_out{};
    std::string m_text;
};

ProtectedServer::ProtectedServer(Script script, std::chrono::milliseconds lifetime)
    : m_script(std::move(script)), m_until(std::chrono::steady_clock::now() + lifetime) {
    m_listen = BindLoopback(m_port, 4);
    if (m_listen >= 0) {
        m_thread = std::thread([this] { Run(); });
    }
}

ProtectedServer::~ProtectedServer() {
    m_bStop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listen >= 0) {
        ::close(m_listen);
    }
}

std::vector<std::string> ProtectedServer::Commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

void ProtectedServer::Record(const std::string& command) {
    std::lock_guard lock(m_mutex);
    m_commands.push_back(command);
}

void ProtectedServer::Run() {
    while (!m_bStop && std::chrono::steady_clock::now() < m_until) {
        pollfd entry{m_listen, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        int fd = ::accept(m_listen, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        // A client that goes quiet must not hold the server past its lifetime.
        timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        Serve(fd);
        ::close(fd);
    }
}

void ProtectedServer::Serve(int fd) {
    Connection connection(fd);
    if (m_script.tlsFirst && !connection.StartTls(m_script.chain, m_script.key)) {
        return;
    }
    connection.Write("200 protected test server ready\r\n");
    std::string line;
    while (!m_bStop && connection.ReadLine(line)) {
        Record(line);
        if (line == "CAPABILITIES") {
            std::string list = "101 Capability list:\r\nVERSION 2\r\nREADER\r\n";
            if (m_script.offerStartTls && !connection.Secure()) {
                list += "STARTTLS\r\n";
            }
            if (m_script.offerCompress) {
                list += "COMPRESS DEFLATE\r\n";
            }
            connection.Write(list + ".\r\n");
        } else if (line == "STARTTLS") {
            connection.Write(m_script.startTlsReply);
            if (m_script.startTlsReply.starts_with("382") &&
                !connection.StartTls(m_script.chain, m_script.key)) {
                return;
            }
        } else if (line == "COMPRESS DEFLATE") {
            connection.Write("206 Compression active\r\n");
            if (!m_script.afterCompress.empty()) {
                connection.WriteRaw(m_script.afterCompress);
                return;
            }
            connection.StartCompression();
        } else if (line == "QUIT") {
            return;
        } else {
            connection.Write(m_script.answer ? m_script.answer(line) : "500 what?\r\n");
        }
    }
}

}  // namespace ngtest
