#pragma once
// The hidden work folder where the parts of posts split over several
// articles wait for the rest, across passes. Each post has a folder of its
// own, named by a hash of the post's key (nothing from the server becomes a
// path), holding "state" (what is known of the post and its parts) and one
// file per part kept ("part-N", the piece's decoded bytes).
//
// No link is followed anywhere in it and nothing but regular files is read:
// a link or other file planted in place of a folder makes the post unusable,
// never a write elsewhere.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "store/WorkingFiles.h"

namespace ng {

class ContentDigest;

struct KeptPart {
    int64_t lines = 0;    // the part's line count from its overview line
    int64_t offset = -1;  // where its bytes go in the file; -1: in part order
    int64_t bytes = 0;
};

struct PartialPost {
    std::string key;
    int64_t total = 0;
    int64_t created = 0;  // seconds since the epoch when the first part was kept
    std::string name;     // the file's name, once a part gave it
    bool extensionGuessed = false;
    int64_t fileSize = -1;
    std::optional<uint32_t> fileCrc;
    std::map<int64_t, KeptPart> parts;  // by part number

    bool Complete() const { return total > 0 && static_cast<int64_t>(parts.size()) == total; }
    int64_t KeptLines() const;
};

class PartialPosts {
public:
    explicit PartialPosts(std::string root = files::kPartsFolder) : m_strRoot(std::move(root)) {}

    // What is kept of the post, or nullopt when nothing is.
    std::optional<PartialPost> Find(const std::string& key) const;
    // The post's folder (ending in "/"), made when missing. 0, or the errno
    // of the failure (ELOOP or ENOTDIR when something else is in the way).
    [[nodiscard]] int Folder(const std::string& key, std::string& folder) const;
    // Writes the post's state, replacing the old one whole. 0 or errno.
    [[nodiscard]] int Store(const PartialPost& post) const;
    // Opens a kept part for reading, or -1 (errno set).
    [[nodiscard]] int OpenPart(const std::string& key, int64_t part) const;
    // Removes the post's folder and everything in it.
    void Remove(const std::string& key) const;
    // Removes every post whose first part was kept before `cutoff`, and
    // folders without a readable state. How many posts went.
    int Expire(int64_t cutoff) const;
    // The posts waiting for parts, and the bytes of the parts they keep.
    struct Waiting {
        int posts = 0;
        int64_t bytes = 0;
    };
    Waiting WaitingPosts() const;

    static std::string PartFileName(int64_t part) { return "part-" + std::to_string(part); }

    // Joins the kept parts of a complete post into `fd`: parts with offsets
    // where they belong, which must cover the file exactly once; the others
    // one after another in part order. The file's size and CRC-32 are
    // checked against what the post says. `error` is the errno of a write
    // that failed (the folder's fault); `damage` says why the post does not
    // add up (its own fault). `digest`, when given, takes the joined bytes
    // on the way.
    struct Joined {
        int error = 0;
        std::string damage;
        int64_t size = 0;
    };
    [[nodiscard]] Joined Join(const PartialPost& post, int fd,
                              ContentDigest* digest = nullptr) const;

private:
    template <typename OnPost>
    void ForEachPost(OnPost&& onPost) const;
    std::string PostFolder(const std::string& key) const;
    void RemoveFolder(const std::string& path) const;
    std::optional<PartialPost> ReadState(const std::string& folder) const;

    std::string m_strRoot;
};

}  // namespace ng
