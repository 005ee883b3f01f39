#pragma once
// Where the articles of a pass come from, as the retrieval sees it: one
// article at a time, in the order the pending list gives, with the ones to
// come after it named so that they can be asked for ahead.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/ArticleLines.h"

namespace ng {

// One article as it is asked for: by number; its message-id also matches
// a reply that numbers it 0.
struct ArticleRequest {
    int64_t number = 0;
    std::string messageId;
};

// Lines of an article, end to end, with where each ends and the bytes it
// took on the wire: how they are handed over between threads.
struct LineBlock {
    std::string text;
    std::vector<uint32_t> ends;
    std::vector<uint32_t> received;

    void Add(std::string_view line, int64_t bytes) {
        text.append(line);
        ends.push_back(static_cast<uint32_t>(text.size()));
        received.push_back(static_cast<uint32_t>(bytes));
    }
    // Lines [first, last) of a run, each received as it is.
    void Add(const LineRun& run, size_t first, size_t last) {
        const size_t start = run.Start(first);
        const auto base = static_cast<uint32_t>(text.size() - start);
        text.append(run.text.substr(start, run.Start(last) - start));
        for (size_t i = first; i < last; ++i) {
            ends.push_back(base + run.ends[i]);
            received.push_back(run.ends[i] - static_cast<uint32_t>(run.Start(i)));
        }
    }
    bool Empty() const { return ends.empty(); }
    LineRun Run() const { return {text, ends}; }
};

// Where an article's body goes as it arrives. Begin comes before the first
// line, and again when the article is asked for anew after a reconnection:
// what came before it is to be forgotten.
class ArticleSink {
public:
    virtual ~ArticleSink() = default;
    virtual void Begin() = 0;
    virtual void Line(std::string_view line, int64_t received) = 0;
    // Lines each received as it is; the same as each of them through Line.
    virtual void Run(const LineRun& run) {
        for (size_t i = 0; i < run.Size(); ++i) {
            Line(run[i], static_cast<int64_t>(run[i].size()));
        }
    }
    // A block of lines at once; the same as each of them through Line.
    virtual void Lines(const LineBlock& block) {
        const LineRun run = block.Run();
        for (size_t i = 0; i < run.Size(); ++i) {
            Line(run[i], block.received[i]);
        }
    }
};

enum class FetchResult {
    Body,     // the article came whole, into the sink
    Missing,  // the server has no such article (now)
    Failed,   // the connection could not be kept up: the pass ends
    Stopped,
};

class ArticleSource {
public:
    virtual ~ArticleSource() = default;
    // Fetches one article into the sink; `upcoming` are the articles to be
    // asked for after it, in order.
    virtual FetchResult Fetch(const ArticleRequest& wanted,
                              const std::vector<ArticleRequest>& upcoming, ArticleSink& sink) = 0;
};

}  // namespace ng
