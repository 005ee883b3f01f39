#include "platform/ContentHash.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace ng {

namespace {

std::string HexOf(const unsigned char* digest, unsigned int length) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

}  // namespace

struct ContentDigest::Context {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

ContentDigest::ContentDigest() : m_context(new Context) {
    m_bFailed =
        !m_context->md || EVP_DigestInit_ex(m_context->md.get(), EVP_sha256(), nullptr) != 1;
}

ContentDigest::~ContentDigest() {
    delete m_context;
}

void ContentDigest::Update(const void* data, size_t size) {
    if (!m_bFailed && size > 0) {
        m_bFailed = EVP_DigestUpdate(m_context->md.get(), data, size) != 1;
    }
}

std::optional<std::string> ContentDigest::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (m_bFailed || EVP_DigestFinal_ex(m_context->md.get(), digest, &length) != 1) {
        m_bFailed = true;
        return std::nullopt;
    }
    m_bFailed = true;  // finished: nothing more adds to it
    return HexOf(digest, length);
}

std::string Sha256OfText(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    return HexOf(digest, length);
}

std::optional<std::string> Sha256OfFile(int fd) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    static thread_local unsigned char buffer[1 << 16];
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        if (EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(n)) != 1) {
            return std::nullopt;
        }
        at += n;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return std::nullopt;
    }
    return HexOf(digest, length);
}

}  // namespace ng
