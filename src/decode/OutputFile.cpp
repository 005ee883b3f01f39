#include "decode/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/ContentHash.h"

namespace ng {

// One buffer of the usual size is kept for the thread's next file: a
// buffer this large comes fresh from the system each time otherwise, and
// its first use costs a page fault every 4 KB.
thread_local std::unique_ptr<unsigned char[]> OutputFile::t_spare;

OutputFile::~OutputFile() {
    Close();
    if (m_capacity == kBufferSize && !t_spare) {
        t_spare = std::move(m_buf);
    }
}

int OutputFile::Create(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno;
    }
    m_fd = fd;
    m_bOwned = true;
    return 0;
}

void OutputFile::Attach(int fd) {
    Close();
    m_fd = fd;
    m_bOwned = false;
}

unsigned char* OutputFile::ClaimMore(size_t n) {
    if (int error = Flush(); error != 0 && m_claimError == 0) {
        m_claimError = error;
    }
    // Only a single oversized piece (one very long base64 line) grows the
    // buffer, and then only to that piece's size.
    size_t wanted = std::max(n, kBufferSize);
    if (wanted > m_capacity) {
        m_buf = wanted == kBufferSize && t_spare
                    ? std::move(t_spare)
                    : std::make_unique_for_overwrite<unsigned char[]>(wanted);
        m_capacity = wanted;
    }
    return m_buf.get() + m_used;
}

int OutputFile::CommitMore(size_t n) {
    int earlier = std::exchange(m_claimError, 0);
    if (m_fd < 0) {
        return EBADF;
    }
    if (!m_direct) {
        uint64_t end = m_written + m_used + n;
        if (end <= m_reserved || Reserve(end)) {
            m_used += n;
            return earlier;
        }
        m_direct = true;
    }
    // Everything kept back lies in reserved room; a shortfall here is this
    // call's bytes not fitting.
    int error = WriteOut(m_buf.get(), m_used + n);
    m_used = 0;
    return earlier != 0 ? earlier : error;
}

int OutputFile::Flush() {
    // A flush inside Claim that failed is this flush's failure too: the
    // bytes it could not write were ours to write out.
    int earlier = std::exchange(m_claimError, 0);
    if (m_used == 0) {
        return earlier;
    }
    int error = m_fd >= 0 ? WriteOut(m_buf.get(), m_used) : EBADF;
    m_used = 0;
    return earlier != 0 ? earlier : error;
}

int OutputFile::Close() {
    if (m_fd < 0) {
        m_used = 0;
        return 0;
    }
    int error = std::exchange(m_claimError, 0);
    if (int flushError = Flush(); error == 0) {
        error = flushError;
    }
    // Room past the end is given back; there is none when the reservations
    // ended exactly at the last byte and none failed (a failed one may have
    // taken some room all the same).
    if (m_reserveTried && (m_direct || m_reserved != m_written) &&
        ::ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) {
        // Not fatal: the reserved blocks past the end only waste room, and
        // the file's size is right either way.
    }
    // Linux closes the descriptor even when close reports EINTR.
    if (m_bOwned && ::close(m_fd) != 0 && errno != EINTR && error == 0) {
        error = errno;
    }
    m_fd = -1;
    m_used = 0;
    m_written = 0;
    m_reserved = 0;
    m_direct = false;
    m_reserveTried = false;
    m_expected = 0;
    return error;
}

int OutputFile::WriteOut(const unsigned char* data, size_t n) {
    if (m_digest) {
        m_digest->Update(data, n);  // a failed write fails the file, hash and all
    }
    while (n > 0) {
        ssize_t done = ::write(m_fd, data, n);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (done == 0) {
            return EIO;
        }
        m_written += static_cast<uint64_t>(done);
        data += done;
        n -= static_cast<size_t>(done);
    }
    return 0;
}

bool OutputFile::Reserve(uint64_t end) {
    uint64_t wanted = std::max(end, m_reserved + kReserveStep);
    if (m_expected >= end && m_expected - end <= kMaxExpectedAhead) {
        wanted = m_expected;
    }
    m_reserveTried = true;
    int result;
    do {
        result = ::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(m_reserved),
                             static_cast<off_t>(wanted - m_reserved));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return false;
    }
    m_reserved = wanted;
    return true;
}

}  // namespace ng
