#pragma once
// A display that writes down every call, in order, as text, and a password
// prompt with a scripted answer: the engine tests read what a window would
// have been told.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/Display.h"

class RecordingDisplay : public ng::IDisplay {
public:
    void SetStatusText(const std::string& text) override { Record("Status: " + text); }
    void SetSubjectText(const std::string& text) override { Record("Subject: " + text); }
    void SetSavingToText(const std::string& text) override { Record("SavingTo: " + text); }
    void SetFromText(const std::string& text) override { Record("From: " + text); }
    void ShowThumbnail(const std::string& path) override { Record("Thumbnail: " + path); }
    void SetBytesTransferred(int64_t n) override { Record("Bytes: " + std::to_string(n)); }
    void SetArticlesScanned(int n) override { Record("Scanned: " + std::to_string(n)); }
    void SetArticlesSaved(int n) override { Record("Saved: " + std::to_string(n)); }
    void SetRate(ng::RateField field, int64_t seconds, int64_t bytes) override {
        Record("Rate" + std::to_string(field) + ": " + std::to_string(seconds) + " " +
               std::to_string(bytes));
    }
    void SetRateSince(ng::RateField field, int64_t, int64_t, int64_t bytes) override {
        Record("RateSince" + std::to_string(field) + ": " + std::to_string(bytes));
    }
    void SetHistorySkipped(int n) override { Record("HistorySkipped: " + std::to_string(n)); }
    void SetCrosspostsSkipped(int n) override { Record("CrosspostsSkipped: " + std::to_string(n)); }
    void SetProgress(ng::ProgressBar bar, int done, int total, bool reset) override {
        static const char* const names[] = {"Group", "Article", "Lines"};
        Record(std::string("Progress ") + names[bar] + ": " +
               (reset ? "reset" : std::to_string(done) + "/" + std::to_string(total)));
    }
    void SetStatusProgress(int done, int total) override {
        Record("StatusProgress: " + std::to_string(done) + "/" + std::to_string(total));
    }
    void EnablePending(bool enable) override { Record(enable ? "Pending: on" : "Pending: off"); }
    void ShowMessage(const std::string& text) override { Record("Message: " + text); }
    void PassEnded() override {
        Record("PassEnded");
        std::lock_guard lock(m_mutex);
        ++m_nEnded;
        m_changed.notify_all();
    }

    std::vector<std::string> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // Calls that begin with the prefix, in order.
    std::vector<std::string> CallsStarting(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& call : Calls()) {
            if (call.compare(0, prefix.size(), prefix) == 0) {
                found.push_back(call);
            }
        }
        return found;
    }
    bool Has(const std::string& call) const {
        for (const auto& c : Calls()) {
            if (c == call) {
                return true;
            }
        }
        return false;
    }
    // Forgets what was recorded, for the next pass.
    void Forget() {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
        m_nEnded = 0;
    }
    int PassEndCount() const {
        std::lock_guard lock(m_mutex);
        return m_nEnded;
    }
    bool WaitForPassEnd(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [this] { return m_nEnded > 0; });
    }
    // Waits until a call with the prefix has been recorded.
    bool WaitFor(const std::string& prefix,
                 std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            for (const auto& c : m_calls) {
                if (c.compare(0, prefix.size(), prefix) == 0) {
                    return true;
                }
            }
            return false;
        });
    }
    std::string LastStatus() const {
        auto statuses = CallsStarting("Status: ");
        return statuses.empty() ? std::string() : statuses.back().substr(8);
    }

private:
    void Record(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    int m_nEnded = 0;
};

class ScriptedPrompt : public ng::IPasswordPrompt {
public:
    explicit ScriptedPrompt(std::optional<std::string> answer) : m_answer(std::move(answer)) {}
    std::optional<std::string> AskPassword(const std::atomic<bool>&) override {
        ++m_nAsked;
        return m_answer;
    }
    int Asked() const { return m_nAsked; }

private:
    std::optional<std::string> m_answer;
    std::atomic<int> m_nAsked{0};
};
