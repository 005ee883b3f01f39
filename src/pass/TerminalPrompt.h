#pragma once
// The password prompt on the controlling terminal, without echo. With no
// terminal the prompt counts as cancelled.

#include "engine/Display.h"

class TerminalPrompt final : public ng::IPasswordPrompt {
public:
    std::optional<std::string> AskPassword(const std::atomic<bool>& stop) override;
    // Puts the terminal back as it was if a prompt is open (for a hard exit).
    static void RestoreTerminal();
};
