// The history test over a day's overview lines: 100,000 subjects against a
// full history of 20,000 names, and 1,000,000 subjects against 200,000
// names, through the current index (FindHit), the previous one
// (bench/PreviousHistory.h) and, for the smaller set, the plain
// newest-to-oldest walk that upper-cases every name on the fly.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "PreviousHistory.h"
#include "store/DownloadHistory.h"
#include "support/HistoryWalk.h"

namespace {

// The plain walk takes about a millisecond per subject; it runs over every
// 100th subject and is scaled to the whole set.
constexpr int kWalkStride = 100;

struct Data {
    std::deque<std::string> names;      // oldest first
    std::vector<std::string> subjects;  // upper-cased, as the filter hands them over
    ng::DownloadHistory current;
    previous::DownloadHistory earlier;
};

// The data for `names` history names and `subjects` subjects, made once.
const Data& TheData(int names, int subjects) {
    static std::map<std::pair<int, int>, std::unique_ptr<Data>> made;
    auto& data = made[{names, subjects}];
    if (!data) {
        data = std::make_unique<Data>();
        std::mt19937 rng(4242);
        std::vector<std::string> list;
        for (int i = 0; i < names; ++i) {
            list.push_back(benchsupport::FileName(rng));
            data->names.push_back(list.back());
            data->current.Add(list.back());
            data->earlier.Add(list.back());
        }
        for (int i = 0; i < subjects; ++i) {
            data->subjects.push_back(ng::ToUpperAscii(benchsupport::Subject(rng, list)));
        }
    }
    return *data;
}

template <typename History>
void FindHits(benchmark::State& state, History Data::*history) {
    const Data& data = TheData(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    // Both indexes must decide alike on every subject.
    for (const auto& subject : data.subjects) {
        if (data.current.FindHit(subject) != data.earlier.FindHit(subject)) {
            state.SkipWithError("the current and the previous index disagree");
            return;
        }
    }
    int64_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const auto& subject : data.subjects) {
            auto hit = (data.*history).FindHit(subject);
            hits += hit.has_value();
            benchmark::DoNotOptimize(hit);
        }
    }
    state.counters["hits"] = static_cast<double>(hits);
    benchsupport::SecondsPer100k(state, static_cast<double>(data.subjects.size()));
}

void BM_FindHit(benchmark::State& state) {
    FindHits(state, &Data::current);
}
void BM_FindHitPrevious(benchmark::State& state) {
    FindHits(state, &Data::earlier);
}
BENCHMARK(BM_FindHit)
    ->ArgNames({"names", "subjects"})
    ->Args({20000, 100000})
    ->Args({200000, 1000000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindHitPrevious)
    ->ArgNames({"names", "subjects"})
    ->Args({20000, 100000})
    ->Args({200000, 1000000})
    ->Unit(benchmark::kMillisecond);

void BM_PlainWalk(benchmark::State& state) {
    const Data& data = TheData(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int64_t hits = 0;
    // Both ways must decide alike on the sampled subjects.
    for (size_t i = 0; i < data.subjects.size(); i += kWalkStride) {
        if (ngtest::PlainHistoryWalk(data.names, data.subjects[i]) !=
            data.current.FindHit(data.subjects[i])) {
            state.SkipWithError("FindHit and the plain walk disagree");
            return;
        }
    }
    for (auto _ : state) {
        hits = 0;
        for (size_t i = 0; i < data.subjects.size(); i += kWalkStride) {
            auto hit = ngtest::PlainHistoryWalk(data.names, data.subjects[i]);
            hits += hit.has_value();
            benchmark::DoNotOptimize(hit);
        }
    }
    state.counters["hits"] = static_cast<double>(hits);
    benchsupport::SecondsPer100k(state, static_cast<double>(data.subjects.size() / kWalkStride));
}
BENCHMARK(BM_PlainWalk)
    ->ArgNames({"names", "subjects"})
    ->Args({20000, 100000})
    ->Unit(benchmark::kMillisecond);

// Building the index for a full history name by name, as Add does.
template <typename History>
void BuildIndex(benchmark::State& state) {
    const Data& data = TheData(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        History history;
        for (const auto& name : data.names) {
            history.Add(name);
        }
        benchmark::DoNotOptimize(history);
    }
}
void BM_BuildIndex(benchmark::State& state) {
    BuildIndex<ng::DownloadHistory>(state);
}
void BM_BuildIndexPrevious(benchmark::State& state) {
    BuildIndex<previous::DownloadHistory>(state);
}
BENCHMARK(BM_BuildIndex)
    ->ArgNames({"names", "subjects"})
    ->Args({20000, 100000})
    ->Args({200000, 1000000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildIndexPrevious)
    ->ArgNames({"names", "subjects"})
    ->Args({20000, 100000})
    ->Args({200000, 1000000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
