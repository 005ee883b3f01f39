// Lines handed to the saver a block at a time must mean exactly what they
// mean one by one: the same notes at the same lines, the same held text,
// the same files. Each article below has lines that a run must stop at.

#include <gtest/gtest.h>

#include <tuple>

#include "engine/ArticleSource.h"
#include "engine/AttachmentSaver.h"
#include "support/Encoders.h"
#include "support/FakeNews.h"
#include "support/TempDir.h"
#include "support/TestSupport.h"

namespace {

// The line, restart, name and shown text of every note that says something.
using Notes = std::vector<std::tuple<size_t, bool, std::string, std::string>>;

void Record(Notes& notes, size_t index, const ng::LineNote& note) {
    if (note.restartCount || note.name || note.shown) {
        notes.emplace_back(index, note.restartCount, note.name.value_or("-"),
                           note.shown.value_or("-"));
    }
}

struct Taken {
    Notes notes;
    std::vector<std::string> files;  // kind, name and bytes of each outcome
};

// Through the saver line by line (blockLines 0), or in blocks of so many lines.
Taken TakeArticle(const std::vector<std::string_view>& lines, size_t blockLines) {
    ngtest::TempDir dir;
    ng::AttachmentSaver saver;
    saver.Begin(dir.Path() + "/", "Pictures \"subject.jpg\" (1/1)");
    Taken taken;
    if (blockLines == 0) {
        for (size_t i = 0; i < lines.size(); ++i) {
            Record(taken.notes, i, saver.Take(lines[i]));
        }
    }
    for (size_t base = 0; blockLines > 0 && base < lines.size(); base += blockLines) {
        ng::LineBlock block;
        for (size_t i = base; i < std::min(lines.size(), base + blockLines); ++i) {
            block.Add(lines[i], 1);
        }
        const ng::LineRun run = block.Run();
        for (size_t i = 0; i < run.Size();) {
            if (size_t count = saver.TakeQuiet(run, i); count > 0) {
                i += count;
            } else {
                Record(taken.notes, base + i, saver.Take(run[i]));
                ++i;
            }
        }
    }
    for (const ng::SaveOutcome& outcome : saver.Save({})) {
        taken.files.push_back(std::to_string(outcome.kind) + " " + outcome.name + " " +
                              ngtest::ReadFile(dir.File(outcome.name)));
    }
    return taken;
}

TEST(LineRuns, BlocksOfLinesMeanWhatTheLinesMeanOneByOne) {
    const std::string a = ngtest::JpegLikeBytes(6000, 1);
    const std::string b = ngtest::JpegLikeBytes(5000, 2);
    const std::string mime =
        "MIME-Version: 1.0\r\n"
        "content-type: multipart/mixed; boundary=\"XX\"\r\n\r\n"
        "--XX\r\ncontent-type: text/plain\r\n\r\nA word on base64 in a text.\r\n"
        "--XX\r\ncontent-disposition: attachment;\r\n filename=\"first.jpg\"\r\n"
        "Content-Transfer-Encoding: BASE64\r\n\r\n" +
        ngtest::Base64Encode(a) +
        "--XX\r\nContent-Type: image/jpeg; name=second.jpg\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        ngtest::Base64Encode(b) + "--XX--\r\n";
    const struct {
        const char* what;
        std::string body;
    } cases[] = {
        {"two uu files, text between", "Hello\r\n\r\n" + ngtest::UUEncode(a, "one.jpg") +
                                           "between\r\n" + ngtest::UUEncode(b, "two.jpg")},
        {"uu cut short by a begin line",
         ngtest::UUEncode(a, "cut.jpg").substr(0, 2000) + "\r\n" + ngtest::UUEncode(b, "next.jpg")},
        {"yEnc, then text and a uu file after =yend",
         ngtest::YencEncode(a, "y.jpg") + "begin 644 after.jpg\r\n" + "`\r\nend\r\n"},
        {"uu, then a yEnc header", ngtest::UUEncode(a, "u.jpg") + ngtest::YencEncode(b, "y2.jpg")},
        {"MIME with two base64 pictures", mime},
        {"base64 without MIME",
         ngtest::Base64Body(a, "Content-Disposition: inline; filename=\"b.jpg\"")},
    };
    for (const auto& c : cases) {
        const std::vector<std::string_view> lines = ngtest::SplitLines(c.body);
        const Taken one = TakeArticle(lines, 0);
        ASSERT_FALSE(one.notes.empty()) << c.what;
        for (size_t blockLines : {1, 3, 64, 100000}) {
            const Taken runs = TakeArticle(lines, blockLines);
            EXPECT_EQ(runs.notes, one.notes) << c.what << ", blocks of " << blockLines;
            EXPECT_EQ(runs.files, one.files) << c.what << ", blocks of " << blockLines;
        }
    }
}

}  // namespace
