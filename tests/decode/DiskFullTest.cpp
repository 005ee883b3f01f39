// A full disk is reported on the very line whose bytes do not fit, and the
// file keeps every byte that did.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "DecodeTestUtil.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"
#include "support/Encoders.h"
#include "support/TestSupport.h"

namespace {

uint64_t FreeBytes(const std::string& dir) {
    struct statvfs st {};
    return ::statvfs(dir.c_str(), &st) == 0 ? uint64_t{st.f_bavail} * st.f_frsize : 0;
}

// Feeds a begin line and `lines`; the index of the first line not taken, or -1.
long FeedUu(CUUDecoder& uu, const std::string& name, const std::vector<std::string>& lines) {
    EXPECT_EQ(uu.DecodeLine("begin 644 " + name + "\r\n"), 0);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (uu.DecodeLine(lines[i]) != 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

}  // namespace

TEST(DiskFull, DevFullFailsOnTheFirstWrite) {
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full is not writable here";
    }
    auto lines = dectest::UuDataLines(dectest::RandomBytes(100, 8));
    CUUDecoder uu("/dev/");
    EXPECT_EQ(FeedUu(uu, "full", lines), 0);
    EXPECT_EQ(uu.m_bFileError, 1);
    EXPECT_EQ(uu.m_nFileErrno, ENOSPC);
    EXPECT_EQ(uu.m_nDecodeState, 3);
    EXPECT_EQ(uu.m_hFile, -1);

    CBase64Decoder b64;
    ASSERT_EQ(b64.Open("/dev/full"), 0);
    for (const auto& line : dectest::Base64Lines(dectest::RandomBytes(200, 9))) {
        EXPECT_EQ(b64.DecodeAndWrite(line.data(), static_cast<int>(line.size())), -1);
        EXPECT_EQ(b64.m_nFileErrno, ENOSPC);
    }
}

// Without fallocate room (64k) the decoders write every line at once; with
// room (1m) they buffer until the room runs out. Either way the failure must
// land on the same line.
TEST(DiskFull, ReportedOnTheLineThatDoesNotFit) {
    for (const char* size : {"64k", "1m"}) {
        ngtest::TempDir tmp;
        std::string mnt = tmp.File("disk");
        std::filesystem::create_directory(mnt);
        dectest::TinyDisk disk(mnt, size);
        if (!disk.Mounted()) {
            GTEST_SKIP() << "cannot mount a " << size
                         << " tmpfs to fill (needs root and permission to mount)";
        }
        const uint64_t room = FreeBytes(mnt);
        ASSERT_GT(room, 0u);

        {  // A file that fits leaves no reserved room behind.
            CUUDecoder uu(mnt + "/");
            EXPECT_EQ(FeedUu(uu, "small", dectest::UuDataLines(dectest::RandomBytes(10000, 1))),
                      -1);
        }
        EXPECT_EQ(FreeBytes(mnt), room - 12288) << size;
        ::unlink((mnt + "/small").c_str());

        std::string data = dectest::RandomBytes(room + 5000, 10);
        {
            CUUDecoder uu(mnt + "/");
            EXPECT_EQ(FeedUu(uu, "big.jpg", dectest::UuDataLines(data)),
                      static_cast<long>(room / 45))
                << size;
            EXPECT_EQ(uu.m_bFileError, 1);
            EXPECT_EQ(uu.m_nFileErrno, ENOSPC);
            EXPECT_EQ(uu.m_nDecodeState, 3);
        }
        EXPECT_TRUE(ngtest::ReadFile(mnt + "/big.jpg") == data.substr(0, room)) << size;
        ::unlink((mnt + "/big.jpg").c_str());

        {
            CBase64Decoder b64;
            ASSERT_EQ(b64.Open(mnt + "/big64.jpg"), 0);
            auto lines = dectest::Base64Lines(data);
            for (size_t i = 0; i < lines.size(); ++i) {
                int written =
                    b64.DecodeAndWrite(lines[i].data(), static_cast<int>(lines[i].size()));
                ASSERT_EQ(written, i < room / 57 ? 57 : -1) << size << " line " << i;
            }
            EXPECT_EQ(b64.m_nFileErrno, ENOSPC);
        }
        EXPECT_TRUE(ngtest::ReadFile(mnt + "/big64.jpg") == data.substr(0, room)) << size;
    }
}

// A yEnc header's size reserves the file's room at once. Whatever it says
// (right, too large but fitting, more than the disk, absurd), the decoded
// bytes are written without a false failure and no room stays reserved.
TEST(DiskFull, YencHeaderSizeLeavesNoRoomBehind) {
    ngtest::TempDir tmp;
    std::string mnt = tmp.File("disk");
    std::filesystem::create_directory(mnt);
    dectest::TinyDisk disk(mnt, "1m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs to fill (needs root and permission to mount)";
    }
    const uint64_t room = FreeBytes(mnt);
    const std::string data = dectest::RandomBytes(100000, 11);
    const std::string article = ngtest::YencEncode(data, "pic.jpg");
    for (const std::string said : {"100000", "300000", "4194304", "1099511627776"}) {
        std::string text = article;
        text.replace(text.find("size=100000"), 11, "size=" + said);
        auto format = ng::MakeYencFormat();
        ng::ArticleLines lines;
        for (std::string_view line : ngtest::SplitLines(text)) {
            format->Notice(line);
            lines.Add(line);
        }
        const std::string path = mnt + "/pic.jpg";
        const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const ng::DecodeStatus status = format->Decode(lines, {fd, -1, nullptr});
        EXPECT_EQ(status.error, 0) << said;
        EXPECT_EQ(status.damage.empty(), said == "100000") << said;
        EXPECT_EQ(FreeBytes(mnt), room - 102400) << said;  // the file's own 25 pages
        ::close(fd);
        EXPECT_TRUE(ngtest::ReadFile(path) == data) << said;
        ::unlink(path.c_str());
    }
}
