#pragma once
// The files of a day's posts, made fast: most pictures are the first bytes
// of their format followed by random bytes of the size wanted, as a reader
// knows a picture by its first bytes alone. PNGs are real (zlib), and a few
// JPEGs come from the sample encoder. Beside them, the files that travel
// with pictures: archives, recovery sets and videos.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ngsample {

enum class FileType { Jpeg, JpegReal, Png, Gif, Webp, Rar, Zip, Par2, Mp4 };

// "jpeg", "png", ... as the manifest names them.
const char* FileTypeName(FileType type);

// Whether a reader should keep a file of this type as a picture.
bool IsPicture(FileType type);

// "picture", "archive", "par2" or "video".
const char* FileKindName(FileType type);

// The file's bytes: exactly `size` of them, except a real JPEG or PNG,
// which comes out near it. The same seed gives the same bytes.
std::string MakeFile(FileType type, std::size_t size, std::uint64_t seed);

// `count` random bytes from the seed.
std::string RandomBytes(std::size_t count, std::uint64_t seed);

}  // namespace ngsample
