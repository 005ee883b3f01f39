#include "decode/Base64Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "DecodeTestUtil.h"
#include "decode/AttachmentFormat.h"
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

namespace {

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Mostly alphabet characters; about one in `noise` is any byte at all.
std::vector<unsigned char> Text(std::mt19937& random, size_t size, unsigned noise) {
    std::vector<unsigned char> text(size);
    for (auto& c : text) {
        c = random() % noise == 0 ? static_cast<unsigned char>(random())
                                  : static_cast<unsigned char>(kAlphabet[random() % 64]);
    }
    return text;
}

}  // namespace

// Every vector version classes all 256 byte values like the plain one, in
// every place of a block, and agrees with it on random text, alignments
// and group limits. Input and output are heap blocks of the exact size, so
// that AddressSanitizer sees any access past them.
TEST(Base64Decoder, VectorKernelsAgreeWithThePlainOne) {
    using ng::decode::KernelsFor;
    const auto& plain = KernelsFor(dectest::Isa::Scalar);
    std::mt19937 random(13);
    auto check = [&](const ng::decode::Kernels& kernels, const std::vector<unsigned char>& text,
                     size_t align, size_t maxGroups) {
        const unsigned char* in = text.data() + align;
        size_t n = text.size() - align;
        std::vector<unsigned char> want(3 * maxGroups + ng::decode::kSlack);
        std::vector<unsigned char> got(want.size());
        size_t groups = plain.base64Groups(in, n, maxGroups, want.data());
        ASSERT_EQ(kernels.base64Groups(in, n, maxGroups, got.data()), groups)
            << kernels.name << " n " << n << " limit " << maxGroups;
        ASSERT_TRUE(std::equal(want.begin(), want.begin() + 3 * groups, got.begin()));
    };
    for (dectest::Isa isa : dectest::VectorIsas()) {
        const auto& kernels = KernelsFor(isa);
        for (int byte = 0; byte < 256; ++byte) {
            for (size_t at = 0; at < 40; ++at) {
                std::vector<unsigned char> text = Text(random, 40, 1000000);
                text[at] = static_cast<unsigned char>(byte);
                check(kernels, text, 0, 10);
            }
        }
        for (int round = 0; round < 5000; ++round) {
            size_t align = random() % 32;
            check(kernels, Text(random, align + random() % 140, 1 + random() % 40), align,
                  random() % 40);
        }
    }
}

// Decoders on every kernel version agree call by call on a stream cut
// anywhere, with padding, line ends and noise: DecodeAndWrite into a file,
// and Decode into exact-size blocks of every capacity around the output.
TEST(Base64Decoder, EveryKernelDecodesStreamsAlike) {
    ngtest::TempDir dir;
    std::mt19937 random(14);
    std::vector<unsigned char> stream = Text(random, 300000, 25);
    for (size_t i = 0; i < stream.size(); i += 1 + random() % 300) {
        stream[i] = "\r\n ==="[random() % 7];
    }
    std::vector<std::pair<size_t, size_t>> pieces;  // start, length
    std::vector<long> capacities;
    for (size_t at = 0; at < stream.size();) {
        size_t length = std::min<size_t>(stream.size() - at,
                                         random() % 8 == 0 ? random() % 2000 : random() % 90);
        pieces.emplace_back(at, length);
        capacities.push_back(
            std::max<long>(0, static_cast<long>(length * 3 / 4 + 4 - random() % 8)));
        at += length;
    }

    struct Run {
        std::vector<int> written, decoded;
        std::string decodedBytes, file;
    };
    std::map<dectest::Isa, Run> runs;
    for (dectest::Isa isa : dectest::AllIsas()) {
        dectest::UsingIsa kernels(isa);
        Run& run = runs[isa];
        CBase64Decoder toFile, toBlock;
        ASSERT_EQ(toFile.Open(dir.File("out")), 0);
        for (size_t p = 0; p < pieces.size(); ++p) {
            std::vector<char> piece(
                stream.begin() + static_cast<long>(pieces[p].first),
                stream.begin() + static_cast<long>(pieces[p].first + pieces[p].second));
            int length = static_cast<int>(piece.size());
            run.written.push_back(toFile.DecodeAndWrite(piece.data(), length));
            std::vector<unsigned char> block(static_cast<size_t>(capacities[p]));
            int n =
                toBlock.Decode(piece.data(), length, block.data(), static_cast<int>(block.size()));
            run.decoded.push_back(n);
            run.decodedBytes.append(block.begin(), block.begin() + std::max(n, 0));
        }
        ASSERT_EQ(toFile.Close(), 0);
        run.file = ngtest::ReadFile(dir.File("out"));
    }
    const Run& plain = runs[dectest::Isa::Scalar];
    EXPECT_GT(std::count(plain.decoded.begin(), plain.decoded.end(), -1), 100);
    EXPECT_GT(plain.file.size(), 80000u);
    for (const auto& [isa, run] : runs) {
        const char* name = ng::decode::KernelsFor(isa).name;
        EXPECT_EQ(run.written, plain.written) << name;
        EXPECT_EQ(run.decoded, plain.decoded) << name;
        EXPECT_TRUE(run.decodedBytes == plain.decodedBytes) << name;
        EXPECT_TRUE(run.file == plain.file) << name;
    }
}

// A line says base64 in any letter case wherever the word stands, however
// long the line; near misses among "6"s and "4"s say nothing.
TEST(Base64Format, ALineSaysBase64WhereverTheWordStands) {
    const std::string filler = "x64 6bse4 ase64 baze64 bas64 b-a-s-e-6-4 ";
    for (size_t length = 6; length <= 100; ++length) {
        std::string plain;
        while (plain.size() < length) {
            plain += filler;
        }
        plain.resize(length);
        EXPECT_FALSE(ng::MakeBase64Format()->Notice(plain + "\r\n").restartCount) << plain;
        for (size_t at = 0; at + 6 <= length; ++at) {
            std::string line = plain;
            line.replace(at, 6, at % 2 ? "BaSe64" : "base64");
            EXPECT_TRUE(ng::MakeBase64Format()->Notice(line + "\r\n").restartCount) << line;
            EXPECT_TRUE(ng::MakeBase64Format()->Notice(line).restartCount) << line;
        }
    }
}
