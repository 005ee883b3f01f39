#pragma once
// What a download pass shows and asks: the display operations of the main
// window, the password prompt, and the one end-of-pass notice. The engine
// calls them on its own thread; a window implementation queues each call
// onto its own thread in the order issued.

#include <cstdint>
#include <string>

#include "nntp/NewsServer.h"  // IPasswordPrompt

namespace ng {

enum RateField { BytesPerSec = 0, BinaryBytesPerSec = 1 };
enum ProgressBar { GroupProgress = 0, ArticleProgress = 1, LinesDecoded = 2 };

class IDisplay {
public:
    virtual ~IDisplay() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetSubjectText(const std::string& text) = 0;
    virtual void SetSavingToText(const std::string& text) = 0;
    virtual void SetFromText(const std::string& text) = 0;
    virtual void ShowThumbnail(const std::string& path) = 0;
    virtual void SetBytesTransferred(int64_t count) = 0;
    virtual void SetArticlesScanned(int count) = 0;
    virtual void SetArticlesSaved(int count) = 0;
    virtual void SetRate(RateField field, int64_t seconds, int64_t bytes) = 0;
    virtual void SetRateSince(RateField field, int64_t start, int64_t end, int64_t bytes) = 0;
    virtual void SetHistorySkipped(int count) = 0;
    virtual void SetCrosspostsSkipped(int count) = 0;
    virtual void SetProgress(ProgressBar bar, int done, int total, bool reset) = 0;
    virtual void SetStatusProgress(int done, int total) = 0;
    // The "Pe&nding..." button: enabled while a group's files are retrieved.
    virtual void EnablePending(bool enable) = 0;
    // A message that needs the user's acknowledgement (OK only).
    virtual void ShowMessage(const std::string& text) = 0;
    // Sent exactly once per pass, as the pass's last act.
    virtual void PassEnded() = 0;
};

}  // namespace ng
