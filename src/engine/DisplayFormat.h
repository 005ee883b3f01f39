#pragma once
// How the display operations turn numbers and texts into what the user sees.
// Shared by the desktop window and the terminal program so both agree.

#include <cstdint>
#include <string>

namespace ng {

// The status line shows two blanks before the text.
std::string StatusLineText(const std::string& text);

// 1234567 -> "1,234,567"; negative counts keep their sign in front.
std::string GroupThousands(int64_t count);

struct ProgressState {
    int percent = 0;   // bar position, 0..100 for sane input
    std::string text;  // "%d of %d (%d%%)"
};
// A total of 0 counts as done 0 of total 1.
ProgressState ProgressOf(int done, int total);
// The status bar's percentage: done * 100 / total; a total of 0 gives 0.
int StatusProgressPercent(int done, int total);

// bytes / seconds in whole numbers, "0" for 0 seconds.
std::string RateText(int64_t seconds, int64_t bytes);
std::string RateSinceText(int64_t start, int64_t end, int64_t bytes);

// "%2d:%02d:%02d"; the hour field wraps after 24 hours.
std::string ElapsedText(int64_t seconds);

// Every "&" doubled, so a label shows it literally instead of as a mnemonic.
std::string DoubleAmpersands(const std::string& text);

}  // namespace ng
