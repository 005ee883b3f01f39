#pragma once
// TLS over the connection's socket (OpenSSL). The certificate is checked
// against the system's trusted roots (SSL_CERT_FILE and SSL_CERT_DIR work as
// usual) and an extra file of the user's, and must name the host; or, when
// the user said so, is not checked at all.

#include <memory>
#include <string>

#include "net/ByteStream.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace ng {

struct TlsOptions {
    std::string host;    // the name (or address) the certificate must carry
    bool verify = true;  // false: any certificate is accepted
    std::string caFile;  // PEM certificates trusted besides the system's; may be empty
};

class TlsStream final : public ByteStream {
public:
    // A client over `fd` (not owned). nullptr, with `problem` said, when it
    // cannot be set up (a CA file that cannot be read, say).
    static std::unique_ptr<TlsStream> Create(int fd, const TlsOptions& options,
                                             std::string& problem);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // One step of the handshake: 1 when done, 0 to wait for Wants(), -1
    // when it failed; then Problem() says why in the user's words
    // ("certificate not trusted", "host name does not match", ...).
    int Handshake();
    const std::string& Problem() const { return m_strProblem; }
    // The certificate was checked (and passed).
    bool Verified() const { return m_bVerify; }

    ssize_t Read(char* buffer, size_t size) override;
    ssize_t Write(const char* data, size_t size) override;
    short Wants() const override { return m_wants; }

private:
    TlsStream() = default;
    // Maps an OpenSSL result to errno and Wants(); -1 always.
    ssize_t Failed(int result);

    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    bool m_bVerify = true;
    std::string m_strProblem;
    short m_wants = 1;  // POLLIN
};

}  // namespace ng
