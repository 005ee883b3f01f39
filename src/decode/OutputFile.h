#pragma once
// The decoders' output file: raw bytes through open/write/close, buffered so
// that a large attachment costs a few system calls per megabyte instead of
// one per line.
//
// Buffering must not hide a full disk: the decoders report a short write on
// the very line whose bytes do not fit. So bytes are only kept back while
// the file system has already allocated room for them (fallocate with
// FALLOC_FL_KEEP_SIZE, in steps of kReserveStep); writing reserved room
// cannot fail for lack of space. When room cannot be reserved (full disk,
// quota, or a file system or device without fallocate) the buffered bytes
// are written out and every later Commit writes at once, so its result is
// exact. Room reserved beyond the last byte is given back on Close. Should
// writing reserved room fail all the same (an I/O error, a file system that
// does not keep its promise), the call that writes it out reports it, still
// no later than the Flush or Close that ends the file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ng {

class ContentDigest;

class OutputFile {
public:
    static constexpr size_t kBufferSize = 128 * 1024;
    static constexpr uint64_t kReserveStep = 256 * 1024;
    // The most an expected size reserves beyond the bytes being written.
    static constexpr uint64_t kMaxExpectedAhead = 16 * 1024 * 1024;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or empties the file (mode 0666 less the umask), closing any
    // file open before. 0, or the errno of the failed open.
    int Create(const std::string& path);
    // Writes into a file opened elsewhere, which Close leaves open.
    void Attach(int fd);
    // Every byte written from now on (in whichever file) also goes into
    // `digest` (none: nullptr), while it is still in the buffer.
    void HashInto(ContentDigest* digest) { m_digest = digest; }
    // The file is expected to hold `bytes` (a yEnc header's size): room for
    // that much is reserved in one step, and none is left to give back when
    // it was right. A wrong size costs only a step more, or room given back
    // on Close; a size far beyond what is written so far is not trusted.
    void ExpectSize(uint64_t bytes) { m_expected = bytes; }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // Room for `n` bytes that the caller fills and then hands over with
    // Commit. Valid until the next Claim, Commit, Flush or Close.
    unsigned char* Claim(size_t n) {
        // Called for every line: the common case stays inline.
        return m_used + n <= m_capacity ? m_buf.get() + m_used : ClaimMore(n);
    }
    // Hands over the first `n` bytes of the last Claim. 0 when they are
    // written or certain to be; otherwise the errno of the write that fell
    // short (EBADF when no file is open). After a failure the file holds
    // every byte that fitted, in order.
    int Commit(size_t n) {
        if (m_claimError == 0 && m_fd >= 0 && !m_direct && m_written + m_used + n <= m_reserved) {
            m_used += n;  // inside reserved room: kept back without a call
            return 0;
        }
        return CommitMore(n);
    }
    // Writes out what is kept back. 0 or errno (also that of a failed
    // write inside an earlier Claim); the kept bytes are dropped either way.
    int Flush();
    // Flushes, gives back unused reserved room and closes (an attached file
    // stays open). 0 or the errno of the first failure. Nothing to do when no
    // file is open.
    int Close();

    // Bytes the file holds so far (written, not counting what is kept back).
    uint64_t Written() const { return m_written; }

private:
    unsigned char* ClaimMore(size_t n);
    int CommitMore(size_t n);
    int WriteOut(const unsigned char* data, size_t n);
    bool Reserve(uint64_t end);

    int m_fd = -1;
    bool m_bOwned = false;
    ContentDigest* m_digest = nullptr;
    std::unique_ptr<unsigned char[]> m_buf;
    static thread_local std::unique_ptr<unsigned char[]> t_spare;
    size_t m_capacity = 0;
    size_t m_used = 0;
    uint64_t m_written = 0;
    uint64_t m_reserved = 0;  // room allocated for the file up to this offset
    uint64_t m_expected = 0;  // ExpectSize's, 0 when none
    bool m_direct = false;    // no more reservations: write on every Commit
    bool m_reserveTried = false;
    int m_claimError = 0;  // a flush inside Claim failed; reported by the next Commit
};

}  // namespace ng
