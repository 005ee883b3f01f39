#include "net/TlsStream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace ng {

namespace {

bool IsAddress(const std::string& host) {
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string LastOpenSslError() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return {};
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// What a failed check means to the user.
std::string VerifyProblem(long result) {
    switch (result) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "host name does not match";
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return std::string("certificate not trusted (") +
                   X509_verify_cert_error_string(result) + ")";
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "certificate expired";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "certificate not yet valid";
        default:
            return std::string("certificate not accepted (") +
                   X509_verify_cert_error_string(result) + ")";
    }
}

// A socket BIO of our own: OpenSSL's writes with write(), and a server that
// hangs up mid-handshake would kill the program with SIGPIPE.
int BioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t sent;
    do {
        sent = ::send(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<size_t>(size),
                      MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int BioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t got;
    do {
        got = ::recv(static_cast<int>(BIO_get_fd(bio, nullptr)), buffer, static_cast<size_t>(size),
                     0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        BIO_set_retry_read(bio);
    } else if (got == 0) {
        // The end of the stream, as the stock method marks it: OpenSSL then
        // reports a hang-up without a closing alert as such.
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    }
    return static_cast<int>(got);
}

BIO* NewSocketBio(int fd) {
    static BIO_METHOD* method = [] {
        // The stock socket method for everything but the reads and writes.
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "newsgleaner socket");
        const BIO_METHOD* stock = BIO_s_socket();
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(stock));
        BIO_meth_set_create(m, BIO_meth_get_create(stock));
        BIO_meth_set_destroy(m, BIO_meth_get_destroy(stock));
        return m;
    }();
    BIO* bio = BIO_new(method);
    if (bio) {
        BIO_set_fd(bio, fd, BIO_NOCLOSE);
    }
    return bio;
}

}  // namespace

std::unique_ptr<TlsStream> TlsStream::Create(int fd, const TlsOptions& options,
                                             std::string& problem) {
    std::unique_ptr<TlsStream> stream(new TlsStream);
    stream->m_bVerify = options.verify;
    stream->m_ctx = SSL_CTX_new(TLS_client_method());
    if (!stream->m_ctx) {
        problem = "TLS cannot start (" + LastOpenSslError() + ")";
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(stream->m_ctx, TLS1_2_VERSION);
    if (options.verify) {
        SSL_CTX_set_verify(stream->m_ctx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(stream->m_ctx);
        if (!options.caFile.empty() &&
            SSL_CTX_load_verify_locations(stream->m_ctx, options.caFile.c_str(), nullptr) != 1) {
            problem = "cannot read the certificate file " + options.caFile;
            ERR_clear_error();
            return nullptr;
        }
    } else {
        SSL_CTX_set_verify(stream->m_ctx, SSL_VERIFY_NONE, nullptr);
    }
    stream->m_ssl = SSL_new(stream->m_ctx);
    BIO* bio = stream->m_ssl ? NewSocketBio(fd) : nullptr;
    if (!bio) {
        problem = "TLS cannot start (" + LastOpenSslError() + ")";
        return nullptr;
    }
    SSL_set_bio(stream->m_ssl, bio, bio);
    SSL_set_mode(stream->m_ssl,
                 SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    const bool address = IsAddress(options.host);
    if (!address) {
        SSL_set_tlsext_host_name(stream->m_ssl, options.host.c_str());
    }
    if (options.verify) {
        X509_VERIFY_PARAM* param = SSL_get0_param(stream->m_ssl);
        int set = address ? X509_VERIFY_PARAM_set1_ip_asc(param, options.host.c_str())
                          : SSL_set1_host(stream->m_ssl, options.host.c_str());
        if (set != 1) {
            problem = "TLS cannot check the name " + options.host;
            ERR_clear_error();
            return nullptr;
        }
    }
    return stream;
}

TlsStream::~TlsStream() {
    if (m_ssl) {
        SSL_free(m_ssl);
    }
    if (m_ctx) {
        SSL_CTX_free(m_ctx);
    }
}

int TlsStream::Handshake() {
    ERR_clear_error();
    int rc = SSL_connect(m_ssl);
    if (rc == 1) {
        return 1;
    }
    int error = SSL_get_error(m_ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_wants = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        return 0;
    }
    long verify = SSL_get_verify_result(m_ssl);
    if (m_bVerify && verify != X509_V_OK) {
        m_strProblem = VerifyProblem(verify);
    } else {
        std::string detail = LastOpenSslError();
        m_strProblem = "TLS handshake failed" + (detail.empty() ? "" : " (" + detail + ")");
    }
    return -1;
}

ssize_t TlsStream::Failed(int result) {
    switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
            m_wants = POLLIN;
            errno = EAGAIN;
            break;
        case SSL_ERROR_WANT_WRITE:
            m_wants = POLLOUT;
            errno = EAGAIN;
            break;
        case SSL_ERROR_SYSCALL:
            if (errno == 0) {
                errno = ECONNRESET;
            }
            break;
        default:
            errno = EPROTO;
            break;
    }
    ERR_clear_error();
    return -1;
}

ssize_t TlsStream::Read(char* buffer, size_t size) {
    ERR_clear_error();
    size_t got = 0;
    int rc = SSL_read_ex(m_ssl, buffer, size, &got);
    if (rc == 1) {
        return static_cast<ssize_t>(got);
    }
    int error = SSL_get_error(m_ssl, rc);
    // Servers often hang up without a closing alert: that is a close too.
    if (error == SSL_ERROR_ZERO_RETURN ||
        (error == SSL_ERROR_SSL &&
         ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)) {
        ERR_clear_error();
        return 0;
    }
    return Failed(rc);
}

ssize_t TlsStream::Write(const char* data, size_t size) {
    ERR_clear_error();
    size_t written = 0;
    int rc = SSL_write_ex(m_ssl, data, size, &written);
    if (rc == 1) {
        return static_cast<ssize_t>(written);
    }
    return Failed(rc);
}

}  // namespace ng
