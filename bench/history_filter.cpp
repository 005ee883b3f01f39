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

#include "store/DownloadHistory.h"

namespace {

constexpr int kHistoryNames = 20000;
constexpr int kSubjects = 100000;
// The plain walk takes about a millisecond per subject; it runs over every
// 100th subject and is scaled to the whole set.
constexpr int kWalkStride = 100;

const char* const kWords[] = {"beach",  "sunset", "holiday",  "kitten", "garden", "city",
                              "night",  "winter", "flowers",  "car",    "train",  "bridge",
                              "summer", "party",  "mountain", "lake",   "dog",    "portrait"};
const char* const kExtensions[] = {".jpg", ".jpeg", ".gif", ".png"};

struct Data {
    ng::DownloadHistory history;
    std::vector<std::string> subjects;  // upper-cased, as the filter hands them over
};

std::string FileName(std::mt19937& rng) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    char number[16];
    std::snprintf(number, sizeof number, "%05d", pick(100000));
    std::string name;
    switch (pick(4)) {
        case 0:
            name = std::string("img_") + number;
            break;
        case 1:
            name = std::string(kWords[pick(18)]) + "_" + kWords[pick(18)] + "_" + number;
            break;
        case 2:
            name = std::string(kWords[pick(18)]) + "-" + std::to_string(1990 + pick(30)) + "-" +
                   (number + 2);
            break;
        default:
            name = std::string("pic") + number;
            break;
    }
    return name + kExtensions[pick(4)];
}

const Data& TheData() {
    static const Data data = [] {
        Data d;
        std::mt19937 rng(4242);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        std::vector<std::string> names;
        for (int i = 0; i < kHistoryNames; ++i) {
            names.push_back(FileName(rng));
            d.history.Add(names.back());
        }
        const char* const groups[] = {"[alt.binaries.pictures] ", "", "", "Re: ", "FS: "};
        for (int i = 0; i < kSubjects; ++i) {
            // About one subject in twenty names a file already downloaded.
            std::string file =
                pick(20) == 0 ? names[static_cast<size_t>(pick(kHistoryNames))] : FileName(rng);
            std::string subject = groups[pick(5)];
            switch (pick(3)) {
                case 0:
                    subject += file + " (1/1)";
                    break;
                case 1:
                    subject += std::string("Nice ") + kWords[pick(18)] + " pictures - " + file +
                               " yEnc (" + std::to_string(1 + pick(3)) + "/3)";
                    break;
                default:
                    subject += std::string("My ") + kWords[pick(18)] + " and " + kWords[pick(18)] +
                               " \"" + file + "\" " + std::to_string(100 + pick(900)) + " KB";
                    break;
            }
            d.subjects.push_back(ng::ToUpperAscii(subject));
        }
        return d;
    }();
    return data;
}

// The history test as described: newest name first, each upper-cased anew.
std::optional<std::string> PlainWalk(const std::deque<std::string>& names,
                                     const std::string& subject) {
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it->size() <= 3) {
            continue;
        }
        std::string entry = ng::ToUpperAscii(*it);
        size_t at = subject.find(entry);
        if (at == 0) {
            return entry;
        }
        if (at != std::string::npos && subject.find(" " + entry) != std::string::npos) {
            return " " + entry;
        }
    }
    return std::nullopt;
}

void SecondsPer100k(benchmark::State& state, double subjectsPerIteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * subjectsPerIteration));
    state.counters["s_per_100k"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * subjectsPerIteration / 1e5,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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
    SecondsPer100k(state, kSubjects);
}
BENCHMARK(BM_FindHit)->Unit(benchmark::kMillisecond);

void BM_PlainWalk(benchmark::State& state) {
    const Data& data = TheData();
    int64_t hits = 0;
    // Both ways must decide alike on the sampled subjects.
    for (size_t i = 0; i < data.subjects.size(); i += kWalkStride) {
        if (PlainWalk(data.history.Names(), data.subjects[i]) !=
            data.history.FindHit(data.subjects[i])) {
            state.SkipWithError("FindHit and the plain walk disagree");
            return;
        }
    }
    for (auto _ : state) {
        hits = 0;
        for (size_t i = 0; i < data.subjects.size(); i += kWalkStride) {
            auto hit = PlainWalk(data.history.Names(), data.subjects[i]);
            hits += hit.has_value();
            benchmark::DoNotOptimize(hit);
        }
    }
    state.counters["hits"] = static_cast<double>(hits);
    SecondsPer100k(state, static_cast<double>(kSubjects / kWalkStride));
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
