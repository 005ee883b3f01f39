// Whole articles as the pass decodes them. Articles other programs wrote,
// most of them from other projects' test suites (articles/README.md says
// whose), checked byte for byte against independent decoders: Python's
// email package and binascii (articles/extract.py), uudeview, or the
// picture an article of our own was made from. Damaged attachments, and
// names taken from subjects.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "decode/ArticleAttachments.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/PictureType.h"
#include "decode/SubjectName.h"
#include "support/Encoders.h"
#include "support/TestSupport.h"

namespace {

const std::string kArticles = NG_SOURCE_DIR "/tests/decode/articles/";

struct Found {
    std::string name;
    ng::DecodeStatus status;
    std::string bytes;
};

std::string ReadBack(int fd) {
    std::string bytes;
    char buffer[65536];
    for (ssize_t n;
         (n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()))) > 0;) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

// The article's lines as a server sends them, CR LF ended.
std::vector<std::string> WireLines(const std::string& raw) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < raw.size();) {
        size_t end = raw.find('\n', at);
        end = end == std::string::npos ? raw.size() : end + 1;
        std::string line = raw.substr(at, end - at);
        if (line.ends_with('\n') && !line.ends_with("\r\n")) {
            line.insert(line.size() - 1, "\r");
        }
        lines.push_back(std::move(line));
        at = end;
    }
    return lines;
}

// Every attachment of the article, found and decoded as the saver does
// (the formats notice each line as it comes; the subject is the header's).
std::vector<Found> DecodeArticle(const std::string& raw) {
    std::vector<std::unique_ptr<ng::AttachmentFormat>> formats;
    formats.push_back(ng::MakeYencFormat());
    formats.push_back(ng::MakeUuFormat());
    formats.push_back(ng::MakeBase64Format());
    ng::ArticleLines lines;
    std::string subject;
    for (const std::string& line : WireLines(raw)) {
        if (subject.empty() && line.starts_with("Subject: ")) {
            subject = line.substr(9, line.size() - 11);
        }
        for (auto& format : formats) {
            if (format->Notice(line).dataLine) {
                break;
            }
        }
        lines.Add(line);
    }
    std::vector<Found> found;
    for (const ng::Attachment& a : ng::FindAttachments(lines, formats, subject)) {
        int fd = ::memfd_create("attachment", 0);
        Found& f = found.emplace_back();
        f.name = a.name;
        f.status = a.format->Decode(lines, a, {fd, -1, nullptr});
        f.bytes = ReadBack(fd);
        ::close(fd);
    }
    return found;
}

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool Have(const char* tool) {
    return Run(std::string("command -v ") + tool);
}

// What an independent decoder makes of the article: name and bytes of each
// attachment in article order.
using Files = std::vector<std::pair<std::string, std::string>>;

Files ByPython(const std::string& article) {
    ngtest::TempDir out;
    Files files;
    if (!Run("python3 '" + kArticles + "extract.py' '" + article + "' '" + out.Path() + "'")) {
        ADD_FAILURE() << "extract.py failed on " << article;
        return files;
    }
    const std::string names = ngtest::ReadFile(out.File("names"));
    for (size_t at = 0, n = 0; at < names.size(); ++n) {
        const size_t end = names.find('\n', at);
        files.emplace_back(names.substr(at, end - at),
                           ngtest::ReadFile(out.File(std::to_string(n))));
        at = end + 1;
    }
    return files;
}

// uudeview names its files itself: they come in the order of their names.
Files ByUudeview(const std::string& articles) {
    ngtest::TempDir out;
    Files files;
    if (!Run("cd '" + kArticles + "' && uudeview -i -q -p '" + out.Path() + "/' " + articles)) {
        ADD_FAILURE() << "uudeview failed on " << articles;
        return files;
    }
    std::map<std::string, std::string> byName;
    for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
        byName[entry.path().filename()] = ngtest::ReadFile(entry.path());
    }
    return Files(byName.begin(), byName.end());
}

enum class Tool { Python, Uudeview, Original };

struct Case {
    const char* article;
    Tool tool;
    std::vector<std::string> names;   // ours, in article order
    std::vector<std::string> theirs;  // the independent decoder's, in its order
};

TEST(RealArticles, DecodeLikeIndependentDecoders) {
    if (!Have("python3") || !Have("uudeview")) {
        GTEST_SKIP() << "python3 and uudeview are the independent decoders";
    }
    const Case cases[] = {
        // Python's email tests: a lower-case content-disposition; a
        // multipart within a multipart; two pictures, each under its own
        // name; a BMP named by Content-Disposition, not Content-Type.
        {"python/msg_07.txt", Tool::Python, {"dingusfish.gif"}, {"dingusfish.gif"}},
        {"python/msg_13.txt", Tool::Python, {"dingusfish.gif"}, {"dingusfish.gif"}},
        {"python/msg_22.txt",
         Tool::Python,
         {"wibble.JPG", "wibble2.JPG"},
         {"wibble.JPG", "wibble2.JPG"}},
        {"python/msg_26.txt", Tool::Python, {"clock.bmp"}, {"clock.bmp"}},
        // uudeview's tests: base64 and x-uuencode parts, uu with LF and
        // CR LF ends and an odd mode, yEnc; a nameless begin line, whose
        // subject names no picture ("ftp.example.com/test.txt").
        {"uudeview/mime-base64.good.msg", Tool::Python, {"test.txt"}, {"test.txt"}},
        {"uudeview/mime-uuencode.good.msg", Tool::Python, {"test.txt"}, {"test.txt"}},
        {"uudeview/plain-uuencode.good.msg", Tool::Uudeview, {"test.txt"}, {"test.txt"}},
        {"uudeview/uuencode-dos-crlf.good.msg", Tool::Uudeview, {"test.txt"}, {"test.txt"}},
        {"uudeview/uuencode-suid-permissions.good.msg", Tool::Uudeview, {"test.txt"}, {"test.txt"}},
        {"uudeview/plain-yenc.good.msg", Tool::Uudeview, {"test.txt"}, {"test.txt"}},
        {"uudeview/filename-from-subject.good.msg", Tool::Uudeview, {""}, {"test.txt"}},
        // The yEnc 1.3 example post: a signature line before "=ybegin", a
        // blank after the name.
        {"yenc/simple.msg", Tool::Uudeview, {"testfile.txt"}, {"testfile.txt"}},
        // Ours: Python's own boundary; every way of naming a part; two uu
        // files in one article; parts whose MIME header was lost.
        {"own/email-two-pictures.eml",
         Tool::Python,
         {"python.png", "python.gif"},
         {"python.png", "python.gif"}},
        {"own/names.eml",
         Tool::Python,
         {"\u20AC rates.png", "caf\u00E9.gif", "plain.jpg", "folded.webp", "snapshot.bmp"},
         {"\u20AC rates.png", "caf\u00E9.gif", "plain.jpg", "folded.webp", ""}},
        {"own/two-uu.txt", Tool::Python, {"first.jpg", "second.tif"}, {"first.jpg", "second.tif"}},
        {"own/undeclared.txt", Tool::Original, {"gated.png"}, {"python.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.article);
        const std::string path = kArticles + c.article;
        Files theirs;
        switch (c.tool) {
            case Tool::Python:
                theirs = ByPython(path);
                break;
            case Tool::Uudeview:
                theirs = ByUudeview(c.article);
                break;
            case Tool::Original:
                for (const std::string& name : c.theirs) {
                    theirs.emplace_back(name, ngtest::ReadFile(kArticles + "pictures/" + name));
                }
                break;
        }
        const std::vector<Found> ours = DecodeArticle(ngtest::ReadFile(path));
        ASSERT_EQ(theirs.size(), c.theirs.size());
        ASSERT_EQ(ours.size(), c.names.size());
        for (size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(theirs[i].first, c.theirs[i]);
            EXPECT_EQ(ours[i].name, c.names[i]);
            EXPECT_TRUE(ours[i].status.Ok()) << ours[i].status.damage;
            EXPECT_FALSE(ours[i].bytes.empty());
            EXPECT_TRUE(ours[i].bytes == theirs[i].second) << c.names[i];
        }
    }
}

// The yEnc 1.3 example post in two parts, and the same parts as other
// posters write them: a 16-digit CRC, "=ypart" on the "=ybegin" line,
// blanks after the name. Each piece goes where it says; the joined file is
// uudeview's.
TEST(RealArticles, YencExamplePartsJoinLikeUudeview) {
    if (!Have("uudeview")) {
        GTEST_SKIP() << "uudeview is the independent decoder";
    }
    const Files theirs = ByUudeview("yenc/00000020.ntx yenc/00000021.ntx");
    ASSERT_EQ(theirs.size(), 1u);
    ASSERT_EQ(theirs[0].first, "joystick.jpg");
    const std::vector<std::vector<std::string>> posts = {
        {"yenc/00000020.ntx", "yenc/00000021.ntx"},
        {"own/yenc-variants-1.ntx", "own/yenc-variants-2.ntx"}};
    for (const auto& post : posts) {
        std::string joined;
        for (const std::string& file : post) {
            SCOPED_TRACE(file);
            auto format = ng::MakeYencFormat();
            ng::ArticleLines lines;
            for (const std::string& line : WireLines(ngtest::ReadFile(kArticles + file))) {
                format->Notice(line);
                lines.Add(line);
            }
            int fd = ::memfd_create("piece", 0);
            ng::Piece piece;
            ng::DecodeStatus status = format->DecodePiece(lines, {fd, -1, nullptr}, piece);
            EXPECT_TRUE(status.Ok()) << status.damage;
            EXPECT_EQ(piece.name, "joystick.jpg");
            EXPECT_EQ(piece.fileSize, 19338);
            joined.resize(std::max<size_t>(joined.size(), piece.offset + piece.bytes));
            joined.replace(piece.offset, piece.bytes, ReadBack(fd));
            ::close(fd);
        }
        EXPECT_TRUE(joined == theirs[0].second) << post[0];
    }
}

// A multipart article whose one part has these headers and data.
std::string MimeArticle(const std::string& headers, const std::string& data) {
    return "Subject: damaged.jpg (1/1)\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n" +
           headers + "\r\n" + data + "--b--\r\n";
}

// Removes `count` lines before the last `keep` lines of the text.
std::string WithoutLines(const std::string& text, size_t count, size_t keep = 0) {
    std::vector<std::string> lines = WireLines(text);
    lines.erase(lines.end() - static_cast<long>(keep + count),
                lines.end() - static_cast<long>(keep));
    std::string out;
    for (const std::string& line : lines) {
        out += line;
    }
    return out;
}

// Damage is the article's fault and nothing of it may be saved: uu data
// that stops before "end" or has a line shorter than its length says, and
// base64 data that stops in the middle of a group. Each attachment of an
// article is judged on its own.
TEST(Damage, EachAttachmentIsJudgedOnItsOwn) {
    using ngtest::UUEncode;
    const std::string a = ngtest::RandomBytes(45 * 12 + 7, 1);
    const std::string b = ngtest::RandomBytes(45 * 3, 2);
    const std::string uuA = UUEncode(a, "a.jpg");  // begin, 13 data lines, "`", "end"
    const std::string uuB = UUEncode(b, "b.jpg");
    std::string shortLine = uuA;
    shortLine.erase(shortLine.find("\r\n", shortLine.find("\r\n", 20) + 2) - 1, 1);
    const std::string png = ngtest::Base64Encode(ngtest::RandomBytes(301, 3));
    const std::string pngPart =
        "Content-Type: image/png; name=p.png\r\n"
        "Content-Transfer-Encoding: base64\r\n";
    const std::string text = "Subject: x\r\n\r\nHere:\r\n";
    struct Expect {
        std::string name;
        std::string bytes;  // "" for damaged
    };
    struct Case {
        const char* what;
        std::string article;
        std::vector<Expect> expect;
    };
    const Case cases[] = {
        {"uu whole", text + uuA, {{"a.jpg", a}}},
        {"uu without its zero-length line", text + WithoutLines(uuA, 1, 1), {{"a.jpg", a}}},
        {"uu cut short", text + WithoutLines(uuA, 3), {{"a.jpg", ""}}},
        {"uu without end", text + WithoutLines(uuA, 1), {{"a.jpg", ""}}},
        {"uu line shorter than it says", text + shortLine, {{"a.jpg", ""}}},
        {"two uu files", text + uuA + "-- \r\nsig\r\n" + uuB, {{"a.jpg", a}, {"b.jpg", b}}},
        {"the first uu file cut short by the second",
         text + WithoutLines(uuA, 2) + uuB,
         {{"a.jpg", ""}, {"b.jpg", b}}},
        {"base64 whole", MimeArticle(pngPart, png), {{"p.png", ngtest::RandomBytes(301, 3)}}},
        {"base64 stopping in a group",
         MimeArticle(pngPart, png.substr(0, png.size() - 3) + "\r\n"),
         {{"p.png", ""}}},
        {"base64 without data", MimeArticle(pngPart, "(...)\r\n"), {{"p.png", ""}}},
        {"an empty part", MimeArticle(pngPart, "\r\n"), {}},
        // Python's email tests: a GIF whose base64 was cut out of the post,
        // its part within parts that share one boundary.
        {"msg_15", ngtest::ReadFile(kArticles + "python/msg_15.txt"), {{"xx.gif", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<Found> found = DecodeArticle(c.article);
        ASSERT_EQ(found.size(), c.expect.size());
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].name, c.expect[i].name);
            EXPECT_EQ(found[i].status.error, 0);
            EXPECT_EQ(found[i].status.damage.empty(), !c.expect[i].bytes.empty())
                << found[i].status.damage;
            if (found[i].status.Ok()) {
                EXPECT_TRUE(found[i].bytes == c.expect[i].bytes);
            }
        }
    }
}

// An attachment that gives no name takes one from the subject: a quoted
// name, or else the last word that ends in a picture's extension.
TEST(SubjectNames, AQuotedNameOrTheLastPictureWord) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"joystick.jpg\" yEnc (1/2)", "joystick.jpg"},
        {"yEnc-Prefix: \"testfile.txt\" 584 yEnc bytes", "testfile.txt"},
        {"Beach at dawn.JPG (1/1)", "dawn.JPG"},
        {"[3/9] a.gif, then (b.tiff)", "b.tiff"},
        {"my.cat.jpeg(1/1)", "my.cat.jpeg"},
        {"Re: \" \" and dog.webp.", "dog.webp"},
        {"cat.jpg.par2 (1/1)", ""},
        {"beach_jpg_collection.part01.rar", ""},
        {"photos-jpg-12.zip", ""},
        {"ftp.example.com/test.txt", ""},
        {"just .png", ""},
    };
    for (const auto& [subject, name] : cases) {
        EXPECT_EQ(ng::NameFromSubject(subject), name) << subject;
    }
}

// Python's test pictures are known by their bytes, whatever their names;
// a PBM and a Sun raster are none of the types kept.
TEST(PictureFiles, KnownByTheirBytes) {
    const std::pair<const char*, ng::PictureType> cases[] = {
        {"python.jpg", ng::PictureType::Jpeg},    {"python.png", ng::PictureType::Png},
        {"python.gif", ng::PictureType::Gif},     {"python.webp", ng::PictureType::Webp},
        {"python.bmp", ng::PictureType::Bmp},     {"python.tiff", ng::PictureType::Tiff},
        {"python.pbm", ng::PictureType::Unknown}, {"python.ras", ng::PictureType::Unknown},
    };
    for (const auto& [name, type] : cases) {
        const std::string bytes = ngtest::ReadFile(kArticles + "pictures/" + name);
        EXPECT_EQ(ng::SniffPictureType(bytes), type) << name;
        int fd = ::memfd_create("picture", 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        EXPECT_EQ(ng::IsPictureFile(fd), type != ng::PictureType::Unknown) << name;
        ::close(fd);
    }
}

}  // namespace
