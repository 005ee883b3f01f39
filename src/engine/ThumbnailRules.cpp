#include "engine/ThumbnailRules.h"

#include <algorithm>

namespace ng {

bool ThumbnailTakes(const std::string& path) {
    for (const char* type : {".jpg", ".png", ".gif", ".webp"}) {
        if (path.find(type) != std::string::npos) {
            return true;
        }
    }
    return path.empty();
}

std::string ThumbnailCaptionName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FullSizeRoom FullSizeRoomFor(int screenWidth, int screenHeight, int imageWidth, int imageHeight) {
    FullSizeRoom room;
    room.width = std::min(screenWidth - 10, imageWidth + 3);
    room.height = std::min(screenHeight - 50, imageHeight + 3);
    room.tallMode = screenHeight - 50 < imageHeight + 3 ? 1 : 0;
    return room;
}

}  // namespace ng
