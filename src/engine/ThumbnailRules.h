#pragma once
// The thumbnail's rules, apart from any window: which files it shows, the
// name its frame carries, and how large the full-size window is made.

#include <string>

namespace ng {

// Only pictures are shown: a path that contains ".jpg", ".png", ".gif" or
// ".webp" (exactly, in lower case, as the program names files by their
// type), or the empty path that clears the view.
bool ThumbnailTakes(const std::string& path);

// The frame's caption: the part of the path after its last "/", or the
// whole path when it has none. (The caller makes "&" show literally.)
std::string ThumbnailCaptionName(const std::string& path);

// The full-size window's picture room for a picture on a screen of the given
// size: up to the screen less 10 pixels across and 50 down, otherwise the
// picture and 3 pixels. Tall mode when the picture is taller than the room.
struct FullSizeRoom {
    int width = 0;
    int height = 0;
    int tallMode = 0;
    bool operator==(const FullSizeRoom&) const = default;
};
FullSizeRoom FullSizeRoomFor(int screenWidth, int screenHeight, int imageWidth, int imageHeight);

}  // namespace ng
