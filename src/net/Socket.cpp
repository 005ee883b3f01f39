#include "net/Socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "net/DeflateStream.h"
#include "platform/Sync.h"

namespace {

// Large reads: nothing depends on the chunk size, and a pass moves a lot of
// text through here.
constexpr size_t kReceiveChunk = 64 * 1024;
// The receive buffer's size to start with; lines are handed out from it.
constexpr size_t kReceiveBuffer = 256 * 1024;
// The longest a wait goes without looking at the stop flag.
constexpr std::chrono::milliseconds kWaitSlice{200};

struct AddressList {
    addrinfo* head = nullptr;
    AddressList() = default;
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    ~AddressList() {
        if (head) {
            ::freeaddrinfo(head);
        }
    }
};

// A name lookup runs on a helper thread so that a stop or the time limit
// can abandon it; the thread cleans up after itself whenever it ends.
struct LookupJob {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    AddressList result;
};

enum class LookupResult { Found, NotFound, Stopped };

LookupResult Lookup(const std::string& host, int port, const std::atomic<bool>* stop,
                    ng::PauseGate* pause, std::chrono::milliseconds timeout, AddressList& out) {
    const std::string service = std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    // Addresses need no lookup and cannot hang.
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &out.head) == 0) {
        return LookupResult::Found;
    }
    out.head = nullptr;

    auto job = std::make_shared<LookupJob>();
    std::thread([job, host, service] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) {
            found = nullptr;
        }
        std::lock_guard lock(job->mutex);
        job->result.head = found;
        job->done = true;
        job->finished.notify_all();
    }).detach();

    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(job->mutex);
    while (!job->done) {
        if (pause && pause->IsPaused()) {
            lock.unlock();
            pause->WaitWhilePaused();
            deadline = std::chrono::steady_clock::now() + timeout;
            lock.lock();
            continue;
        }
        if (stop && *stop) {
            return LookupResult::Stopped;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return LookupResult::NotFound;
        }
        job->finished.wait_for(lock, kWaitSlice);
    }
    std::swap(out.head, job->result.head);
    return out.head ? LookupResult::Found : LookupResult::NotFound;
}

}  // namespace

CNewsSocket::CNewsSocket(bool create) {
    if (!create) {
        return;
    }
    if (CreateSocket(AF_INET) || (errno == EAFNOSUPPORT && CreateSocket(AF_INET6))) {
        m_nState = Idle;
    } else {
        RecordError(errno);
    }
}

CNewsSocket::~CNewsSocket() {
    CloseSocket();
}

void CNewsSocket::SetInterrupt(const std::atomic<bool>* stop, ng::PauseGate* pause) {
    m_pStop = stop;
    m_pPause = pause;
}

void CNewsSocket::SetReadTimeout(std::chrono::milliseconds timeout) {
    m_readTimeout = timeout.count() > 0 ? timeout : std::chrono::milliseconds(kDefaultReadTimeout);
}

size_t CNewsSocket::PendingSendBytes() const {
    size_t total = 0;
    for (const auto& text : m_sendQueue) {
        total += text.size();
    }
    return total - m_nSentOfHead;
}

bool CNewsSocket::CreateSocket(int family) {
    CloseSocket();
    m_fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return false;
    }
    // Commands go out whole; holding them back for coalescing only adds delay.
    int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_nFamily = family;
    m_bFresh = true;
    return true;
}

void CNewsSocket::CloseSocket() {
    m_stream.reset();  // a TLS layer still refers to the socket
    m_bStreamHolds = false;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_bFresh = false;
}

int CNewsSocket::RecordError(int code) {
    m_nState = Failed;
    m_nLastError = code;
    return code;
}

bool CNewsSocket::ParkWhilePaused() {
    return m_pPause && m_pPause->WaitWhilePaused();
}

bool CNewsSocket::StopRequested() const {
    return m_pStop && m_pStop->load();
}

CNewsSocket::WaitResult CNewsSocket::WaitFor(short events, Clock::time_point& deadline,
                                             short& revents) {
    for (;;) {
        if (ParkWhilePaused()) {
            // The server's silence while we were parked is not its fault.
            deadline = Clock::now() + m_readTimeout;
            m_bParked = true;
        }
        if (StopRequested()) {
            return WaitResult::Stopped;
        }
        auto now = Clock::now();
        if (now >= deadline) {
            return WaitResult::TimedOut;
        }
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        pollfd entry{m_fd, events, 0};
        int rc = ::poll(&entry, 1, static_cast<int>(std::min(left, kWaitSlice).count()));
        if (rc > 0) {
            revents = entry.revents;
            return WaitResult::Ready;
        }
        if (rc < 0 && errno != EINTR) {
            RecordError(errno);
            return WaitResult::Failed;
        }
    }
}

CNewsSocket::WaitResult CNewsSocket::ConnectTo(const void* address, unsigned addressLength,
                                               int family, Clock::time_point& deadline) {
    // A socket that has seen a connect attempt cannot be used for another.
    if (!(m_fd >= 0 && m_bFresh && m_nFamily == family) && !CreateSocket(family)) {
        m_nLastError = errno;
        return WaitResult::Failed;
    }
    m_bFresh = false;
    if (::connect(m_fd, static_cast<const sockaddr*>(address), addressLength) == 0) {
        return WaitResult::Ready;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        m_nLastError = errno;
        return WaitResult::Failed;
    }
    short revents = 0;
    WaitResult waited = WaitFor(POLLOUT, deadline, revents);
    if (waited != WaitResult::Ready) {
        return waited;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error != 0) {
        m_nLastError = error;
        return WaitResult::Failed;
    }
    return WaitResult::Ready;
}

bool CNewsSocket::OpenConnection(const std::string& host, int port) {
    if (!Connect(host, port)) {
        return false;
    }
    // Without a greeting nothing has been said to us: the connection is not
    // usable, whatever the state now is.
    std::string greeting = ReadLine();
    return !m_bInterrupted && !greeting.empty();
}

bool CNewsSocket::Connect(const std::string& host, int port) {
    m_bInterrupted = false;
    if (m_nState != NoSocket && m_nState != Idle) {
        return false;
    }
    ParkWhilePaused();
    const std::string name = HostWithoutBrackets(host);
    if (name.empty() || port <= 0 || port > 65535) {
        return false;
    }
    AddressList addresses;
    switch (Lookup(name, port, m_pStop, m_pPause, m_readTimeout, addresses)) {
        case LookupResult::Found:
            break;
        case LookupResult::NotFound:
            return false;
        case LookupResult::Stopped:
            m_bInterrupted = true;
            return false;
    }

    m_begin = m_scan = m_end = 0;
    m_sendQueue.clear();
    m_nSentOfHead = 0;
    m_nState = Connecting;
    m_waited = {};
    m_nBytesSinceCheck = 0;
    auto deadline = Clock::now() + m_readTimeout;
    WaitResult result = WaitResult::Failed;
    // Try each address in turn (a name may have an IPv6 and an IPv4 one) until
    // one answers, the time is up or a stop comes.
    for (const addrinfo* ai = addresses.head; ai; ai = ai->ai_next) {
        result = ConnectTo(ai->ai_addr, ai->ai_addrlen, ai->ai_family, deadline);
        if (result != WaitResult::Failed) {
            break;
        }
    }
    switch (result) {
        case WaitResult::Ready:
            m_nState = Connected;
            m_stream = ng::MakeSocketStream(m_fd);
            m_bStreamHolds = false;
            break;
        case WaitResult::Stopped:
            CloseSocket();
            m_nState = Idle;
            m_bInterrupted = true;
            return false;
        case WaitResult::TimedOut:
            RecordError(ETIMEDOUT);
            return false;
        case WaitResult::Failed:
            RecordError(m_nLastError);
            return false;
    }
    return true;
}

bool CNewsSocket::StartTls(const ng::TlsOptions& options) {
    m_bInterrupted = false;
    m_strTlsProblem.clear();
    if (m_nState != Connected) {
        return false;
    }
    // Text that came in the clear after the go-ahead is no one's to trust: a
    // man in the middle could have put it there to pass as a reply over TLS.
    m_begin = m_scan = m_end = 0;
    std::unique_ptr<ng::TlsStream> tls = ng::TlsStream::Create(m_fd, options, m_strTlsProblem);
    if (!tls) {
        RecordError(EPROTO);
        return false;
    }
    auto deadline = Clock::now() + m_readTimeout;
    for (;;) {
        int step = tls->Handshake();
        if (step == 1) {
            break;
        }
        if (step < 0) {
            m_strTlsProblem = tls->Problem();
            RecordError(EPROTO);
            return false;
        }
        short revents = 0;
        switch (WaitFor(tls->Wants(), deadline, revents)) {
            case WaitResult::Ready:
                continue;
            case WaitResult::Stopped:
                m_bInterrupted = true;
                return false;
            case WaitResult::TimedOut:
                m_strTlsProblem = "no TLS handshake from the server";
                RecordError(ETIMEDOUT);
                return false;
            case WaitResult::Failed:
                m_strTlsProblem = "TLS handshake failed";
                return false;
        }
    }
    m_stream = std::move(tls);
    return true;
}

void CNewsSocket::StartCompression() {
    if (!m_stream) {
        return;
    }
    // Whatever came in after the 206 is already compressed.
    std::string received(m_in.get() + m_begin, m_end - m_begin);
    m_begin = m_scan = m_end = 0;
    m_stream = std::make_unique<ng::DeflateStream>(std::move(m_stream), std::move(received));
}

void CNewsSocket::SendLine(const std::string& text) {
    if (text.empty()) {
        return;
    }
    ParkWhilePaused();
    // The server's progress is judged per command: the short replies of a
    // slow but working server must not add up to a trickle.
    m_waited = {};
    m_nBytesSinceCheck = 0;
    m_sendQueue.push_back(text);
    if (m_nState == Connected) {
        FlushSendQueue();
    }
}

void CNewsSocket::FlushSendQueue() {
    while (!m_sendQueue.empty()) {
        const std::string& head = m_sendQueue.front();
        ssize_t sent = m_stream->Write(head.data() + m_nSentOfHead, head.size() - m_nSentOfHead);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                RecordError(errno);
            }
            return;
        }
        m_nSentOfHead += static_cast<size_t>(sent);
        if (m_nSentOfHead < head.size()) {
            return;  // the network is full for now
        }
        m_sendQueue.pop_front();
        m_nSentOfHead = 0;
    }
    // A compressing layer may keep bytes back until the socket takes them.
    m_bStreamHolds = m_stream->Flush() != 0;
    if (m_bStreamHolds && errno != EAGAIN && errno != EWOULDBLOCK) {
        RecordError(errno);
    }
}

std::string CNewsSocket::ReadLine() {
    return std::string(ReadLineView());
}

std::string_view CNewsSocket::TakeReceivedLines(std::vector<uint32_t>& ends) {
    ends.clear();
    const char* base = m_in.get();
    size_t at = m_begin;
    while (at < m_end && base[at] != '.') {
        const void* lf = std::memchr(base + at, '\n', m_end - at);
        if (!lf) {
            break;
        }
        const size_t next = static_cast<size_t>(static_cast<const char*>(lf) - base) + 1;
        if (next - at > kMaxLineLength) {
            break;
        }
        at = next;
        ends.push_back(static_cast<uint32_t>(at - m_begin));
    }
    if (at == m_begin) {
        return {};
    }
    std::string_view lines(base + m_begin, at - m_begin);
    m_begin = m_scan = at;
    return lines;
}

std::string_view CNewsSocket::ReadLineView() {
    m_bInterrupted = false;
    ParkWhilePaused();
    if (m_nState == Connected && OutputWaiting()) {
        FlushSendQueue();
    }
    // The silence limit runs from the start of a wait or the last bytes
    // received; set only when a wait begins, since most lines are already here.
    std::optional<Clock::time_point> deadline;
    for (;;) {
        const char* base = m_in.get();
        if (const void* lf =
                m_scan < m_end ? std::memchr(base + m_scan, '\n', m_end - m_scan) : nullptr) {
            const size_t start = m_begin;
            const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - base) + 1;
            m_begin = m_scan = end;
            if (end - start > kMaxLineLength) {
                return OverlongLine();
            }
            return std::string_view(base + start, end - start);
        }
        m_scan = m_end;  // no line feed up to here: do not look again
        if (m_nState != Connected) {
            return {};  // the text after the last line feed is never handed out
        }
        if (m_end - m_begin >= kMaxLineLength) {
            return OverlongLine();
        }
        MakeRoom();
        ssize_t got = m_stream->Read(m_in.get() + m_end, m_capacity - m_end);
        if (got > 0) {
            m_end += static_cast<size_t>(got);
            m_nBytesSinceCheck += got;
            deadline.reset();
            continue;
        }
        if (got == 0) {
            m_nState = Idle;  // the server closed the connection
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            RecordError(errno);  // a corrupt compressed or TLS stream too
            continue;
        }
        // Acknowledge at once when a wait begins: a server that writes a
        // reply in pieces would otherwise wait for our delayed ACK.
        int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        short revents = 0;
        short events = static_cast<short>(m_stream->Wants() | (OutputWaiting() ? POLLOUT : 0));
        if (!deadline) {
            deadline = Clock::now() + m_readTimeout;
        }
        m_bParked = false;
        const auto waitStart = Clock::now();
        WaitResult waited = WaitFor(events, *deadline, revents);
        if (m_bParked) {
            m_waited = {};  // a pause is no time the server had
            m_nBytesSinceCheck = 0;
        } else {
            m_waited += Clock::now() - waitStart;
        }
        if (m_waited >= m_readTimeout) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_waited).count();
            if (m_nBytesSinceCheck < kMinBytesPerSecond * std::max<int64_t>(seconds, 1)) {
                RecordError(ETIMEDOUT);  // trickling: as good as silent
                continue;
            }
            m_waited = {};
            m_nBytesSinceCheck = 0;
        }
        if (waited == WaitResult::Stopped) {
            m_bInterrupted = true;
            return {};
        }
        if (waited == WaitResult::TimedOut) {
            RecordError(ETIMEDOUT);
            continue;
        }
        if (waited == WaitResult::Ready && (revents & POLLOUT)) {
            FlushSendQueue();
        }
    }
}

std::string_view CNewsSocket::OverlongLine() {
    // Its text is dropped: the connection cannot be trusted past it.
    m_begin = m_scan = m_end;
    RecordError(EMSGSIZE);
    return {};
}

void CNewsSocket::MakeRoom() {
    if (m_capacity - m_end >= kReceiveChunk) {
        return;
    }
    // The lines handed out go: keep only what is still to come.
    if (m_begin > 0) {
        std::memmove(m_in.get(), m_in.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_scan -= m_begin;
        m_begin = 0;
    }
    if (m_capacity - m_end < kReceiveChunk) {
        // Only a line longer than the buffer grows it, and never past the cap.
        size_t wanted = std::max(m_capacity * 2, kReceiveBuffer);
        wanted = std::min(wanted, kMaxLineLength + kReceiveChunk);
        auto grown = std::make_unique_for_overwrite<char[]>(wanted);
        if (m_end > 0) {  // the first buffer has nothing to copy, and no address
            std::memcpy(grown.get(), m_in.get(), m_end);
        }
        m_in = std::move(grown);
        m_capacity = wanted;
    }
}
