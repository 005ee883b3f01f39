#pragma once
// What kind of picture a file holds, told by its first bytes: a name from
// the server without an extension gets the one of its real type, and base64
// decoding starts where a picture starts.

#include <string_view>

namespace ng {

enum class PictureType { Unknown, Jpeg, Png, Gif, Webp };

// Bytes needed to tell every type apart.
inline constexpr size_t kPictureSignatureBytes = 12;

// The type whose signature the bytes begin with.
PictureType SniffPictureType(std::string_view head);

// ".jpg", ".png", ".gif", ".webp"; "" for Unknown.
std::string_view PictureExtension(PictureType type);

// Whether a base64 line begins a picture: "/9j/" (a JPEG, as it always
// was), or the base64 form of a PNG, GIF or WebP signature.
bool StartsBase64Picture(std::string_view line);

}  // namespace ng
