#pragma once
// What kind of picture a file holds, told by its first bytes: a name from
// the server without an extension gets the one of its real type, and only
// pictures are kept when the user wants nothing else.

#include <string_view>

namespace ng {

enum class PictureType { Unknown, Jpeg, Png, Gif, Webp, Bmp, Tiff };

// Bytes needed to tell every type apart (a BMP's gives the size of the
// header after it, at bytes 14 to 17).
inline constexpr size_t kPictureSignatureBytes = 18;

// The type whose signature the bytes begin with.
PictureType SniffPictureType(std::string_view head);

// ".jpg", ".png", ".gif", ".webp", ".bmp", ".tif"; "" for Unknown.
std::string_view PictureExtension(PictureType type);

// Whether the file (from its start, whatever its offset) holds a picture
// of a known type.
bool IsPictureFile(int fd);

// Whether a base64 line begins a picture: "/9j/" (a JPEG, as it always
// was), or the base64 form of another type's signature.
bool StartsBase64Picture(std::string_view line);

}  // namespace ng
