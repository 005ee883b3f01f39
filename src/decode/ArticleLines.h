#pragma once
// The lines of one article while it is read, kept end to end in one buffer.
// A line arrives as a string of its own and is let go at once, so holding a
// large article costs one buffer (reused from article to article) instead
// of a heap block per line held until the article has been decoded.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

// An article line without its line end (LF, CR LF or a lone CR).
inline std::string_view WithoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
    }
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// Lines end to end in one text, line i ending where ends[i] says: how a
// block of an article's lines travels from the connection to the saver.
struct LineRun {
    std::string_view text;
    std::span<const uint32_t> ends;

    size_t Size() const { return ends.size(); }
    size_t Start(size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
    std::string_view operator[](size_t i) const {
        return text.substr(Start(i), ends[i] - Start(i));
    }
    // How many lines of [first, last) satisfy `keep`, up to the first that does not.
    template <typename Keep>
    size_t CountWhile(size_t first, size_t last, Keep&& keep) const {
        size_t i = first;
        while (i < last && keep((*this)[i])) {
            ++i;
        }
        return i - first;
    }
};

class ArticleLines {
public:
    void Add(std::string_view line) {
        m_text.append(line);
        m_ends.push_back(m_text.size());
    }
    // Lines [first, first + count) of a run, as Add would add them one by one.
    void Add(const LineRun& run, size_t first, size_t count) {
        if (count == 0) {
            return;
        }
        const size_t start = run.Start(first);
        const size_t base = m_text.size() - start;
        m_text.append(run.text.substr(start, run.ends[first + count - 1] - start));
        for (size_t i = first; i < first + count; ++i) {
            m_ends.push_back(base + run.ends[i]);
        }
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
