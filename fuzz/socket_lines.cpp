// The connection's line splitting: a local peer on a loopback port sends a
// greeting and then the input, in pieces, and closes. Whatever the bytes,
// the lines handed out are exactly the input up to its last line feed, each
// ending in its own '\n', and then the connection reads as closed; read
// in runs of lines already received, the same.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FuzzSupport.h"
#include "net/Socket.h"

namespace {

const std::string kGreeting = "200 fuzz peer ready\r\n";

// Accepts one connection at a time and sends it the greeting and the
// payload set for it, then closes. Lives for the whole process.
class Peer {
public:
    Peer() {
        m_port = fuzzsupport::ServeLoopback([this](int fd) { Send(fd); });
    }

    int Port() const { return m_port; }

    void SetPayload(std::string bytes) {
        std::lock_guard lock(m_mutex);
        m_payload = std::move(bytes);
    }

private:
    void Send(int fd) {
        std::string payload;
        {
            std::lock_guard lock(m_mutex);
            payload = m_payload;
        }
        ngtest::SendAll(fd, kGreeting);
        // Pieces of varying size, so that lines also arrive split.
        size_t step = 1 + payload.size() % 61;
        for (size_t at = 0; at < payload.size(); at += step, step = step * 7 % 1021 + 1) {
            ngtest::SendAll(fd, std::string_view(payload).substr(at, step));
        }
    }

    int m_port = 0;
    std::mutex m_mutex;
    std::string m_payload;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Peer* peer = new Peer;
    const std::string payload(reinterpret_cast<const char*>(data), size);
    peer->SetPayload(payload);

    CNewsSocket socket(true);
    socket.SetReadTimeout(std::chrono::seconds(10));
    FUZZ_CHECK(socket.OpenConnection("127.0.0.1", peer->Port()));

    // Half the inputs are also read in runs of lines already received,
    // which hold whole lines, none starting with '.'.
    const bool runs = size % 2 == 1;
    std::vector<uint32_t> ends;
    std::string received;
    for (;;) {
        const std::string_view run = runs ? socket.TakeReceivedLines(ends) : std::string_view();
        FUZZ_CHECK(run.empty() == ends.empty());
        for (size_t k = 0, start = 0; k < ends.size(); start = ends[k++]) {
            FUZZ_CHECK(ends[k] > start && ends[k] <= run.size() && run[start] != '.');
            FUZZ_CHECK(run.find('\n', start) == ends[k] - 1);
        }
        if (!run.empty()) {
            FUZZ_CHECK(ends.back() == run.size());
            received += run;
            continue;
        }
        std::string line = socket.ReadLine();
        if (line.empty()) {
            break;
        }
        FUZZ_CHECK(line.back() == '\n');
        FUZZ_CHECK(line.find('\n') == line.size() - 1);
        received += line;
    }
    FUZZ_CHECK(!socket.InterruptedByStop());
    FUZZ_CHECK(socket.GetState() == CNewsSocket::Idle);
    size_t lastLineFeed = payload.rfind('\n');
    FUZZ_CHECK(
        received ==
        (lastLineFeed == std::string::npos ? std::string() : payload.substr(0, lastLineFeed + 1)));
    return 0;
}
