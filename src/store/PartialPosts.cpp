#include "store/PartialPosts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include <zlib.h>

#include <algorithm>

#include "platform/ContentHash.h"
#include "platform/FileNames.h"
#include "platform/Numbers.h"
#include "platform/TextFile.h"

namespace ng {

namespace {

constexpr char kStateFile[] = "state";
constexpr char kPostPrefix[] = "post-";

// Makes the folder when missing; 0 when it is a real folder (not a link).
int EnsureFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno;
    }
    if (S_ISLNK(st.st_mode)) {
        return ELOOP;
    }
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string HexCrc(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

// "word value": the value after the first blank.
std::string_view ValueAfter(std::string_view line, std::string_view word) {
    if (line.size() > word.size() && line.starts_with(word) && line[word.size()] == ' ') {
        return line.substr(word.size() + 1);
    }
    return {};
}

// Copies `bytes` bytes of `from` into `to` at `offset`, adding them to the
// CRC (and the digest) on the way. 0 or errno; EIO for a part shorter than
// its state says.
int CopyPart(int from, int to, int64_t offset, int64_t bytes, uLong& crc, ContentDigest* digest) {
    std::vector<unsigned char> buffer(1 << 16);
    for (int64_t done = 0; done < bytes;) {
        size_t want = static_cast<size_t>(std::min<int64_t>(buffer.size(), bytes - done));
        ssize_t n = ::pread(from, buffer.data(), want, done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? EIO : errno;
        }
        crc = crc32_z(crc, buffer.data(), static_cast<size_t>(n));
        if (digest) {
            digest->Update(buffer.data(), static_cast<size_t>(n));
        }
        for (ssize_t put = 0; put < n;) {
            ssize_t m = ::pwrite(to, buffer.data() + put, static_cast<size_t>(n - put),
                                 offset + done + put);
            if (m < 0 && errno == EINTR) {
                continue;
            }
            if (m <= 0) {
                return m == 0 ? EIO : errno;
            }
            put += m;
        }
        done += n;
    }
    return 0;
}

}  // namespace

PartialPosts::Joined PartialPosts::Join(const PartialPost& post, int fd,
                                        ContentDigest* digest) const {
    Joined joined;
    std::vector<std::pair<int64_t, KeptPart>> order(post.parts.begin(), post.parts.end());
    if (order.empty()) {
        joined.damage = "no part is kept";
        return joined;
    }
    const bool byOffset = order.front().second.offset >= 0;
    if (byOffset) {
        // Part numbers need not follow the offsets.
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
            return a.second.offset < b.second.offset;
        });
    }
    for (const auto& [number, part] : order) {
        if (byOffset && part.offset != joined.size) {
            joined.damage = "the parts do not cover the file once";
        }
        joined.size += part.bytes;
    }
    if (post.fileSize >= 0 && joined.size != post.fileSize) {
        joined.damage = "the parts hold " + std::to_string(joined.size) + " bytes of " +
                        std::to_string(post.fileSize);
    }
    if (post.name.empty()) {
        joined.damage = "no part names the file";
    }
    // In offset order the copy runs from the file's start to its end, so
    // the CRC is taken on the way, without reading the file back.
    uLong crc = crc32_z(0, nullptr, 0);
    int64_t at = 0;
    for (auto it = order.begin(); joined.damage.empty() && it != order.end(); ++it) {
        const auto& [number, part] = *it;
        int in = OpenPart(post.key, number);
        if (in < 0) {
            joined.damage = "part " + std::to_string(number) + " is missing from the work folder";
            break;
        }
        int error = CopyPart(in, fd, at, part.bytes, crc, digest);
        ::close(in);
        at += part.bytes;
        if (error == EIO) {
            joined.damage = "part " + std::to_string(number) + " is cut short in the work folder";
        } else if (error != 0) {
            joined.error = error;
            return joined;
        }
    }
    if (joined.damage.empty() && post.fileCrc && static_cast<uint32_t>(crc) != *post.fileCrc) {
        joined.damage = "the joined file's CRC does not match";
    }
    return joined;
}

int64_t PartialPost::KeptLines() const {
    int64_t lines = 0;
    for (const auto& [number, part] : parts) {
        lines += part.lines;
    }
    return lines;
}

std::string PartialPosts::PostFolder(const std::string& key) const {
    return m_strRoot + "/" + kPostPrefix + Sha256OfText(key).substr(0, 32) + "/";
}

std::optional<PartialPost> PartialPosts::Find(const std::string& key) const {
    auto post = ReadState(PostFolder(key));
    if (post && post->key != key) {
        return std::nullopt;  // another key with the same hash prefix: not ours
    }
    return post;
}

int PartialPosts::Folder(const std::string& key, std::string& folder) const {
    folder = PostFolder(key);
    if (int error = EnsureFolder(m_strRoot); error != 0) {
        return error;
    }
    return EnsureFolder(folder.substr(0, folder.size() - 1));
}

int PartialPosts::Store(const PartialPost& post) const {
    std::string folder;
    if (int error = Folder(post.key, folder); error != 0) {
        return error;
    }
    std::vector<std::string> lines{
        "key " + post.key,
        "total " + std::to_string(post.total),
        "created " + std::to_string(post.created),
        "size " + std::to_string(post.fileSize),
        "guessed " + std::string(post.extensionGuessed ? "1" : "0"),
    };
    if (post.fileCrc) {
        lines.push_back("crc " + HexCrc(*post.fileCrc));
    }
    for (const auto& [number, part] : post.parts) {
        lines.push_back("part " + std::to_string(number) + " " + std::to_string(part.lines) + " " +
                        std::to_string(part.offset) + " " + std::to_string(part.bytes));
    }
    lines.push_back("name " + post.name);  // last: a name runs to the line's end
    int error = 0;
    return ReplaceTextFile(folder + kStateFile, lines, &error, 0600) ? 0 : error;
}

std::optional<PartialPost> PartialPosts::ReadState(const std::string& folder) const {
    std::vector<std::string> lines;
    // Nothing but a regular file is read as a state: a link is not followed.
    if (!IsRealFolder(folder.substr(0, folder.size() - 1)) || !IsRegularFile(folder + kStateFile) ||
        !ReadTextLines(folder + kStateFile, lines)) {
        return std::nullopt;
    }
    PartialPost post;
    for (const std::string& line : lines) {
        std::string_view text = line;
        if (line.starts_with("key ")) {
            post.key = std::string(ValueAfter(text, "key"));
        } else if (line.starts_with("total ")) {
            post.total = LeadingNumber(ValueAfter(text, "total"));
        } else if (line.starts_with("created ")) {
            post.created = LeadingNumber(ValueAfter(text, "created"));
        } else if (line.starts_with("size ")) {
            post.fileSize = LeadingNumber(ValueAfter(text, "size"));
        } else if (line.starts_with("guessed ")) {
            post.extensionGuessed = ValueAfter(text, "guessed") == "1";
        } else if (line.starts_with("crc ")) {
            post.fileCrc = static_cast<uint32_t>(
                std::strtoul(std::string(ValueAfter(text, "crc")).c_str(), nullptr, 16));
        } else if (line.starts_with("name ")) {
            // Read back, a name is trusted no more than it was from the server.
            post.name = SafeLeafName(ValueAfter(text, "name")).value_or("");
        } else if (line.starts_with("part ")) {
            int64_t number = 0;
            KeptPart part;
            long long values[4] = {0, 0, 0, 0};
            if (std::sscanf(line.c_str() + 5, "%lld %lld %lld %lld", &values[0], &values[1],
                            &values[2], &values[3]) == 4) {
                number = values[0];
                part = {values[1], values[2], values[3]};
                post.parts[number] = part;
            }
        }
    }
    if (post.key.empty() || post.total < 2) {
        return std::nullopt;
    }
    return post;
}

int PartialPosts::OpenPart(const std::string& key, int64_t part) const {
    const std::string path = PostFolder(key) + PartFileName(part);
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

void PartialPosts::RemoveFolder(const std::string& path) const {
    // O_NOFOLLOW: a link in the folder's place is left alone, and
    // unlinkat removes names without following them.
    int dirFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) {
        return;
    }
    // The state goes first: a removal cut short (the pass killed) leaves
    // parts without a state, which count as nothing kept, never a state
    // that lists parts already gone.
    ::unlinkat(dirFd, kStateFile, 0);
    if (DIR* dir = ::fdopendir(dirFd)) {
        std::vector<std::string> names;
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(std::move(name));
            }
        }
        for (const std::string& name : names) {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
        ::closedir(dir);  // closes dirFd too
    } else {
        ::close(dirFd);
    }
    ::rmdir(path.c_str());
}

void PartialPosts::Remove(const std::string& key) const {
    std::string folder = PostFolder(key);
    RemoveFolder(folder.substr(0, folder.size() - 1));
}

// Every post folder with what could be read of its state.
template <typename OnPost>
void PartialPosts::ForEachPost(OnPost&& onPost) const {
    DIR* dir = ::opendir(m_strRoot.c_str());
    if (!dir) {
        return;
    }
    if (!IsRealFolder(m_strRoot)) {
        ::closedir(dir);
        return;
    }
    std::vector<std::string> folders;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.starts_with(kPostPrefix)) {
            folders.push_back(m_strRoot + "/" + name);
        }
    }
    ::closedir(dir);
    for (const std::string& folder : folders) {
        onPost(folder, ReadState(folder + "/"));
    }
}

int PartialPosts::Expire(int64_t cutoff) const {
    int removed = 0;
    std::vector<std::string> doomed;
    ForEachPost([&](const std::string& folder, const std::optional<PartialPost>& post) {
        if (!post || post->created < cutoff) {
            doomed.push_back(folder);
            removed += post ? 1 : 0;
        }
    });
    for (const std::string& folder : doomed) {
        RemoveFolder(folder);
    }
    return removed;
}

PartialPosts::Waiting PartialPosts::WaitingPosts() const {
    Waiting waiting;
    ForEachPost([&](const std::string&, const std::optional<PartialPost>& post) {
        if (post) {
            ++waiting.posts;
            for (const auto& [number, part] : post->parts) {
                waiting.bytes += part.bytes;
            }
        }
    });
    return waiting;
}

}  // namespace ng
