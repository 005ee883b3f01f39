#pragma once
// Forwards every display call once the pause gate is open, so that a paused
// worker shows nothing new until it is resumed.

#include "engine/Display.h"
#include "platform/Sync.h"

namespace ng {

class GatedDisplay final : public IDisplay {
public:
    GatedDisplay(IDisplay& target, PauseGate& gate) : m_target(target), m_gate(gate) {}

    void SetStatusText(const std::string& text) override {
        m_gate.WaitWhilePaused();
        m_target.SetStatusText(text);
    }
    void SetSubjectText(const std::string& text) override {
        m_gate.WaitWhilePaused();
        m_target.SetSubjectText(text);
    }
    void SetSavingToText(const std::string& text) override {
        m_gate.WaitWhilePaused();
        m_target.SetSavingToText(text);
    }
    void SetFromText(const std::string& text) override {
        m_gate.WaitWhilePaused();
        m_target.SetFromText(text);
    }
    void ShowThumbnail(const std::string& path) override {
        m_gate.WaitWhilePaused();
        m_target.ShowThumbnail(path);
    }
    void SetBytesTransferred(int64_t count) override {
        m_gate.WaitWhilePaused();
        m_target.SetBytesTransferred(count);
    }
    void SetArticlesScanned(int count) override {
        m_gate.WaitWhilePaused();
        m_target.SetArticlesScanned(count);
    }
    void SetArticlesSaved(int count) override {
        m_gate.WaitWhilePaused();
        m_target.SetArticlesSaved(count);
    }
    void SetRate(RateField field, int64_t seconds, int64_t bytes) override {
        m_gate.WaitWhilePaused();
        m_target.SetRate(field, seconds, bytes);
    }
    void SetRateSince(RateField field, int64_t start, int64_t end, int64_t bytes) override {
        m_gate.WaitWhilePaused();
        m_target.SetRateSince(field, start, end, bytes);
    }
    void SetHistorySkipped(int count) override {
        m_gate.WaitWhilePaused();
        m_target.SetHistorySkipped(count);
    }
    void SetCrosspostsSkipped(int count) override {
        m_gate.WaitWhilePaused();
        m_target.SetCrosspostsSkipped(count);
    }
    void SetProgress(ProgressBar bar, int done, int total, bool reset) override {
        m_gate.WaitWhilePaused();
        m_target.SetProgress(bar, done, total, reset);
    }
    void SetStatusProgress(int done, int total) override {
        m_gate.WaitWhilePaused();
        m_target.SetStatusProgress(done, total);
    }
    void EnablePending(bool enable) override {
        m_gate.WaitWhilePaused();
        m_target.EnablePending(enable);
    }
    void ShowMessage(const std::string& text) override {
        m_gate.WaitWhilePaused();
        m_target.ShowMessage(text);
    }
    void PassEnded() override {
        m_gate.WaitWhilePaused();
        m_target.PassEnded();
    }

private:
    IDisplay& m_target;
    PauseGate& m_gate;
};

}  // namespace ng
