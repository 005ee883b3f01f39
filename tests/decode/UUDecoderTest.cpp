#include "decode/UUDecoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "DecodeTestUtil.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

size_t CountEntries(const std::string& dir) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) {
        ++count;
    }
    return count;
}

}  // namespace

TEST(UUDecoder, DecodesFromTheBeginLineToTheZeroLengthLine) {
    ngtest::TempDir dir;
    std::string data = dectest::RandomBytes(46, 1);
    auto lines = dectest::UuDataLines(data);
    ASSERT_EQ(lines[0].substr(0, 1), "M");  // 45 bytes from 60 characters
    ASSERT_EQ(lines[1].substr(0, 1), "!");  // 1 byte from one group of four

    CUUDecoder uu(dir.Path() + "/");
    for (const char* other : {"Subject: cat\r\n", "Begin 644 no.jpg\r\n", "begin 644\r\n",
                              "begin abc no.jpg\r\n", "begi", "beginning\r\n", ""}) {
        EXPECT_EQ(uu.DecodeLine(other), 0) << other;
        EXPECT_EQ(uu.m_nDecodeState, 0) << other;
    }
    EXPECT_EQ(uu.DecodeLine("begin 0755 cat pic.jpg\r\n"), 0);
    EXPECT_EQ(uu.m_nDecodeState, 1);
    EXPECT_EQ(uu.m_nMode, 0755);
    EXPECT_EQ(uu.m_szFileName, "cat");  // the first word of the name only
    EXPECT_GE(uu.m_hFile, 0);
    EXPECT_EQ(uu.DecodeLine(lines[0]), 0);
    EXPECT_EQ(uu.DecodeLine(lines[1].substr(0, 5)), 0);  // without its line end
    EXPECT_EQ(uu.DecodeLine("`\r\n"), 0);
    EXPECT_EQ(uu.m_nDecodeState, 2);
    EXPECT_EQ(uu.m_hFile, -1);
    EXPECT_EQ(ngtest::ReadFile(dir.File("cat")), data);  // complete before "end"
    EXPECT_EQ(uu.DecodeLine("end\r\n"), 1);              // only a bare "end" is the end line
    EXPECT_EQ(uu.m_nDecodeState, 3);
    EXPECT_EQ(uu.DecodeLine("begin 644 again.jpg\r\n"), 2);  // first attachment only
    EXPECT_EQ(uu.DecodeLine(lines[0]), 2);
    EXPECT_FALSE(ngtest::FileExists(dir.File("again.jpg")));
    EXPECT_EQ(uu.m_bFileError, 0);
    EXPECT_EQ(ngtest::ReadFile(dir.File("cat")), data);

    CUUDecoder bare(dir.Path() + "/");
    EXPECT_EQ(bare.DecodeLine("begin 644 bare.jpg"), 0);
    EXPECT_EQ(bare.DecodeLine(lines[0].substr(0, 61)), 0);
    EXPECT_EQ(bare.DecodeLine(" "), 0);  // the space also means zero
    EXPECT_EQ(bare.DecodeLine("end"), 2);
    EXPECT_EQ(ngtest::ReadFile(dir.File("bare.jpg")), data.substr(0, 45));
}

TEST(UUDecoder, ATruncatedDataLineKeepsTheLinesBeforeIt) {
    ngtest::TempDir dir;
    std::string data = dectest::RandomBytes(90, 2);
    auto lines = dectest::UuDataLines(data);
    std::string withNul = lines[1];
    withNul[30] = '\0';
    // "end" reads as a length of 5 with too few characters; a blank line as 45.
    for (const std::string& cut : {std::string("end\r\n"), std::string("\r\n"), withNul,
                                   std::string(), lines[1].substr(0, 59)}) {
        CUUDecoder uu(dir.Path() + "/");
        ASSERT_EQ(uu.DecodeLine("begin 644 cut.jpg\r\n"), 0);
        ASSERT_EQ(uu.DecodeLine(lines[0]), 0);
        EXPECT_EQ(uu.DecodeLine(cut), 1);
        EXPECT_EQ(uu.m_nDecodeState, 3);
        EXPECT_EQ(uu.m_bFileError, 0);
        EXPECT_EQ(uu.m_hFile, -1);
        EXPECT_EQ(ngtest::ReadFile(dir.File("cut.jpg")), data.substr(0, 45));
    }
}

// Every vector version decodes like the plain one, for every group count a
// line can carry and more, from every alignment, and finds a NUL wherever
// it stands. Input and output are heap blocks of the exact size, so that
// AddressSanitizer sees any access past them.
TEST(UUDecoder, VectorKernelsAgreeWithThePlainOne) {
    using ng::decode::KernelsFor;
    using ng::decode::kSlack;
    const auto& plain = KernelsFor(dectest::Isa::Scalar);
    std::mt19937 random(12);
    for (dectest::Isa isa : dectest::VectorIsas()) {
        const auto& kernels = KernelsFor(isa);
        for (size_t groups = 1; groups <= 40; ++groups) {
            for (size_t align = 0; align < 32; ++align) {
                std::vector<unsigned char> text(align + 4 * groups);
                for (auto& c : text) {
                    c = static_cast<unsigned char>(1 + random() % 255);
                }
                const unsigned char* in = text.data() + align;
                std::vector<unsigned char> want(3 * groups + kSlack), got(3 * groups + kSlack);
                std::string where = std::string(kernels.name) + " groups " +
                                    std::to_string(groups) + " at " + std::to_string(align);
                ASSERT_TRUE(plain.uuGroups(in, groups, want.data()));
                ASSERT_TRUE(kernels.uuGroups(in, groups, got.data())) << where;
                ASSERT_TRUE(std::equal(want.begin(), want.begin() + 3 * groups, got.begin()))
                    << where;
                for (size_t nul = 0; nul < 4 * groups; ++nul) {
                    text[align + nul] = 0;
                    ASSERT_FALSE(kernels.uuGroups(in, groups, got.data())) << where << " " << nul;
                    text[align + nul] = 1;
                }
            }
        }
    }
}

// Lines of every length a length character can give, with and without
// their line end and with a checksum character, make the same file on
// every kernel version; each line is an exact-size heap block.
TEST(UUDecoder, EveryLineLengthDecodesAlikeOnEveryKernel) {
    ngtest::TempDir dir;
    std::string data;
    std::vector<std::string> lines{"begin 644 all.jpg\r\n"};
    for (size_t n = 1; n <= 63; ++n) {
        std::string bytes = dectest::RandomBytes(n, static_cast<uint32_t>(n));
        data += bytes;
        std::string line = ngtest::UuLine(bytes);
        if (n % 3 == 1) {
            line.resize(line.size() - 2);
        } else if (n % 3 == 2) {
            line.insert(line.size() - 2, "X");
        }
        lines.push_back(line);
    }
    lines.push_back("`\r\n");
    lines.push_back("end");
    for (dectest::Isa isa : dectest::AllIsas()) {
        dectest::UsingIsa kernels(isa);
        CUUDecoder uu(dir.Path() + "/");
        for (const std::string& line : lines) {
            std::vector<char> exact(line.begin(), line.end());
            int expected = &line == &lines.back() ? 2 : 0;
            ASSERT_EQ(uu.DecodeLine(std::string_view(exact.data(), exact.size())), expected)
                << ng::decode::KernelsFor(isa).name << ": " << line;
        }
        EXPECT_EQ(ngtest::ReadFile(dir.File("all.jpg")), data) << ng::decode::KernelsFor(isa).name;
    }
}

TEST(UUDecoder, AttachmentNamesStayInsideTheFolder) {
    ngtest::TempDir root;
    std::string folder = root.File("in") + "/";
    fs::create_directory(folder);
    auto decode = [&](const std::string& dir, const std::string& name) {
        auto uu = std::make_unique<CUUDecoder>(dir);
        uu->DecodeLine("begin 644 " + name + "\r\n");
        return uu;
    };
    for (const char* name : {"../../escape.jpg", "/tmp/abs.jpg", "a/b/nested.jpg"}) {
        auto uu = decode(folder, name);
        EXPECT_EQ(uu->m_nDecodeState, 1) << name;
        EXPECT_EQ(folder + uu->m_szFileName, folder + fs::path(name).filename().string());
    }
    std::string longest(255, 'n');
    EXPECT_EQ(decode(folder, longest)->m_nDecodeState, 1);
    EXPECT_EQ(CountEntries(folder), 4u);

    // A path of exactly 1023 bytes is fine, one more is refused.
    std::string deep = folder;
    while (deep.size() < 800) {
        deep += std::string(200, 'd') + "/";
    }
    fs::create_directories(deep);
    EXPECT_EQ(decode(deep, std::string(1023 - deep.size(), 'p'))->m_nDecodeState, 1);

    struct Refused {
        std::string dir, name;
        int error;
    };
    for (const Refused& r : std::initializer_list<Refused>{
             {folder, ".", EINVAL},
             {folder, "..", EINVAL},
             {folder, "x/..", EINVAL},
             {folder, "sub/", EINVAL},
             {folder, longest + "n", ENAMETOOLONG},
             {folder, std::string(258, '/') + "ab", ENAMETOOLONG},  // 260 bytes as read
             {deep, std::string(1024 - deep.size(), 'p'), ENAMETOOLONG},
             {root.File("missing/"), "x.jpg", ENOENT}}) {
        auto uu = decode(r.dir, r.name);
        EXPECT_EQ(uu->m_nDecodeState, 3) << r.name;
        EXPECT_EQ(uu->m_bFileError, 1) << r.name;
        EXPECT_EQ(uu->m_nFileErrno, r.error) << r.name;
        EXPECT_EQ(uu->m_hFile, -1);
        EXPECT_EQ(uu->DecodeLine("M"), 2);
    }
    EXPECT_EQ(CountEntries(root.Path()), 1u);
    EXPECT_EQ(CountEntries(folder), 5u);
}

TEST(UUDecoder, HostileLinesNeverCrash) {
    ngtest::TempDir root;
    std::string folder = root.File("in") + "/";
    fs::create_directory(folder);
    std::mt19937 random(3);
    std::string huge = dectest::RandomBytes(1 << 20, 4);
    for (int article = 0; article < 60; ++article) {
        CUUDecoder uu(folder);
        bool finished = false;
        for (int i = 0; i < 80; ++i) {
            std::string line;
            switch (random() % 6) {
                case 0:
                    line = "begin 644 " + dectest::RandomBytes(random() % 40, random());
                    break;
                case 1:
                    line = huge;
                    line[0] = 'M';
                    break;
                case 2:
                    line = "M" + dectest::RandomBytes(random() % 80, random());
                    break;
                default:
                    line = dectest::RandomBytes(random() % 200, random());
            }
            int result = uu.DecodeLine(line);
            ASSERT_TRUE(result >= 0 && result <= 2);
            ASSERT_TRUE(uu.m_nDecodeState >= 0 && uu.m_nDecodeState <= 3);
            if (finished) {
                ASSERT_EQ(result, 2);
            }
            finished = uu.m_nDecodeState == 3;
        }
    }
    EXPECT_EQ(CountEntries(root.Path()), 1u);
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_TRUE(entry.is_regular_file());
        EXPECT_LE(entry.file_size(), 80u * 63);
    }
}

// A begin line is one only as the decoder reads it: the word, an octal mode, a name.
TEST(UUDecoder, BeginLinesAreReadOneWay) {
    struct Case {
        const char* line;
        bool begin;
        const char* firstWord;
        const char* rest;
    };
    const Case cases[] = {
        {"begin 644 cat.jpg\r\n", true, "cat.jpg", "cat.jpg"},
        {"begin 0644 my cat.jpg \r\n", true, "my", "my cat.jpg"},
        {"begin644 x\n", true, "x", "x"},
        {"beginning of the story\r\n", false, "", ""},
        {"begin 644\r\n", false, "", ""},
        {"begin 9 x\r\n", false, "", ""},
        {"Begin 644 x\r\n", false, "", ""},
    };
    for (const Case& c : cases) {
        auto begin = CUUDecoder::ParseBeginLine(c.line);
        ASSERT_EQ(begin.has_value(), c.begin) << c.line;
        if (begin) {
            EXPECT_EQ(begin->firstWord, c.firstWord) << c.line;
            EXPECT_EQ(begin->rest, c.rest) << c.line;
        }
    }
}
