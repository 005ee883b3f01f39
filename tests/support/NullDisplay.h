#pragma once
// A display that shows nothing, for running the engine where no one looks.
// Override the calls worth keeping. Free of any test framework.

#include <cstdint>
#include <string>

#include "engine/Display.h"

namespace ngtest {

class NullDisplay : public ng::IDisplay {
public:
    void SetStatusText(const std::string&) override {}
    void SetSubjectText(const std::string&) override {}
    void SetSavingToText(const std::string&) override {}
    void SetFromText(const std::string&) override {}
    void ShowThumbnail(const std::string&) override {}
    void SetBytesTransferred(int64_t) override {}
    void SetArticlesScanned(int) override {}
    void SetArticlesSaved(int) override {}
    void SetRate(ng::RateField, int64_t, int64_t) override {}
    void SetRateSince(ng::RateField, int64_t, int64_t, int64_t) override {}
    void SetHistorySkipped(int) override {}
    void SetCrosspostsSkipped(int) override {}
    void SetProgress(ng::ProgressBar, int, int, bool) override {}
    void SetStatusProgress(int, int) override {}
    void EnablePending(bool) override {}
    void ShowMessage(const std::string&) override {}
    void PassEnded() override {}
};

}  // namespace ngtest
