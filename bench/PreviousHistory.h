#pragma once
// The download history as it was before its compact form (a deque of
// strings and a trie of the upper-cased names), kept here only so that the
// benchmarks can measure it beside the current one: Load with its backup,
// on-disk hashes and cap, and the history test.

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextFile.h"
#include "store/DownloadHistory.h"

namespace previous {

constexpr size_t kShortName = 3;

struct TrieIndex {
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
            auto byte = static_cast<uint8_t>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
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

class DownloadHistory {
public:
    bool Load(const std::string& fileName, int maxHist) {
        std::string contents;
        if (!ng::ReadWholeFile(fileName, contents)) {
            return false;
        }
        std::vector<std::string> lines = ng::SplitTextLines(contents);
        contents.clear();
        contents.shrink_to_fit();
        auto slash = fileName.find_last_of('/');
        std::string backup = slash == std::string::npos
                                 ? "~" + fileName
                                 : fileName.substr(0, slash + 1) + "~" + fileName.substr(slash + 1);
        (void)ng::ReplaceTextFile(backup, lines);
        m_onDisk.clear();
        m_onDisk.reserve(lines.size());
        for (const auto& line : lines) {
            m_onDisk.push_back(std::hash<std::string_view>{}(line));
        }
        std::sort(m_onDisk.begin(), m_onDisk.end());
        size_t cap = maxHist > 0 ? static_cast<size_t>(maxHist) : 0;
        size_t skip = 0;
        if (m_names.empty() && lines.size() > cap) {
            skip = lines.size() - cap;
        }
        for (size_t i = skip; i < lines.size(); ++i) {
            m_names.push_back(std::move(lines[i]));
            if (m_names.size() > cap) {
                m_names.pop_front();
            }
        }
        m_index.Clear();
        for (size_t i = 0; i < m_names.size(); ++i) {
            m_index.Insert(m_names[i], i);
        }
        return true;
    }

    void Add(std::string name) {
        m_names.push_back(std::move(name));
        m_index.Insert(m_names.back(), m_names.size() - 1);
    }

    size_t Size() const { return m_names.size(); }

    std::optional<std::string> FindHit(std::string_view upperSubject) const {
        if (m_names.empty()) {
            return std::nullopt;
        }
        uint32_t best = 0;
        bool bestAtStart = false;
        const auto newest = static_cast<uint32_t>(m_names.size());
        m_index.Walk(upperSubject, 0, true, best, bestAtStart);
        for (size_t i = 0; i < upperSubject.size() && best != newest; ++i) {
            if (upperSubject[i] == ' ') {
                m_index.Walk(upperSubject, i + 1, false, best, bestAtStart);
            }
        }
        if (best == 0) {
            return std::nullopt;
        }
        std::string upperName = ng::ToUpperAscii(m_names[best - 1]);
        return bestAtStart ? upperName : " " + upperName;
    }

private:
    std::deque<std::string> m_names;
    TrieIndex m_index;
    std::vector<uint64_t> m_onDisk;
};

}  // namespace previous
