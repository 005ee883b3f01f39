#include "decode/Base64Decoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "DecodeTestUtil.h"
#include "support/TestSupport.h"

namespace {

int Feed(CBase64Decoder& b64, const std::string& text) {
    return b64.DecodeAndWrite(text.data(), static_cast<int>(text.size()));
}

}  // namespace

TEST(Base64Decoder, DecodesLinesAsOneStream) {
    ngtest::TempDir dir;
    std::string data = dectest::RandomBytes(57, 5);
    std::string line = dectest::Base64Lines(data)[0];
    ASSERT_EQ(line.size(), 78u);

    CBase64Decoder b64;
    ASSERT_EQ(b64.Open(dir.File("x.jpg")), 0);
    EXPECT_EQ(Feed(b64, line), 57);
    EXPECT_EQ(Feed(b64, "\r\n"), 0);
    EXPECT_EQ(Feed(b64, "QU\r\n"), 0);       // a group split across lines...
    EXPECT_EQ(Feed(b64, "JD\r\n"), 3);       // ...is written by the second
    EXPECT_EQ(Feed(b64, "R E\tV\x01G"), 3);  // non-alphabet characters are skipped
    EXPECT_EQ(Feed(b64, "QUJ"), 0);
    EXPECT_EQ(Feed(b64, "D"), 3);  // the one character that completes a group
    EXPECT_EQ(Feed(b64, "SEk="), 2);
    EXPECT_EQ(Feed(b64, "SA==QUJD\r\n"), 1);  // padding ends the call
    EXPECT_EQ(Feed(b64, "QUJD"), 3);
    EXPECT_EQ(b64.DecodeAndWrite(nullptr, 5), 0);
    EXPECT_EQ(b64.Close(), 0);
    EXPECT_EQ(ngtest::ReadFile(dir.File("x.jpg")), data + "ABCDEFABCHIHABC");
}

TEST(Base64Decoder, DecodeRefusesOnlyOutputThatDoesNotFit) {
    CBase64Decoder b64;
    unsigned char out[3];
    EXPECT_EQ(b64.Decode("QUJD", 4, out, 3), 3);
    EXPECT_EQ(std::memcmp(out, "ABC", 3), 0);
    EXPECT_EQ(b64.Decode("QUJD", 4, out, 2), -1);
    EXPECT_EQ(b64.Decode("QUI=", 4, out, 2), 2);
    EXPECT_EQ(b64.Decode("QQ==", 4, out, 1), 1);
    EXPECT_EQ(b64.Decode("QQ==", 4, out, 0), -1);
    EXPECT_EQ(b64.Decode("QUJ", 3, out, 0), 0);
    EXPECT_EQ(b64.Decode("D", 1, out, 1), -1);
    EXPECT_EQ(b64.Decode("", 0, out, 0), 0);
}

TEST(Base64Decoder, WithoutAFileEveryWriteFails) {
    ngtest::TempDir dir;
    CBase64Decoder b64;
    EXPECT_EQ(Feed(b64, "QUJD\r\n"), -1);
    EXPECT_EQ(b64.m_nFileErrno, EBADF);
    EXPECT_EQ(b64.Open(dir.File("missing/x.jpg")), -1);
    EXPECT_EQ(b64.m_nFileErrno, ENOENT);
    EXPECT_EQ(b64.m_hFile, -1);
    EXPECT_EQ(Feed(b64, "QUJD\r\n"), -1);
    EXPECT_EQ(b64.m_nFileErrno, ENOENT);  // the reason, not the missing file

    // Opening again replaces the file that was open.
    ASSERT_EQ(b64.Open(dir.File("a")), 0);
    EXPECT_EQ(Feed(b64, "QUJD"), 3);
    ASSERT_EQ(b64.Open(dir.File("b")), 0);
    EXPECT_EQ(Feed(b64, "REVG"), 3);
    EXPECT_EQ(b64.Close(), 0);
    EXPECT_EQ(b64.Close(), 0);
    EXPECT_EQ(ngtest::ReadFile(dir.File("a")), "ABC");
    EXPECT_EQ(ngtest::ReadFile(dir.File("b")), "DEF");
}

TEST(Base64Decoder, HostileTextNeverCrashes) {
    ngtest::TempDir dir;
    std::mt19937 random(6);
    CBase64Decoder b64;
    ASSERT_EQ(b64.Open(dir.File("noise")), 0);
    int64_t total = 0;
    for (int i = 0; i < 3000; ++i) {
        size_t size = i % 500 == 0 ? (4u << 20) + random() % 5 : random() % 300;
        std::string text = dectest::RandomBytes(size, random());
        if (i % 3 == 0) {  // mostly alphabet, some padding
            for (auto& c : text) {
                c = "QUJDRE=\r\n\0"[static_cast<unsigned char>(c) % 10];
            }
        }
        int written = Feed(b64, text);
        ASSERT_GE(written, 0);
        ASSERT_LE(written, static_cast<int>(size) * 3 / 4 + 3);
        total += written;
    }
    EXPECT_EQ(b64.Close(), 0);
    EXPECT_EQ(static_cast<int64_t>(ngtest::ReadFile(dir.File("noise")).size()), total);
}
