#pragma once
// The figures of one pass and the display calls that show them: articles
// scanned and retrieved, history and crosspost skips, bytes and rates, and
// what the pass left behind or gave up on. Everything goes through the
// pass's window, so a paused pass shows nothing new.

#include <cstdint>
#include <string>

#include "engine/PassContext.h"

namespace ng {

class PassReport {
public:
    explicit PassReport(PassContext& pass) : m_pass(pass) {}

    IDisplay& Window() { return m_pass.Window(); }

    // Zero counters and bars, as a pass shows them when it starts.
    void ShowStart();
    void StartClock();

    void AddScanned(int count);
    // One more entry of the pending list taken on ("Articles Saved").
    void CountRetrieval();
    // A file not fetched or not saved because the history knows it: the
    // matched text and the subject (or the duplicate's names) go to the
    // history log when it is kept.
    void HistorySkip(bool log, const std::string& matched, const std::string& subject);
    void CrosspostSkip();
    void AddBytes(int64_t received) { m_bytes += received; }
    // The byte count and both rates after an article that started at
    // `articleStart` (seconds).
    void ShowTransferFigures(int64_t articleStart);

    // Articles the server no longer had after they were asked for again
    // for long enough.
    void CountGivenUp(int count) { m_givenUp += count; }

    int Scanned() const { return m_scanned; }
    int Retrieved() const { return m_retrieved; }
    int HistorySkipped() const { return m_historySkipped; }
    int CrosspostsSkipped() const { return m_crosspostsSkipped; }
    int64_t Bytes() const { return m_bytes; }
    int GivenUp() const { return m_givenUp; }

    // What the pass says at its end before its final status, or "".
    std::string LeftBehindText() const;

private:
    PassContext& m_pass;
    int64_t m_passStart = 0;
    int64_t m_articleSeconds = 0;
    int64_t m_bytes = 0;
    int m_scanned = 0;
    int m_retrieved = 0;
    int m_historySkipped = 0;
    int m_crosspostsSkipped = 0;
    int m_givenUp = 0;
};

}  // namespace ng
