#include "store/DownloadHistory.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/FileLock.h"
#include "platform/ShowableText.h"
#include "platform/TextFile.h"

namespace ng {
namespace {

// Names of this length or shorter are never tested and not saved: they
// would match far too many subjects.
constexpr size_t kShortName = 3;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// "~" goes before the last path component, so "HistList" backs up to
// "~HistList" and "dir/HistList" to "dir/~HistList".
std::string BackupNameOf(const std::string& fileName) {
    auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) {
        return "~" + fileName;
    }
    return fileName.substr(0, slash + 1) + "~" + fileName.substr(slash + 1);
}

uint64_t HashOf(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

// Remembers which names the file holds, to tell later whether a name in it
// is new.
void NoteOnDisk(const std::vector<std::string>& lines, std::vector<uint64_t>& onDisk) {
    onDisk.clear();
    onDisk.reserve(lines.size());
    for (const auto& line : lines) {
        onDisk.push_back(HashOf(line));
    }
    std::sort(onDisk.begin(), onDisk.end());
}

}  // namespace

std::string ToUpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = UpperAscii(c);
    }
    return result;
}

std::string ToLowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = LowerAscii(c);
    }
    return result;
}

// A trie of the upper-cased names longer than kShortName. A node that ends a
// name keeps the newest position of that name in the list, so names that
// differ only in case share one node. Edges live in one open-addressing hash
// table keyed by (parent node, byte); the root's edges in a plain array,
// since nearly every walk stops there.
struct DownloadHistory::Index {
    static constexpr uint32_t kNone = 0;  // no node (the root is never a child)

    struct Edge {
        uint32_t parent = 0;
        uint32_t child = kNone;
        uint8_t byte = 0;
    };

    std::array<uint32_t, 256> rootChildren{};
    // Per node: 1 + the newest list position of a name ending there, or 0.
    std::vector<uint32_t> newestPlusOne{0};
    std::vector<Edge> edges = std::vector<Edge>(1024);
    size_t edgeCount = 0;

    void Clear() {
        rootChildren.fill(kNone);
        newestPlusOne.assign(1, 0);
        edges.assign(1024, Edge{});
        edgeCount = 0;
    }

    size_t SlotOf(uint32_t parent, uint8_t byte) const {
        uint64_t key = (static_cast<uint64_t>(parent) << 8) | byte;
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 32) & (edges.size() - 1);
    }

    uint32_t Child(uint32_t node, uint8_t byte) const {
        if (node == 0) {
            return rootChildren[byte];
        }
        for (size_t slot = SlotOf(node, byte);; slot = (slot + 1) & (edges.size() - 1)) {
            const Edge& edge = edges[slot];
            if (edge.child == kNone) {
                return kNone;
            }
            if (edge.parent == node && edge.byte == byte) {
                return edge.child;
            }
        }
    }

    void PutEdge(const Edge& edge) {
        size_t slot = SlotOf(edge.parent, edge.byte);
        while (edges[slot].child != kNone) {
            slot = (slot + 1) & (edges.size() - 1);
        }
        edges[slot] = edge;
    }

    uint32_t AddChild(uint32_t node, uint8_t byte) {
        auto child = static_cast<uint32_t>(newestPlusOne.size());
        newestPlusOne.push_back(0);
        if (node == 0) {
            rootChildren[byte] = child;
            return child;
        }
        // Keep the table at most half full so that probes stay short.
        if ((edgeCount + 1) * 2 > edges.size()) {
            std::vector<Edge> old(edges.size() * 2);
            old.swap(edges);
            for (const Edge& edge : old) {
                if (edge.child != kNone) {
                    PutEdge(edge);
                }
            }
        }
        PutEdge(Edge{node, child, byte});
        ++edgeCount;
        return child;
    }

    void Insert(std::string_view name, size_t position) {
        if (name.size() <= kShortName) {
            return;
        }
        uint32_t node = 0;
        for (char c : name) {
            auto byte = static_cast<uint8_t>(UpperAscii(c));
            uint32_t child = Child(node, byte);
            node = (child != kNone) ? child : AddChild(node, byte);
        }
        // Positions only grow, so the latest insert is the newest.
        newestPlusOne[node] = static_cast<uint32_t>(position + 1);
    }

    // Walks the subject from `start`; every name ending on the way is a
    // candidate. Keeps the newest; on a tie the earlier walk (the start of
    // the subject) keeps its claim.
    void Walk(std::string_view subject, size_t start, bool atStart, uint32_t& best,
              bool& bestAtStart) const {
        uint32_t node = 0;
        for (size_t i = start; i < subject.size(); ++i) {
            node = Child(node, static_cast<uint8_t>(subject[i]));
            if (node == kNone) {
                return;
            }
            if (newestPlusOne[node] > best) {
                best = newestPlusOne[node];
                bestAtStart = atStart;
            }
        }
    }
};

DownloadHistory::DownloadHistory() : m_index(std::make_unique<Index>()) {}
DownloadHistory::~DownloadHistory() = default;

DownloadHistory::DownloadHistory(DownloadHistory&& other) noexcept
    : m_names(std::move(other.m_names)), m_index(std::move(other.m_index)) {
    other.m_names.clear();
}

DownloadHistory& DownloadHistory::operator=(DownloadHistory&& other) noexcept {
    if (this != &other) {
        m_names = std::move(other.m_names);
        m_index = std::move(other.m_index);
        m_onDisk = std::move(other.m_onDisk);
        other.m_names.clear();
    }
    return *this;
}

bool DownloadHistory::Load(const std::string& fileName, int maxHist) {
    std::string contents;
    if (!ReadWholeFile(fileName, contents)) {
        return false;
    }
    std::vector<std::string> lines = SplitTextLines(contents);
    contents.clear();
    contents.shrink_to_fit();

    // The copy as it was before this pass; losing it must not stop the load.
    ReplaceTextFile(BackupNameOf(fileName), lines);
    NoteOnDisk(lines, m_onDisk);

    // Each line joins at the newest end; whenever the list is then longer
    // than maxHist the oldest name goes. A cap of 0 or less keeps nothing.
    size_t cap = maxHist > 0 ? static_cast<size_t>(maxHist) : 0;
    size_t skip = 0;
    if (m_names.empty() && lines.size() > cap) {
        skip = lines.size() - cap;  // these would be dropped again at once
    }
    for (size_t i = skip; i < lines.size(); ++i) {
        m_names.push_back(std::move(lines[i]));
        if (m_names.size() > cap) {
            m_names.pop_front();
        }
    }
    RebuildIndex();
    return true;
}

bool DownloadHistory::KnownOnDisk(std::string_view name) const {
    return std::binary_search(m_onDisk.begin(), m_onDisk.end(), HashOf(name));
}

bool DownloadHistory::Save(const std::string& fileName, int* error) {
    FileLock lock(fileName);
    std::vector<std::string> onDisk;
    if (ReadTextLines(fileName, onDisk)) {
        std::vector<uint64_t> mine;
        mine.reserve(m_names.size());
        for (const auto& name : m_names) {
            mine.push_back(HashOf(name));
        }
        std::sort(mine.begin(), mine.end());
        for (auto& name : onDisk) {
            if (name.size() > kShortName && !KnownOnDisk(name) &&
                !std::binary_search(mine.begin(), mine.end(), HashOf(name))) {
                Add(std::move(name));  // saved by another program since the load
            }
        }
    }
    std::vector<std::string> lines;
    lines.reserve(m_names.size());
    for (const auto& name : m_names) {
        if (name.size() > kShortName) {
            lines.push_back(name);
        }
    }
    if (!ReplaceTextFile(fileName, lines, error)) {
        return false;
    }
    NoteOnDisk(lines, m_onDisk);
    return true;
}

void DownloadHistory::Add(std::string name) {
    if (!m_index) {
        m_index = std::make_unique<Index>();
        RebuildIndex();
    }
    m_names.push_back(std::move(name));
    m_index->Insert(m_names.back(), m_names.size() - 1);
}

void DownloadHistory::Clear() {
    m_names.clear();
    std::vector<uint64_t>().swap(m_onDisk);
    if (m_index) {
        m_index->Clear();
    }
}

size_t DownloadHistory::Size() const {
    return m_names.size();
}

const std::deque<std::string>& DownloadHistory::Names() const {
    return m_names;
}

void DownloadHistory::RebuildIndex() {
    if (!m_index) {
        m_index = std::make_unique<Index>();
    }
    m_index->Clear();
    for (size_t i = 0; i < m_names.size(); ++i) {
        m_index->Insert(m_names[i], i);
    }
}

std::optional<std::string> DownloadHistory::FindHit(std::string_view upperSubject) const {
    if (!m_index || m_names.empty()) {
        return std::nullopt;
    }
    // A name hits when the subject begins with it or holds it right after a
    // blank: so walk the trie from the start and from every blank's follower.
    uint32_t best = 0;
    bool bestAtStart = false;
    const auto newest = static_cast<uint32_t>(m_names.size());
    m_index->Walk(upperSubject, 0, true, best, bestAtStart);
    for (size_t i = 0; i < upperSubject.size() && best != newest; ++i) {
        if (upperSubject[i] == ' ') {
            m_index->Walk(upperSubject, i + 1, false, best, bestAtStart);
        }
    }
    if (best == 0) {
        return std::nullopt;
    }
    std::string upperName = ToUpperAscii(m_names[best - 1]);
    return bestAtStart ? upperName : " " + upperName;
}

void LogHistoryHit(std::string_view entry, std::string_view subject, const std::string& fileName) {
    std::string record;
    record.reserve(entry.size() + 4 + subject.size());
    record.append(entry).append(" -- ").append(subject);
    AppendTextLine(fileName, ShowableText(ToLowerAscii(record)));
}

}  // namespace ng
