// Loading a download history of 1,000,000 names, as a pass does at its
// start (read, backup, cap, index), the current list beside the previous
// one (bench/PreviousHistory.h): the time, and the heap the list takes,
// counted by this program's own operator new: the peak during Load and
// what the loaded list keeps, in MB and as multiples of the file's size.
// The file and its backup live in $TMPDIR (or /tmp); the backup is written
// through fsync, so run with TMPDIR=/dev/shm to leave the disk out.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "BenchSupport.h"
#include "PreviousHistory.h"
#include "store/DownloadHistory.h"
#include "support/TempDir.h"

namespace {

std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};

void* Counted(void* p) {
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    int64_t live = g_live += static_cast<int64_t>(malloc_usable_size(p));
    for (int64_t peak = g_peak; live > peak && !g_peak.compare_exchange_weak(peak, live);) {
    }
    return p;
}

void Uncounted(void* p) {
    if (p != nullptr) {
        g_live -= static_cast<int64_t>(malloc_usable_size(p));
        std::free(p);
    }
}

}  // namespace

void* operator new(size_t n) {
    return Counted(std::malloc(n));
}
void* operator new[](size_t n) {
    return Counted(std::malloc(n));
}
void* operator new(size_t n, std::align_val_t a) {
    return Counted(std::aligned_alloc(
        static_cast<size_t>(a), (n + static_cast<size_t>(a) - 1) & ~(static_cast<size_t>(a) - 1)));
}
void* operator new[](size_t n, std::align_val_t a) {
    return operator new(n, a);
}
void operator delete(void* p) noexcept {
    Uncounted(p);
}
void operator delete[](void* p) noexcept {
    Uncounted(p);
}
void operator delete(void* p, size_t) noexcept {
    Uncounted(p);
}
void operator delete[](void* p, size_t) noexcept {
    Uncounted(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    Uncounted(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    Uncounted(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    Uncounted(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    Uncounted(p);
}

namespace {

constexpr int kNames = 1000000;

struct HistoryFile {
    ngtest::TempDir dir{"ngbench-"};
    std::string path = dir.Path() + "/HistList";
    size_t size = 0;
    HistoryFile() {
        std::mt19937 rng(4242);
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kNames; ++i) {
            std::string name = benchsupport::FileName(rng) + "\n";
            size += name.size();
            out << name;
        }
    }
};

const HistoryFile& TheFile() {
    static const HistoryFile file;
    return file;
}

constexpr double kMB = 1e6;

template <typename History>
void BM_Load(benchmark::State& state) {
    const HistoryFile& file = TheFile();
    int64_t peak = 0;
    int64_t kept = 0;
    size_t names = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto history = std::make_unique<History>();
        const int64_t before = g_live;
        g_peak = before;
        state.ResumeTiming();

        bool ok = history->Load(file.path, kNames);

        state.PauseTiming();
        peak = g_peak - before;
        kept = g_live - before;
        names = history->Size();
        history.reset();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the history could not be loaded");
            return;
        }
    }
    if (names != static_cast<size_t>(kNames)) {
        state.SkipWithError("not every name was loaded");
    }
    const auto fileSize = static_cast<double>(file.size);
    state.counters["file_MB"] = fileSize / kMB;
    state.counters["peak_MB"] = static_cast<double>(peak) / kMB;
    state.counters["kept_MB"] = static_cast<double>(kept) / kMB;
    state.counters["peak_x_file"] = static_cast<double>(peak) / fileSize;
    state.counters["kept_x_file"] = static_cast<double>(kept) / fileSize;
}

BENCHMARK_TEMPLATE(BM_Load, previous::DownloadHistory)
    ->Name("BM_Load/previous")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_Load, ng::DownloadHistory)
    ->Name("BM_Load/current")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
