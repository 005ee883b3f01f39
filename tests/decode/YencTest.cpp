// yEnc as the article retrieval meets it: whole files and pieces of a file
// split over several articles, the escapes, the keyword lines, and posts
// whose sizes or checksums do not add up.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "DecodeTestUtil.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/DecodeKernels.h"
#include "decode/PictureType.h"
#include "decode/Yenc.h"
#include "support/Encoders.h"

namespace {

using namespace std::string_literals;
using ngtest::RandomBytes;
using ngtest::YencEncode;
using ngtest::YencEncodePart;

// The bytes 0..255 twice over: every byte that must be escaped, in every
// place of a line.
std::string EveryByte() {
    std::string bytes;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b) {
            bytes += static_cast<char>(b);
        }
    }
    return bytes;
}

struct Decoded {
    ng::DecodeStatus status;
    std::string bytes;
    ng::Piece piece;
    std::string name;
};

// Feeds the text, line by line, to a fresh yEnc format and decodes it into
// a file in memory, as a whole file or as a piece.
Decoded Decode(const std::string& text, bool asPiece = false) {
    auto format = ng::MakeYencFormat();
    ng::ArticleLines lines;
    Decoded result;
    lines.Add("A picture follows.\r\n");
    for (std::string_view line : ngtest::SplitLines(text)) {
        if (auto note = format->Notice(line); note.name) {
            result.name = *note.name;
        }
        lines.Add(line);
    }
    int fd = ::memfd_create("yenc", 0);
    result.status = asPiece ? format->DecodePiece(lines, {fd, -1, nullptr}, result.piece)
                            : format->Decode(lines, {fd, -1, nullptr});
    char buffer[65536];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, result.bytes.size())) > 0;) {
        result.bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return result;
}

TEST(Yenc, WholeFilesDecodeByteForByte) {
    for (const std::string& bytes : {std::string(), EveryByte(), RandomBytes(100000, 7)}) {
        Decoded d = Decode(YencEncode(bytes, "pic.jpg"));
        EXPECT_TRUE(d.status.Ok()) << d.status.damage;
        EXPECT_EQ(d.bytes, bytes);
        EXPECT_EQ(d.name, "pic.jpg");
    }
}

TEST(Yenc, EscapesAtLineEndsAndAcrossLineBreaks) {
    // "=J" escapes 'J' - 64 - 42 = 0xE0; "=}" is 0x13, "=@" 0xD6.
    struct Case {
        const char* data;
        std::string bytes;
    };
    const Case cases[] = {
        {"=J\r\n", "\xE0"},  // an escape that ends the line
        {"kk=}\r\nkk\r\n",
         "AA\x13"
         "AA"},  // ... before more lines
        {"kk=\r\n@kk\r\n",
         "AA\xD6"
         "AA"},                      // "=" last on its line escapes the next line's first byte
        {"k=\r\n=}\r\n", "A\xD3S"},  // ... whatever it is, even another "="
        {"kk\nkk\r\n", "AAAA"},      // LF alone ends a line too; line ends are never data
    };
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.bytes.size());
        std::string text = "=ybegin line=128 size=" + size + " name=x.jpg\r\n" + c.data +
                           "=yend size=" + size + " crc32=" + ngtest::Crc32Hex(c.bytes) + "\r\n";
        Decoded d = Decode(text);
        EXPECT_TRUE(d.status.Ok()) << c.data << ": " << d.status.damage;
        EXPECT_EQ(d.bytes, c.bytes) << c.data;
    }
}

// An "=" in every place of a line long enough for the decoder's wide steps,
// the last place escaping the next line's first byte; the line's end with
// and without CR.
TEST(Yenc, AnEscapeInEveryPlaceOfALongLine) {
    for (const char* lineEnd : {"\r\n", "\n"}) {
        for (size_t at = 0; at < 48; ++at) {
            std::string first(48, 'k');  // 'k' decodes to 'A'
            first[at] = '=';
            std::string expected(at, 'A');
            std::string second = "}" + std::string(20, 'l');  // "=}" is 0x13
            if (at + 1 < first.size()) {
                first[at + 1] = '}';
                expected += "\x13" + std::string(first.size() - at - 2, 'A');
                second = std::string(21, 'l');
                expected += std::string(21, 'B');
            } else {
                expected += "\x13" + std::string(20, 'B');
            }
            ng::YencLineDecoder decoder;
            std::vector<unsigned char> out(100, 0);
            const std::string a = first + lineEnd, b = second + lineEnd;
            size_t n = decoder.Decode(a, out.data());
            EXPECT_EQ(decoder.EscapePending(), at + 1 == first.size());
            n += decoder.Decode(b, out.data() + n);
            EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)),
                      expected)
                << "escape at " << at;
        }
    }
}

// Every vector version decodes like the plain one: text with sparse
// escapes (the vector path), with runs of "=" ("==" goes byte by byte),
// escapes on every block boundary and carried in from the line before, at
// every length around the block sizes and from every alignment. Input and
// output are heap blocks of the exact size, so that AddressSanitizer sees
// any access past them.
TEST(Yenc, VectorKernelsAgreeWithThePlainOne) {
    using ng::decode::KernelsFor;
    const auto& plain = KernelsFor(dectest::Isa::Scalar);
    std::mt19937 random(15);
    for (dectest::Isa isa : dectest::VectorIsas()) {
        const auto& kernels = KernelsFor(isa);
        for (unsigned oneIn : {2u, 5u, 40u}) {  // how often a byte is "="
            for (int round = 0; round < 3000; ++round) {
                const size_t align = random() % 32;
                std::vector<unsigned char> text(align + random() % 140);
                for (auto& c : text) {
                    c = random() % oneIn == 0 ? '=' : static_cast<unsigned char>(random());
                }
                const unsigned char* in = text.data() + align;
                const size_t n = text.size() - align;
                for (bool escaped : {false, true}) {
                    std::vector<unsigned char> want(n), got(n);
                    bool wantEscaped = escaped, gotEscaped = escaped;
                    const size_t wanted = plain.yenc(in, n, want.data(), wantEscaped);
                    ASSERT_EQ(kernels.yenc(in, n, got.data(), gotEscaped), wanted)
                        << kernels.name << " n " << n << " round " << round;
                    ASSERT_TRUE(std::equal(want.begin(), want.begin() + wanted, got.begin()))
                        << kernels.name << " n " << n << " round " << round;
                    ASSERT_EQ(gotEscaped, wantEscaped) << kernels.name << " n " << n;
                }
            }
        }
    }
}

// Every version's CRC is zlib's, for every length around the folding
// steps, from every alignment, continued from any value, and taken in
// pieces as the yEnc format takes it.
TEST(Yenc, Crc32KernelsAreZlibs) {
    const std::string bytes = RandomBytes(200000, 16);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::mt19937 random(17);
    for (dectest::Isa isa : dectest::AllIsas()) {
        const auto& kernels = ng::decode::KernelsFor(isa);
        for (size_t n = 0; n <= 300; ++n) {
            for (size_t align = 0; align < 16; ++align) {
                const auto from = static_cast<uint32_t>(random());
                ASSERT_EQ(kernels.crc32(from, data + align, n),
                          ::crc32(from, data + align, static_cast<uInt>(n)))
                    << kernels.name << " n " << n << " at " << align;
            }
        }
        uint32_t crc = 0;
        for (size_t at = 0; at < bytes.size(); at += 65536) {
            crc = kernels.crc32(crc, data + at, std::min<size_t>(65536, bytes.size() - at));
        }
        EXPECT_EQ(crc, ::crc32(0, data, static_cast<uInt>(bytes.size()))) << kernels.name;
    }
}

TEST(Yenc, HeaderLines) {
    auto begin =
        ng::ParseYbegin("=ybegin part=2 total=5 line=128 size=9000 name=My size=3 cat.jpg\r\n");
    ASSERT_TRUE(begin);
    EXPECT_EQ(begin->name, "My size=3 cat.jpg");  // blanks and keys in the name are the name's
    EXPECT_EQ(begin->size, 9000);
    EXPECT_EQ(begin->part, 2);
    EXPECT_EQ(begin->total, 5);
    EXPECT_FALSE(ng::ParseYbegin("=ybeginner size=1 name=x\r\n"));
    auto end = ng::ParseYend("=yend size=10 part=1 pcrc32=0000ABcd crc32=zz\r\n");
    ASSERT_TRUE(end);
    EXPECT_EQ(end->size, 10);
    EXPECT_EQ(end->pcrc32, 0xABCDu);
    EXPECT_FALSE(end->crc32);  // no hex digits: no checksum, not a match
    // As other posters write them: a CRC of more than 8 digits counts by its
    // last 8; "=ypart" on the "=ybegin" line; blanks after the name.
    EXPECT_EQ(ng::ParseYend("=yend size=3 crc32=ffffffff79b5066a\r\n")->crc32, 0x79b5066au);
    auto both = ng::ParseYbegin("=ybegin part=2 size=9 name=a b.jpg  =ypart begin=4 end=6\r\n");
    ASSERT_TRUE(both && both->range);
    EXPECT_EQ(both->name, "a b.jpg");
    EXPECT_EQ(both->range->begin, 4);
    EXPECT_EQ(both->range->end, 6);
    EXPECT_FALSE(ng::ParseYbegin("=ybegin size=9 name=my=ypartial.jpg\r\n")->range);
    EXPECT_EQ(Decode(YencEncode("abc", "name with blanks")).name, "name with blanks.jpg");
    EXPECT_EQ(Decode(YencEncode("abc", "../../etc/x.png")).name, "x.png");
    EXPECT_EQ(Decode(YencEncode("abc", ".hidden")).name, "");  // refused like any other name
}

TEST(Yenc, DamagedPostsAreToldApart) {
    const std::string bytes = RandomBytes(5000, 3);
    const std::string good = YencEncode(bytes, "pic.jpg");
    const std::string trailer = "=yend size=5000 crc32=" + ngtest::Crc32Hex(bytes) + "\r\n";
    const std::string body = good.substr(0, good.size() - trailer.size());
    std::string flipped = good;
    flipped[good.find('\n') + 10] ^= 1;
    const std::string cases[] = {
        body,     // no "=yend": cut short
        flipped,  // one byte changed: CRC
        body + "=yend size=4999 crc32=" + ngtest::Crc32Hex(bytes) + "\r\n",  // sizes disagree
        body + "=yend size=5000 crc32=00000000\r\n",                         // wrong CRC
        YencEncodePart(bytes, "pic.jpg", 1, 2, 1, 2500),  // only a part of the file
    };
    for (const std::string& text : cases) {
        Decoded d = Decode(text);
        EXPECT_EQ(d.status.error, 0);
        EXPECT_FALSE(d.status.damage.empty()) << text.substr(text.size() - 60);
    }
    // A whole file need not give a CRC.
    EXPECT_TRUE(Decode(body + "=yend size=5000\r\n").status.Ok());
}

TEST(Yenc, PiecesSayWhereTheyBelong) {
    const std::string file = RandomBytes(30000, 9);
    Decoded second = Decode(YencEncodePart(file, "pic.jpg", 2, 3, 10001, 20000), true);
    EXPECT_TRUE(second.status.Ok()) << second.status.damage;
    EXPECT_EQ(second.bytes, file.substr(10000, 10000));
    EXPECT_EQ(second.piece.offset, 10000);
    EXPECT_EQ(second.piece.part, 2);
    EXPECT_EQ(second.piece.total, 3);
    EXPECT_EQ(second.piece.fileSize, 30000);
    EXPECT_FALSE(second.piece.fileCrc);
    Decoded last = Decode(YencEncodePart(file, "pic.jpg", 3, 3, 20001, 30000), true);
    EXPECT_EQ(last.piece.fileCrc.value_or(0), std::stoul(ngtest::Crc32Hex(file), nullptr, 16));

    // Offsets out of range, or not the piece's size; a part checksum that fails.
    const std::string piece = YencEncodePart(file, "pic.jpg", 2, 3, 10001, 20000);
    auto withRange = [&](const std::string& range) {
        std::string text = piece;
        size_t at = text.find("=ypart");
        return text.replace(at, text.find('\n', at) + 1 - at, range + "\r\n");
    };
    std::string badCrc = piece;
    badCrc.replace(badCrc.find("pcrc32=") + 7, 8, "12345678");
    for (const std::string& text :
         {withRange("=ypart begin=0 end=9999"), withRange("=ypart begin=25001 end=35000"),
          withRange("=ypart begin=10001 end=19999"), withRange("=ypart begin=20000 end=10001"),
          badCrc}) {
        EXPECT_FALSE(Decode(text, true).status.damage.empty()) << text.substr(0, 120);
    }
}

TEST(PictureTypes, SignaturesAndTheirBase64Forms) {
    struct Case {
        std::string head;
        ng::PictureType type;
        const char* extension;
    };
    const Case cases[] = {
        {"\xFF\xD8\xFF\xE0 JFIF...."s, ng::PictureType::Jpeg, ".jpg"},
        {"\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, ng::PictureType::Png, ".png"},
        {"GIF89a\x10\0\x10\0\x80\0"s, ng::PictureType::Gif, ".gif"},
        {"GIF87a\x10\0\x10\0\x80\0"s, ng::PictureType::Gif, ".gif"},
        {"RIFF\x24\x01\0\0WEBPVP8 "s, ng::PictureType::Webp, ".webp"},
        {"RIFF\x24\x01\0\0WAVEfmt "s, ng::PictureType::Unknown, ""},
        {"BM6\0\0\0\0\0\0\0\x36\0"s, ng::PictureType::Unknown, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ng::SniffPictureType(c.head), c.type) << c.extension;
        EXPECT_EQ(ng::PictureExtension(c.type), c.extension);
        const std::string line = ngtest::Base64Lines(c.head + RandomBytes(60, 1)).front();
        EXPECT_EQ(ng::StartsBase64Picture(line), c.type != ng::PictureType::Unknown) << line;
    }
    EXPECT_TRUE(ng::StartsBase64Picture("/9j/"));          // a JPEG starts where it always did
    EXPECT_FALSE(ng::StartsBase64Picture("iVBORw0KGgo"));  // too short to tell
}

}  // namespace
