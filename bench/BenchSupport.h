#pragma once
// What the benchmarks share: the seconds-per-100,000 counter, and the made-up
// picture names and subjects of a day's overview that both history
// benchmarks draw from the same seeded generator.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace benchsupport {

// Items per second, and the time 100,000 items take, for `itemsPerIteration`
// items each iteration.
inline void SecondsPer100k(benchmark::State& state, double itemsPerIteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * itemsPerIteration));
    state.counters["s_per_100k"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * itemsPerIteration / 1e5,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

inline const char* const kWords[] = {
    "beach", "sunset", "holiday", "kitten", "garden", "city",     "night", "winter", "flowers",
    "car",   "train",  "bridge",  "summer", "party",  "mountain", "lake",  "dog",    "portrait"};
inline const char* const kExtensions[] = {".jpg", ".jpeg", ".gif", ".png"};

// A number from 0 to n - 1.
inline int Pick(std::mt19937& rng, int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(rng);
}

// A picture's file name as posters name them: "img_01234.jpg",
// "beach_dog_01234.gif", "lake-1999-234.png", "pic01234.jpeg".
inline std::string FileName(std::mt19937& rng) {
    auto pick = [&](int n) { return Pick(rng, n); };
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

// A subject naming a picture, about one in twenty of them a name of the
// history, in one of three forms and behind one of five prefixes.
inline std::string Subject(std::mt19937& rng, const std::vector<std::string>& history) {
    auto pick = [&](int n) { return Pick(rng, n); };
    const char* const prefixes[] = {"[alt.binaries.pictures] ", "", "", "Re: ", "FS: "};
    std::string file = pick(20) == 0
                           ? history[static_cast<size_t>(pick(static_cast<int>(history.size())))]
                           : FileName(rng);
    std::string subject = prefixes[pick(5)];
    switch (pick(3)) {
        case 0:
            subject += file + " (1/1)";
            break;
        case 1:
            subject += std::string("Nice ") + kWords[pick(18)] + " pictures - " + file + " yEnc (" +
                       std::to_string(1 + pick(3)) + "/3)";
            break;
        default:
            subject += std::string("My ") + kWords[pick(18)] + " and " + kWords[pick(18)] + " \"" +
                       file + "\" " + std::to_string(100 + pick(900)) + " KB";
            break;
    }
    return subject;
}

}  // namespace benchsupport
