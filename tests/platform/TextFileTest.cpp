#include "platform/TextFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/TestSupport.h"

using ng::SplitTextLines;
using Lines = std::vector<std::string>;

TEST(TextFile, SplitsLinesOfEitherPlatform) {
    EXPECT_EQ(SplitTextLines(""), Lines{});
    EXPECT_EQ(SplitTextLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));  // last line without its end
    EXPECT_EQ(SplitTextLines("\n"), Lines{""});
    EXPECT_EQ(SplitTextLines("a\rb\n"), Lines{"a\rb"});  // a lone CR is text
    EXPECT_EQ(SplitTextLines(std::string("x\0y\nz", 5)), (Lines{std::string("x\0y", 3), "z"}));
    EXPECT_EQ(SplitTextLines("\xEF\xBB\xBF[Newsgleaner]\n"), Lines{"[Newsgleaner]"});  // BOM
}

TEST(TextFile, ReadsMissingEmptyAndLongFiles) {
    ngtest::TempDir dir;
    Lines lines{"stale"};
    EXPECT_FALSE(ng::ReadTextLines(dir.File("missing"), lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(ng::ReadTextLines(dir.Path(), lines));  // a folder is not a text file

    ngtest::WriteFile(dir.File("empty"), "");
    EXPECT_TRUE(ng::ReadTextLines(dir.File("empty"), lines));
    EXPECT_TRUE(lines.empty());

    std::string longLine(3 << 20, 'x');
    ngtest::WriteFile(dir.File("long"), "a\r\n" + longLine + "\r\nb");
    ASSERT_TRUE(ng::ReadTextLines(dir.File("long"), lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], longLine);
    EXPECT_EQ(lines[2], "b");
}

TEST(TextFile, ReplaceWritesLfLinesAndLeavesNoTemporary) {
    ngtest::TempDir dir;
    std::string path = dir.File("list");
    ngtest::WriteFile(path, "old\r\n");
    ASSERT_TRUE(ng::ReplaceTextFile(path, {"one", "", "two"}));
    EXPECT_EQ(ngtest::ReadFile(path), "one\n\ntwo\n");
    ASSERT_TRUE(ng::ReplaceTextFile(path, {}));
    EXPECT_EQ(ngtest::ReadFile(path), "");
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(TextFile, FailedReplaceKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root ignores folder permissions";
    }
    ngtest::TempDir dir;
    std::string path = dir.File("list");
    ngtest::WriteFile(path, "keep\n");
    ::chmod(dir.Path().c_str(), 0500);
    int error = 0;
    EXPECT_FALSE(ng::ReplaceTextFile(path, {"new"}, &error));
    EXPECT_EQ(error, EACCES);
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(ngtest::ReadFile(path), "keep\n");
}

TEST(TextFile, ReplaceHonoursTheModeAsked) {
    ngtest::TempDir dir;
    std::string path = dir.File("secret");
    ASSERT_TRUE(ng::ReplaceFileContents(path, "x", nullptr, 0600));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(TextFile, AppendCreatesAndKeeps) {
    ngtest::TempDir dir;
    std::string path = dir.File("log");
    EXPECT_TRUE(ng::AppendTextLine(path, "first"));
    EXPECT_TRUE(ng::AppendTextLine(path, "second"));
    EXPECT_EQ(ngtest::ReadFile(path), "first\nsecond\n");
    EXPECT_TRUE(ng::CreateEmptyFile(path));
    EXPECT_EQ(ngtest::ReadFile(path), "");
    int error = 0;
    EXPECT_FALSE(ng::AppendTextLine(dir.File("no/such/dir/log"), "x", &error));
    EXPECT_EQ(error, ENOENT);
}

TEST(TextFile, DirectoryTest) {
    ngtest::TempDir dir;
    EXPECT_TRUE(ng::CanEnterDirectory(dir.Path()));
    EXPECT_TRUE(ng::CanEnterDirectory(dir.Path() + "/"));
    EXPECT_FALSE(ng::CanEnterDirectory(""));
    EXPECT_FALSE(ng::CanEnterDirectory(dir.File("nope")));
    ngtest::WriteFile(dir.File("file"), "");
    EXPECT_FALSE(ng::CanEnterDirectory(dir.File("file")));
}

#include "platform/FileNames.h"

TEST(FileNames, NamesNeverLeaveTheirFolder) {
    EXPECT_EQ(ng::SafeLeafName("cat.jpg"), "cat.jpg");
    EXPECT_EQ(ng::SafeLeafName("../../etc/passwd"), "passwd");
    EXPECT_EQ(ng::SafeLeafName("/abs/x.jpg"), "x.jpg");
    EXPECT_EQ(ng::SafeLeafName("a b.jpg"), "a b.jpg");
    for (std::string_view bad :
         {"", ".", "..", "dir/", "a/..", "/", "x/.", ".bashrc", "x/.profile"}) {
        EXPECT_FALSE(ng::SafeLeafName(bad)) << bad;
    }
    EXPECT_FALSE(ng::SafeLeafName(std::string("a\0b", 3)));
    EXPECT_TRUE(ng::SafeLeafName(std::string(255, 'n')));
    EXPECT_FALSE(ng::SafeLeafName(std::string(256, 'n')));
    EXPECT_EQ(ng::SafeJoin("/pics/", "../x.jpg"), "/pics/x.jpg");
    EXPECT_FALSE(ng::SafeJoin(std::string(4000, 'd') + "/", std::string(200, 'n')));
}

// What a planted file in a folder we write to must not make a write do.
TEST(TextFile, WritesRefuseLinksSharedFilesAndFifos) {
    ngtest::TempDir dir;
    ngtest::WriteFile(dir.File("target"), "theirs\n");
    ASSERT_EQ(::symlink(dir.File("target").c_str(), dir.File("symlink").c_str()), 0);
    ASSERT_EQ(::link(dir.File("target").c_str(), dir.File("hardlink").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const char* name : {"symlink", "hardlink", "fifo"}) {
        int error = 0;
        EXPECT_FALSE(ng::AppendTextLine(dir.File(name), "record", &error)) << name;
        EXPECT_TRUE(ng::IsRefusedFile(error)) << name << " " << error;
        EXPECT_FALSE(ng::CreateEmptyFile(dir.File(name))) << name;
    }
    EXPECT_EQ(ngtest::ReadFile(dir.File("target")), "theirs\n");
    // Reading a FIFO neither waits for a writer nor takes it for a file.
    Lines lines;
    EXPECT_FALSE(ng::ReadTextLines(dir.File("fifo"), lines));
    // A file kept as a link is replaced at its target; the link stays.
    EXPECT_EQ(ng::LinkTarget(dir.File("symlink")), dir.File("target"));
    EXPECT_EQ(ng::LinkTarget(dir.File("target")), dir.File("target"));
}

#include "platform/StagedFile.h"

namespace {
size_t Entries(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}
}  // namespace

TEST(StagedFile, NamedOnlyWhenPlacedAndNeverOverAnything) {
    ngtest::TempDir dir;
    const std::string folder = dir.Path() + "/";
    ngtest::WriteFile(dir.File("taken"), "mine");
    ASSERT_EQ(::symlink(dir.File("nowhere").c_str(), dir.File("dangling").c_str()), 0);
    {
        ng::StagedFile file;
        ASSERT_EQ(file.Create(folder), 0);
        ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
        EXPECT_EQ(Entries(folder), 2u);  // unnamed while it is written
        EXPECT_EQ(file.Place("taken"), EEXIST);
        EXPECT_EQ(file.Place("dangling"), EEXIST);  // a link, even to nothing, is taken
        EXPECT_EQ(file.Place("fresh"), 0);
    }
    EXPECT_EQ(ngtest::ReadFile(dir.File("taken")), "mine");
    EXPECT_FALSE(ngtest::FileExists(dir.File("nowhere")));
    EXPECT_EQ(ngtest::ReadFile(dir.File("fresh")), "new");
    {
        ng::StagedFile dropped;
        ASSERT_EQ(dropped.Create(folder), 0);
    }
    EXPECT_EQ(Entries(folder), 3u);  // taken, dangling, fresh: nothing left of the dropped one
    ng::StagedFile nowhere;
    EXPECT_EQ(nowhere.Create(dir.File("missing") + "/"), ENOENT);
}

#include "platform/ShowableText.h"

TEST(ShowableText, ControlsOfEveryKindAreReplaced) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"plain cat.jpg", "plain cat.jpg"},
        {"tab\tkept", "tab\tkept"},
        {"line\r\nbreak", "line  break"},
        {"\x1b]0;title\x07x", "?]0;title?x"},
        {"del\x7f", "del?"},
        {"caf\xc3\xa9 \xc2\x9b"
         "31m",
         "caf\xc3\xa9 ?31m"},  // UTF-8: C1 as a code point
        {"caf\xe9 \x9b"
         "31m",
         "caf\xe9 ?31m"},  // 8-bit: C1 as a byte
        {std::string("nul\0!", 5), "nul?!"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ng::ShowableText(c.in), c.out) << c.in;
    }
}
