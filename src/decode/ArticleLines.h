#pragma once
// The lines of one article while it is read, kept end to end in one buffer.
// A line arrives as a string of its own and is let go at once, so holding a
// large article costs one buffer (reused from article to article) instead
// of a heap block per line held until the article has been decoded.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

class ArticleLines {
public:
    void Add(std::string_view line) {
        m_text.append(line);
        m_ends.push_back(m_text.size());
    }
    size_t Size() const { return m_ends.size(); }
    std::string_view operator[](size_t i) const {
        size_t start = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_text).substr(start, m_ends[i] - start);
    }
    // All lines end to end, and where line i starts in that text.
    std::string_view Text() const { return m_text; }
    size_t Start(size_t i) const { return i == 0 ? 0 : m_ends[i - 1]; }
    // The line that holds the byte at `offset` of Text() (Size() past the end).
    size_t LineAt(size_t offset) const {
        return static_cast<size_t>(std::upper_bound(m_ends.begin(), m_ends.end(), offset) -
                                   m_ends.begin());
    }
    // Empties the list and gives back its room.
    void Release() {
        std::string().swap(m_text);
        std::vector<size_t>().swap(m_ends);
    }
    // Empties the list; the room stays for the next article unless it grew
    // past what ordinary articles need.
    void Clear() {
        if (m_text.capacity() > kKeptRoom) {
            Release();
        } else {
            m_text.clear();
            m_ends.clear();
        }
    }

private:
    static constexpr size_t kKeptRoom = 16 * 1024 * 1024;
    std::string m_text;
    std::vector<size_t> m_ends;
};

}  // namespace ng
