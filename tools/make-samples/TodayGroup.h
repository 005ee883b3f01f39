#pragma once
// A day of a picture group as posted today: single and multi-part yEnc in
// the subject and header forms of today's posting programs, MIME posts as
// Python's email package writes them, a few old uuencoded ones, and beside
// the pictures the archives, recovery files, videos and talk that share a
// picture group. Crossposts, a repost, an incomplete and a damaged post too.
// A manifest says what each article is and which pictures a reader should
// end up with, so a pass on it can be scored.

#include <cstdint>
#include <string>

namespace ngsample {

inline constexpr char kTodayGroup[] = "alt.binaries.pictures.today";
inline constexpr char kTodayMoreGroup[] = "alt.binaries.pictures.today.more";
inline constexpr char kTodayManifest[] = "today-manifest.json";

struct TodayOptions {
    std::string dir;
    int pictures = 150;  // distinct pictures a reader wants
    std::uint64_t seed = 1;
    bool quiet = false;
};

inline constexpr int kTodayMinPictures = 30;  // room for every kind of post
inline constexpr int kTodayMaxPictures = 2000;

// Writes DIR/<group>/<number> for both groups, DIR/today-manifest.json and
// the posted files under DIR/.originals/. The same options give the same
// bytes. Ends the program on a write error.
void WriteToday(const TodayOptions& options);

}  // namespace ngsample
