// Files encoded by the system's own uuencode and base64 decode to the same bytes.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "DecodeTestUtil.h"
#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"
#include "support/TestSupport.h"

namespace {

const size_t kSizes[] = {0, 1, 2, 3, 44, 45, 46, 57, 59, (1u << 20) + 1};

bool HaveTool(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// The tool's output as lines ending in CR LF, as a server sends them.
std::vector<std::string> ToolLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return lines;
    }
    std::string line;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c == '\n') {
            lines.push_back(line + "\r\n");
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return lines;
}

}  // namespace

TEST(ToolRoundTrip, UuencodeOutputDecodesToTheSameBytes) {
    if (!HaveTool("uuencode")) {
        GTEST_SKIP() << "uuencode (sharutils) is not installed";
    }
    ngtest::TempDir dir;
    for (size_t size : kSizes) {
        std::string data = dectest::RandomBytes(size, static_cast<uint32_t>(size));
        ngtest::WriteFile(dir.File("in"), data);
        auto lines = ToolLines("uuencode '" + dir.File("in") + "' out.jpg");
        ASSERT_GE(lines.size(), 3u);
        CUUDecoder uu(dir.Path() + "/");
        int result = 0;
        for (const auto& line : lines) {
            result = uu.DecodeLine(line);
            ASSERT_TRUE(result == 0 || line == "end\r\n") << size << ": " << line;
        }
        EXPECT_EQ(uu.m_nDecodeState, 3);
        EXPECT_EQ(uu.m_bFileError, 0);
        EXPECT_EQ(ngtest::ReadFile(dir.File("out.jpg")), data) << size;
    }
}

TEST(ToolRoundTrip, Base64OutputDecodesToTheSameBytes) {
    if (!HaveTool("base64")) {
        GTEST_SKIP() << "base64 (coreutils) is not installed";
    }
    ngtest::TempDir dir;
    for (size_t size : kSizes) {
        std::string data = dectest::RandomBytes(size, static_cast<uint32_t>(size) + 7);
        ngtest::WriteFile(dir.File("in"), data);
        CBase64Decoder b64;
        ASSERT_EQ(b64.Open(dir.File("out.jpg")), 0);
        for (const auto& line : ToolLines("base64 -w 76 '" + dir.File("in") + "'")) {
            ASSERT_GE(b64.DecodeAndWrite(line.data(), static_cast<int>(line.size())), 0);
        }
        EXPECT_EQ(b64.Close(), 0);
        EXPECT_EQ(ngtest::ReadFile(dir.File("out.jpg")), data) << size;
    }
}
