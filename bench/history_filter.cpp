// The history test over a day's overview lines: 100,000 subjects against a
// full history of 20,000 names, through the index (FindHit) and through the
// plain newest-to-oldest walk that upper-cases every name on the fly.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "store/DownloadHistory.h"
#include "support/HistoryWalk.h"

namespace {

constexpr int kHistoryNames = 20000;
constexpr int kSubjects = 100000;
// The plain walk takes about a millisecond per subject; it runs over every
// 100th subject and is scaled to the whole set.
constexpr int kWalkStride = 100;

struct Data {
    ng::DownloadHistory history;
    std::vector<std::string> subjects;  // upper-cased, as the filter hands them over
};

const Data& TheData() {
    static const Data data = [] {
        Data d;
        std::mt19937 rng(4242);
        std::vector<std::string> names;
        for (int i = 0; i < kHistoryNames; ++i) {
            names.push_back(benchsupport::FileName(rng));
            d.history.Add(names.back());
        }
        for (int i = 0; i < kSubjects; ++i) {
            d.subjects.push_back(ng::ToUpperAscii(benchsupport::Subject(rng, names)));
        }
        return d;
    }();
    return data;
}

void BM_FindHit(benchmark::State& state) {
    const Data& data = TheData();
    int64_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const auto& subject : data.subjects) {
            auto hit = data.history.FindHit(subject);
            hits += hit.has_value();
            benchmark::DoNotOptimize(hit);
        }
    }
    state.counters["hits"] = static_cast<double>(hits);
    benchsupport::SecondsPer100k(state, kSubjects);
}
BENCHMARK(BM_FindHit)->Unit(benchmark::kMillisecond);

void BM_PlainWalk(benchmark::State& state) {
    const Data& data = TheData();
    int64_t hits = 0;
    // Both ways must decide alike on the sampled subjects.
    for (size_t i = 0; i < data.subjects.size(); i += kWalkStride) {
        if (ngtest::PlainHistoryWalk(data.history.Names(), data.subjects[i]) !=
            data.history.FindHit(data.subjects[i])) {
            state.SkipWithError("FindHit and the plain walk disagree");
            return;
        }
    }
    for (auto _ : state) {
        hits = 0;
        for (size_t i = 0; i < data.subjects.size(); i += kWalkStride) {
            auto hit = ngtest::PlainHistoryWalk(data.history.Names(), data.subjects[i]);
            hits += hit.has_value();
            benchmark::DoNotOptimize(hit);
        }
    }
    state.counters["hits"] = static_cast<double>(hits);
    benchsupport::SecondsPer100k(state, static_cast<double>(kSubjects / kWalkStride));
}
BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond);

// Building the index for a full history, as Load does once per pass.
void BM_BuildIndex(benchmark::State& state) {
    const Data& data = TheData();
    for (auto _ : state) {
        ng::DownloadHistory history;
        for (const auto& name : data.history.Names()) {
            history.Add(name);
        }
        benchmark::DoNotOptimize(history);
    }
}
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
