// The header filter over a day's overview: 100,000 overview lines through
// ParseOverviewLine and the header filter against a history of 20,000
// names, and 1,000,000 lines against 200,000 names; beside it, for the
// smaller set, the straightforward filter that walks the whole history
// newest first for every header, upper-casing each name on the fly.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "BenchSupport.h"
#include "engine/HeaderFilter.h"
#include "nntp/Overview.h"
#include "store/DownloadHistory.h"
#include "support/HistoryWalk.h"

namespace {

// The walk takes about a millisecond a header: it runs over every 100th
// header and is scaled to the whole set.
constexpr int kWalkStride = 100;

struct Data {
    std::vector<std::string> history;  // oldest first, lower case as the pass stores them
    std::vector<std::string> lines;    // overview lines with CR LF
};

// The overview of `headers` lines and a history of `names` names, made once.
const Data& TheData(int headers, int names) {
    static std::map<std::pair<int, int>, std::unique_ptr<Data>> made;
    auto& data = made[{headers, names}];
    if (!data) {
        data = std::make_unique<Data>();
        Data& d = *data;
        std::mt19937 rng(4242);
        const char* const senders[] = {"Ann <ann@example.com>", "bob@example.net (Bob)",
                                       "Spammer <x@spam.example>", "Cy <cy@example.org>"};
        auto pick = [&](int n) { return benchsupport::Pick(rng, n); };
        for (int i = 0; i < names; ++i) {
            d.history.push_back(benchsupport::FileName(rng));
        }
        std::vector<std::string> subjects;
        for (int i = 0; i < headers; ++i) {
            std::string subject;
            if (!subjects.empty() && pick(50) == 0) {
                subject = subjects[static_cast<size_t>(pick(static_cast<int>(subjects.size())))];
            } else {
                subject = benchsupport::Subject(rng, d.history);
            }
            subjects.push_back(subject);
            int lines = pick(10) == 0 ? pick(500) : 500 + pick(2500);
            d.lines.push_back(std::to_string(1000 + i) + "\t" + subject + "\t" + senders[pick(4)] +
                              "\tMon, 1 Jan 2024 00:00:00 GMT\t<" + std::to_string(i) +
                              "@example>\t\t" + std::to_string(lines * 62) + "\t" +
                              std::to_string(lines) + "\tXref: example\r\n");
        }
    }
    return *data;
}

// The filter settings of the pass, upper-cased as the worker keeps them.
const std::vector<std::string> kIncludes = {"JPG", "JPEG", "GIF", "PNG"};
const std::vector<std::string> kExcludes = {"FS:"};
const std::vector<std::string> kFromExcludes = {"@SPAM.EXAMPLE"};
constexpr int kMinLines = 500;
constexpr int kMaxLines = 3000;

// The filter as a pass sets it up after loading the history.
struct Engine {
    const Data& data;
    ng::FilterSettings settings;
    ng::DownloadHistory history;
    explicit Engine(const Data& d) : data(d) {
        settings.minLines = kMinLines;
        settings.maxLines = kMaxLines;
        settings.subjectIncludes = kIncludes;
        settings.subjectExcludes = kExcludes;
        settings.fromExcludes = kFromExcludes;
        for (const auto& name : data.history) {
            history.Add(name);
        }
    }
    // The scan of one group's overview, as the pass runs it. The decision
    // for each line goes to `accepted` when given.
    int Scan(std::vector<char>* accepted) {
        ng::HeaderFilter filter(settings, history);
        int count = 0;
        for (const auto& line : data.lines) {
            ng::OverviewFields f = ng::ParseOverviewLine(line);
            bool ok = filter.AcceptHeader(f.subject, f.from, f.lines).verdict ==
                      ng::HeaderFilter::Verdict::Accept;
            if (ok) {
                filter.NoteAccepted(f.subject);
                ++count;
            }
            if (accepted) {
                accepted->push_back(ok);
            }
        }
        return count;
    }
};

// Every decision of the engine, and for each header whether its subject
// was accepted earlier in the scan (the crosspost test, shared by both).
struct Reference {
    std::vector<char> accepted;
    std::vector<char> crosspost;
};

struct Setup {
    Engine engine;
    Reference reference;
    explicit Setup(const Data& data) : engine(data) {
        engine.Scan(&reference.accepted);
        std::unordered_set<std::string> seen;
        for (size_t i = 0; i < data.lines.size(); ++i) {
            std::string subject = ng::ParseOverviewLine(data.lines[i]).subject;
            reference.crosspost.push_back(seen.count(subject) != 0);
            if (reference.accepted[i]) {
                seen.insert(subject);
            }
        }
    }
};

Setup& TheSetup(const benchmark::State& state) {
    static std::map<std::pair<int64_t, int64_t>, std::unique_ptr<Setup>> made;
    auto& setup = made[{state.range(0), state.range(1)}];
    if (!setup) {
        setup = std::make_unique<Setup>(
            TheData(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    }
    return *setup;
}

// The straightforward filter: the same tests in the same order, with the
// history walked from its newest name to its oldest, each upper-cased anew.
bool WalkAccept(const std::deque<std::string>& history, const std::string& line,
                bool acceptedBefore) {
    ng::OverviewFields f = ng::ParseOverviewLine(line);
    if (f.lines < kMinLines || f.lines > kMaxLines) {
        return false;
    }
    std::string subject = ng::ToUpperAscii(f.subject);
    if (!ngtest::ContainsAnyTerm(kIncludes, subject) ||
        ngtest::ContainsAnyTerm(kExcludes, subject) ||
        ngtest::ContainsAnyTerm(kFromExcludes, ng::ToUpperAscii(f.from))) {
        return false;
    }
    if (ngtest::PlainHistoryWalk(history, subject)) {
        return false;
    }
    return !acceptedBefore;
}

void BM_AcceptHeader(benchmark::State& state) {
    Setup& setup = TheSetup(state);
    int accepted = 0;
    for (auto _ : state) {
        accepted = setup.engine.Scan(nullptr);
        benchmark::DoNotOptimize(accepted);
    }
    int expected = 0;
    for (char a : setup.reference.accepted) {
        expected += a;
    }
    if (accepted != expected) {
        state.SkipWithError("the scan decided differently from one run to the next");
    }
    state.counters["accepted"] = accepted;
    benchsupport::SecondsPer100k(state, static_cast<double>(setup.engine.data.lines.size()));
}
BENCHMARK(BM_AcceptHeader)
    ->ArgNames({"lines", "names"})
    ->Args({100000, 20000})
    ->Args({1000000, 200000})
    ->Unit(benchmark::kMillisecond);

void BM_PlainWalk(benchmark::State& state) {
    Setup& setup = TheSetup(state);
    const Data& data = setup.engine.data;
    const Reference& reference = setup.reference;
    const std::deque<std::string> history(data.history.begin(), data.history.end());
    // Both filters must decide alike on the sampled headers.
    for (size_t i = 0; i < data.lines.size(); i += kWalkStride) {
        if (WalkAccept(history, data.lines[i], reference.crosspost[i]) !=
            static_cast<bool>(reference.accepted[i])) {
            state.SkipWithError("AcceptHeader and the plain walk disagree");
            return;
        }
    }
    for (auto _ : state) {
        int accepted = 0;
        for (size_t i = 0; i < data.lines.size(); i += kWalkStride) {
            accepted += WalkAccept(history, data.lines[i], reference.crosspost[i]);
        }
        benchmark::DoNotOptimize(accepted);
    }
    benchsupport::SecondsPer100k(state, static_cast<double>(data.lines.size() / kWalkStride));
}
BENCHMARK(BM_PlainWalk)
    ->ArgNames({"lines", "names"})
    ->Args({100000, 20000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
