#pragma once
// Two small per-server lists in the working folder, one line per entry
// beginning with the group's name, replaced whole like the other lists:
//
// - "Unfinished." + host: per group, the accepted articles above its mark
//   that a pass stopped before dealing with, and how far the overview was
//   read. Everything else up to there was dealt with, so the next pass
//   neither fetches it again nor skips what is left.
// - "Missing." + host: articles the server did not have yet when asked
//   (430 or 423), asked for again by later passes for a while.
//
// Both are bounded: a hostile server or a huge group cannot make them grow
// without end. What is cut costs a fetch again, never a picture.

#include <cstdint>
#include <string>
#include <vector>

namespace ng {

struct Unfinished {
    int64_t scannedTo = 0;        // the overview was read up to here
    std::vector<int64_t> undone;  // ascending; the rest up to scannedTo is dealt with

    bool Empty() const { return undone.empty(); }
    // Whether a number above the mark was dealt with already.
    bool DealtWith(int64_t number) const;
};

class UnfinishedList {
public:
    static constexpr size_t kMaxUndone = 200000;

    explicit UnfinishedList(std::string fileName) : m_strFileName(std::move(fileName)) {}
    // What was left of the group above `mark`: nothing when the list holds
    // nothing for it, or only numbers the mark has passed.
    Unfinished Load(const std::string& group, int64_t mark) const;
    // Replaces the group's entry (removes it when nothing is undone). Past
    // kMaxUndone numbers the rest counts as not read. 0 or errno.
    [[nodiscard]] int Store(const std::string& group, Unfinished state) const;

private:
    std::string m_strFileName;
};

// An article still missing: when it was first asked for, and its overview
// line as the engine keeps it (one line of text).
struct MissingEntry {
    int64_t since = 0;
    std::string line;
};

class MissingList {
public:
    static constexpr size_t kMaxEntries = 10000;

    explicit MissingList(std::string fileName) : m_strFileName(std::move(fileName)) {}
    std::vector<MissingEntry> Load(const std::string& group) const;
    // Replaces the group's entries. Past kMaxEntries in the whole list the
    // oldest go. 0 or errno.
    [[nodiscard]] int Store(const std::string& group,
                            const std::vector<MissingEntry>& entries) const;

private:
    std::string m_strFileName;
};

}  // namespace ng
