#include "store/GroupLists.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/FileLock.h"
#include "platform/Numbers.h"
#include "platform/TextFile.h"

namespace ng {

namespace {

// The lines of the list after the group's name and a TAB.
std::vector<std::string> LinesOf(const std::string& file, const std::string& group) {
    std::vector<std::string> found;
    const std::string prefix = group + "\t";
    ForEachTextLine(file, [&](std::string_view line) {
        if (line.starts_with(prefix)) {
            found.emplace_back(line.substr(prefix.size()));
        }
    });
    return found;
}

// Replaces the group's lines, keeping every other group's. A list that
// cannot be read is not replaced: its other groups' lines would be lost.
int ReplaceLinesOf(const std::string& file, const std::string& group,
                   const std::vector<std::string>& lines, size_t maxLines) {
    FileLock lock(file);
    std::vector<std::string> out;
    const std::string prefix = group + "\t";
    errno = 0;
    if (!ForEachTextLine(file,
                         [&](std::string_view line) {
                             if (!line.empty() && !line.starts_with(prefix)) {
                                 out.emplace_back(line);
                             }
                         }) &&
        errno != ENOENT) {
        return errno;
    }
    for (const std::string& line : lines) {
        out.push_back(prefix + line);
    }
    if (out.size() > maxLines) {
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(out.size() - maxLines));
    }
    int error = 0;
    return ReplaceTextFile(file, out, &error) ? 0 : error;
}

}  // namespace

bool Unfinished::DealtWith(int64_t number) const {
    return number <= scannedTo && !std::binary_search(undone.begin(), undone.end(), number);
}

Unfinished UnfinishedList::Load(const std::string& group, int64_t mark) const {
    Unfinished state;
    for (const std::string& line : LinesOf(m_strFileName, group)) {
        // "scannedTo TAB a-b,c,..."
        const size_t tab = line.find('\t');
        state.scannedTo = LeadingNumber(line.substr(0, tab));
        std::string_view ranges =
            tab == std::string::npos ? std::string_view() : std::string_view(line).substr(tab + 1);
        while (!ranges.empty() && state.undone.size() < kMaxUndone) {
            const size_t comma = ranges.find(',');
            std::string_view range = ranges.substr(0, comma);
            ranges =
                comma == std::string_view::npos ? std::string_view() : ranges.substr(comma + 1);
            const size_t dash = range.find('-');
            int64_t first = LeadingNumber(range.substr(0, dash));
            int64_t last =
                dash == std::string_view::npos ? first : LeadingNumber(range.substr(dash + 1));
            for (int64_t n = std::max(first, mark + 1);
                 n <= std::min(last, state.scannedTo) && state.undone.size() < kMaxUndone; ++n) {
                state.undone.push_back(n);
            }
        }
    }
    std::sort(state.undone.begin(), state.undone.end());
    state.undone.erase(std::unique(state.undone.begin(), state.undone.end()), state.undone.end());
    if (state.undone.empty() || state.scannedTo <= mark) {
        return {};
    }
    return state;
}

int UnfinishedList::Store(const std::string& group, Unfinished state) const {
    std::sort(state.undone.begin(), state.undone.end());
    state.undone.erase(std::unique(state.undone.begin(), state.undone.end()), state.undone.end());
    if (state.undone.size() > kMaxUndone) {
        // What is cut is read again next time: fetched again, never skipped.
        state.scannedTo = state.undone[kMaxUndone] - 1;
        state.undone.resize(kMaxUndone);
    }
    std::vector<std::string> lines;
    if (!state.undone.empty()) {
        std::string text = std::to_string(state.scannedTo) + "\t";
        for (size_t i = 0; i < state.undone.size();) {
            size_t j = i;
            while (j + 1 < state.undone.size() && state.undone[j + 1] == state.undone[j] + 1) {
                ++j;
            }
            text += (i == 0 ? "" : ",") + std::to_string(state.undone[i]);
            if (j > i) {
                text += "-" + std::to_string(state.undone[j]);
            }
            i = j + 1;
        }
        lines.push_back(std::move(text));
    }
    return ReplaceLinesOf(m_strFileName, group, lines, SIZE_MAX);
}

std::vector<MissingEntry> MissingList::Load(const std::string& group) const {
    std::vector<MissingEntry> entries;
    for (const std::string& line : LinesOf(m_strFileName, group)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && entries.size() < kMaxEntries) {
            entries.push_back({LeadingNumber(line.substr(0, tab)), line.substr(tab + 1)});
        }
    }
    return entries;
}

int MissingList::Store(const std::string& group, const std::vector<MissingEntry>& entries) const {
    std::vector<std::string> lines;
    for (const MissingEntry& entry : entries) {
        if (entry.line.find_first_of("\r\n") == std::string::npos) {
            lines.push_back(std::to_string(entry.since) + "\t" + entry.line);
        }
    }
    return ReplaceLinesOf(m_strFileName, group, lines, kMaxEntries);
}

}  // namespace ng
