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
    // One more file saved ("Articles Saved").
    void CountSaved();
    // A file not fetched or not saved because the history knows it: the
    // matched text and the subject (or the duplicate's names) go to the
    // history log when it is kept.
    void HistorySkip(bool log, const std::string& matched, const std::string& subject);
    void CrosspostSkip();
    void AddBytes(int64_t received) { m_bytes += received; }
    // The byte count and both rates after an article that started at
    // `articleStart` (seconds).
    void ShowTransferFigures(int64_t articleStart);

    // What a pass gives up on: articles the server no longer had after
    // they were asked for again for long enough; posts whose sizes or
    // checksums do not add up; posts whose other parts never came;
    // attachments that are no pictures.
    void CountTakenDown(int count) { m_takenDown += count; }
    void CountDamaged() { ++m_damaged; }
    // An attachment not saved for being no picture.
    void CountNotPicture() { ++m_notPictures; }
    void CountIncomplete(int count) { m_incomplete += count; }
    // Posts still waiting for parts at the end of the pass, and their bytes.
    void SetWaiting(int posts, int64_t bytes) {
        m_waitingPosts = posts;
        m_waitingBytes = bytes;
    }

    int Scanned() const { return m_scanned; }
    int Saved() const { return m_saved; }
    int HistorySkipped() const { return m_historySkipped; }
    int CrosspostsSkipped() const { return m_crosspostsSkipped; }
    int64_t Bytes() const { return m_bytes; }
    int TakenDown() const { return m_takenDown; }
    int Damaged() const { return m_damaged; }
    int NotPictures() const { return m_notPictures; }

    // What the pass says at its end before its final status, or "".
    std::string LeftBehindText() const;

private:
    PassContext& m_pass;
    int64_t m_passStart = 0;
    int64_t m_articleSeconds = 0;
    int64_t m_bytes = 0;
    int m_scanned = 0;
    int m_saved = 0;
    int m_historySkipped = 0;
    int m_crosspostsSkipped = 0;
    int m_takenDown = 0;
    int m_damaged = 0;
    int m_notPictures = 0;
    int m_incomplete = 0;
    int m_waitingPosts = 0;
    int64_t m_waitingBytes = 0;
};

}  // namespace ng
