#pragma once
// What the main window would show, on a terminal: a live block redrawn in
// place when standard output is a terminal, plain lines otherwise.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "engine/Display.h"

class TerminalDisplay final : public ng::IDisplay {
public:
    TerminalDisplay(std::FILE* out, bool live, std::string title);

    void SetStatusText(const std::string& text) override;
    void SetSubjectText(const std::string& text) override;
    void SetSavingToText(const std::string& text) override;
    void SetFromText(const std::string& text) override;
    void ShowThumbnail(const std::string& path) override;
    void SetBytesTransferred(int64_t count) override;
    void SetArticlesScanned(int count) override;
    void SetArticlesSaved(int count) override;
    void SetRate(ng::RateField field, int64_t seconds, int64_t bytes) override;
    void SetRateSince(ng::RateField field, int64_t start, int64_t end, int64_t bytes) override;
    void SetHistorySkipped(int count) override;
    void SetCrosspostsSkipped(int count) override;
    void SetProgress(ng::ProgressBar bar, int done, int total, bool reset) override;
    void SetStatusProgress(int done, int total) override;
    void EnablePending(bool enable) override;
    void ShowMessage(const std::string& text) override;
    void PassEnded() override;

    // A line of the program's own (not from the pass).
    void Note(const std::string& text);
    // Waits for PassEnded, redrawing the elapsed time once a second.
    void WaitForPassEnd();
    // The final counters, once the pass has ended.
    void PrintSummary();
    // The last status text shown; a message box counts as a failed end.
    std::string LastStatus() const;
    bool ShowedMessage() const;

private:
    void DrawLocked(bool force);
    // Sets one shown value and redraws when it is time to.
    template <typename T, typename V>
    void Update(T& field, V&& value) {
        std::lock_guard lock(m_mutex);
        field = std::forward<V>(value);
        DrawLocked(false);
    }
    void PlainLocked(const std::string& line);

    std::FILE* m_out;
    const bool m_bLive;
    const std::string m_strTitle;
    const int64_t m_start;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_bEnded = false;
    bool m_bShowedMessage = false;
    int m_nDrawnLines = 0;
    int64_t m_lastDrawMs = 0;

    std::string m_status = "Ready...";
    std::string m_subject, m_savingTo, m_from;
    // The bars' last values, put into words only when the block is drawn:
    // the lines bar moves every few lines.
    struct Bar {
        int done = 0, total = 0;
        bool shown = false;  // false after a reset: an empty bar, no text
    };
    Bar m_bars[3];
    int m_statusPercent = 0;
    int64_t m_bytes = 0;
    int m_scanned = 0, m_saved = 0, m_historySkipped = 0, m_crosspostsSkipped = 0;
    std::string m_rate[2] = {"0", "0"};
};
