#pragma once
// Puts a complete picture, written out of sight in its folder, in place: a
// name without an extension gets the one of the picture's real type; bytes
// saved before under any name are not saved twice (when their hashes are
// kept); a taken name is never replaced or followed, and the picture goes
// under a free name beside it ("cat-1.jpg") unless the file there holds the
// same bytes.

#include <optional>
#include <string>

namespace ng {

class PictureHashes;
class StagedFile;

struct SaveOutcome {
    enum Kind {
        Saved,         // written under `name`
        Duplicate,     // `name` in the folder already holds the same bytes
        KnownContent,  // the same bytes were saved before, as `earlier`
        Damaged,       // the post's sizes or checksums do not add up (`damage`)
        NotPicture,    // `name` decoded to no picture, and only pictures are kept
        NotSaved,      // no name, or one the folder cannot hold: the article's own fault
        Failed,        // the folder cannot be written (`error`): the pass cannot go on
    };
    Kind kind = NotSaved;
    std::string name;     // the name really written, or the duplicate's
    std::string asked;    // the name the post gave
    std::string given;    // ... with its real type's extension when it had none
    std::string earlier;  // for KnownContent
    std::string damage;   // for Damaged
    int error = 0;
};

struct PlaceRequest {
    std::string dir;   // the folder, ending in "/"
    std::string name;  // the name the post gives
    bool extensionGuessed = false;
    StagedFile* raw = nullptr;        // a raw copy to place as name + "a", or none
    PictureHashes* hashes = nullptr;  // the saved pictures' hashes, when duplicates are skipped
    std::optional<std::string> hash;  // the picture's, taken while it was written; else read back
};

SaveOutcome PlacePicture(StagedFile& picture, const PlaceRequest& request);

// The name a picture keeps once its type is known: ".jpg" put on a name
// without extension becomes the real type's extension.
std::string NameByType(int fd, const std::string& name, bool extensionGuessed);

// "cat.jpg", then "cat-1.jpg", "cat-2.jpg", ...: the n-th name tried for a
// picture whose own name is taken.
std::string FreeNameCandidate(const std::string& name, int n);

}  // namespace ng
