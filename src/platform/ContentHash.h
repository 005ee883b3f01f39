#pragma once
// A picture's identity by content: the SHA-256 of its bytes, from OpenSSL's
// libcrypto (a hash every distribution keeps up to date, rather than one of
// our own).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ng {

// The SHA-256 of bytes handed over piece by piece, as they are written, so
// that a saved file need not be read back for its hash.
class ContentDigest {
public:
    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    void Update(const void* data, size_t size);
    // The hash of everything handed over, as 64 lower-case hex digits;
    // nullopt when the library failed. Ends the digest.
    std::optional<std::string> Finish();

private:
    struct Context;
    Context* m_context;
    bool m_bFailed = false;
};

// The SHA-256 of everything in the open file `fd`, read from its start
// (the file position is left alone), as 64 lower-case hex digits. nullopt
// when the file cannot be read.
std::optional<std::string> Sha256OfFile(int fd);

// The SHA-256 of a text, as 64 lower-case hex digits.
std::string Sha256OfText(std::string_view text);

}  // namespace ng
