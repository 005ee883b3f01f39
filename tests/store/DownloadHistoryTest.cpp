#include "store/DownloadHistory.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <random>
#include <set>

#include "platform/TextFile.h"

#include "support/HistoryWalk.h"
#include "support/TestSupport.h"

using ng::DownloadHistory;
using Lines = std::vector<std::string>;

namespace {

Lines NumberedLines(int count) {
    Lines lines;
    for (int i = 1; i <= count; ++i) {
        lines.push_back("file" + std::to_string(i) + ".jpg");
    }
    return lines;
}

std::deque<std::string> NamesOf(const DownloadHistory& history) {
    std::deque<std::string> names;
    for (std::string_view name : history.Names()) {
        names.emplace_back(name);
    }
    return names;
}

std::string Joined(const Lines& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

}  // namespace

TEST(DownloadHistory, FindHitFollowsTheHistoryTest) {
    DownloadHistory history;
    history.Add("cat.jpg");
    EXPECT_EQ(history.FindHit("CAT.JPG (1/1)"), "CAT.JPG");
    EXPECT_EQ(history.FindHit("NICE CAT.JPG (1/1)"), " CAT.JPG");
    EXPECT_EQ(history.FindHit("BOBCAT.JPG"), std::nullopt);
    // Found first inside a word, but also after a blank further on.
    EXPECT_EQ(history.FindHit("BOBCAT.JPG AND CAT.JPG"), " CAT.JPG");
    EXPECT_EQ(history.FindHit("CAT.JP"), std::nullopt);
    EXPECT_EQ(history.FindHit(""), std::nullopt);

    history.Add("abc");  // three characters never match
    EXPECT_EQ(history.FindHit("ABC DEF"), std::nullopt);
    history.Add("abcd");
    EXPECT_EQ(history.FindHit("ABCD"), "ABCD");

    // The newest hit wins; its text is the upper-cased newest name.
    DownloadHistory order;
    order.Add("Pic1.jpg");
    order.Add("pic1");
    EXPECT_EQ(order.FindHit("X PIC1.JPG"), " PIC1");
    order.Add("PIC1.JPG");
    EXPECT_EQ(order.FindHit("X PIC1.JPG"), " PIC1.JPG");
    // An older name at the start loses to a newer one after a blank.
    order.Add("zzzz");
    EXPECT_EQ(order.FindHit("PIC1.JPG ZZZZ"), " ZZZZ");
}

TEST(DownloadHistory, FindHitAgreesWithThePlainWalk) {
    ngtest::TempDir dir;
    std::mt19937 rng(20240613);
    // A small alphabet so that names overlap, repeat in other case, and
    // sit inside each other; blanks, 8-bit bytes and NUL included.
    const std::string alphabet = std::string("aAbBc. \xE9\xC9", 9) + std::string(1, '\0');
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    auto randomText = [&](size_t maxLen) {
        std::string text(pick(maxLen + 1), ' ');
        for (char& c : text) {
            c = alphabet[pick(alphabet.size())];
        }
        return text;
    };
    int hits = 0, atStart = 0, afterBlank = 0, checked = 0;
    for (int round = 0; round < 400; ++round) {
        DownloadHistory history;
        std::deque<std::string> names;
        int count = static_cast<int>(pick(40));
        for (int i = 0; i < count; ++i) {
            std::string name = randomText(pick(3) == 0 ? 4 : 7);
            if (!names.empty() && pick(4) == 0) {
                // The same name again, some letters in the other case.
                name = names[pick(names.size())];
                for (char& c : name) {
                    if (pick(2) == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
                        c = static_cast<char>(c ^ 0x20);
                    }
                }
            }
            names.push_back(name);
        }
        // Half the rounds build the index at Load and extend it by Add.
        size_t loaded = (round % 2 == 1) ? pick(names.size() + 1) : 0;
        if (loaded > 0) {
            std::string text;
            for (size_t i = 0; i < loaded; ++i) {
                text += names[i] + "\n";
            }
            ngtest::WriteFile(dir.File("HistList"), text);
            ASSERT_TRUE(history.Load(dir.File("HistList"), 1000));
        }
        for (size_t i = loaded; i < names.size(); ++i) {
            history.Add(names[i]);
        }
        ASSERT_EQ(NamesOf(history), names);
        for (int s = 0; s < 60; ++s) {
            std::string subject;
            int parts = static_cast<int>(pick(4));
            for (int p = 0; p < parts; ++p) {
                if (!names.empty() && pick(2) == 0) {
                    subject += names[pick(names.size())];
                } else {
                    subject += randomText(5);
                }
                if (pick(2) == 0) {
                    subject += ' ';
                }
            }
            // The filter hands over upper-cased subjects; raw ones must
            // still agree, the walk compares bytes either way.
            if (pick(4) != 0) {
                subject = ngtest::UpperAscii(subject);
            }
            auto expected = ngtest::PlainHistoryWalk(names, subject);
            ASSERT_EQ(history.FindHit(subject), expected)
                << "round " << round << " subject " << testing::PrintToString(subject);
            ++checked;
            if (expected) {
                ++hits;
                ((*expected)[0] == ' ' ? afterBlank : atStart)++;
            }
        }
    }
    // The random cases must have exercised both kinds of hit and misses.
    EXPECT_GT(hits, checked / 10);
    EXPECT_LT(hits, checked);
    EXPECT_GT(afterBlank, 100);
    EXPECT_GT(atStart, 100);
}

TEST(DownloadHistory, IndexFollowsLoadAddAndClear) {
    ngtest::TempDir dir;
    std::string path = dir.File("HistList");
    ngtest::WriteFile(path, "old.jpg\r\nOther.GIF\r\nabc\r\n\r\nlast.png");
    DownloadHistory history;
    ASSERT_TRUE(history.Load(path, 20000));
    EXPECT_EQ(history.Size(), 5u);
    EXPECT_EQ(history.FindHit("OTHER.GIF (1/1)"), "OTHER.GIF");
    EXPECT_EQ(history.FindHit("A LAST.PNG"), " LAST.PNG");
    history.Add("new.jpg");
    EXPECT_EQ(history.FindHit("NEW.JPG OLD.JPG"), "NEW.JPG");
    EXPECT_EQ(history.FindHit("OLD.JPG NEW.JPG"), " NEW.JPG");
    // Holds: the whole name, letter case aside, loaded or added, short or not.
    for (const char* held : {"OLD.JPG", "other.gif", "abc", "new.jpg", "Last.Png"}) {
        EXPECT_TRUE(history.Holds(held)) << held;
    }
    for (const char* other : {"old.jp", "old.jpgx", "ab", "abcd", "new"}) {
        EXPECT_FALSE(history.Holds(other)) << other;
    }

    DownloadHistory moved = std::move(history);
    EXPECT_EQ(moved.FindHit("NEW.JPG"), "NEW.JPG");
    EXPECT_EQ(history.FindHit("NEW.JPG"), std::nullopt);  // moved-from: empty
    history.Add("again.jpg");
    EXPECT_EQ(history.FindHit("AGAIN.JPG"), "AGAIN.JPG");

    moved.Clear();
    EXPECT_EQ(moved.Size(), 0u);
    EXPECT_EQ(moved.FindHit("NEW.JPG"), std::nullopt);
    EXPECT_FALSE(moved.Holds("new.jpg"));
    EXPECT_FALSE(history.Holds("new.jpg"));
    moved.Add("fresh.jpg");
    EXPECT_EQ(moved.FindHit("FRESH.JPG"), "FRESH.JPG");
}

TEST(DownloadHistory, LoadKeepsTheNewestMaxHistAndBacksUp) {
    ngtest::TempDir dir;
    std::string path = dir.File("HistList");
    Lines all = NumberedLines(25000);
    ngtest::WriteFile(path, Joined(all));

    DownloadHistory history;
    ASSERT_TRUE(history.Load(path, 20000));
    ASSERT_EQ(history.Size(), 20000u);
    EXPECT_EQ(history.Names().front(), "file5001.jpg");
    EXPECT_EQ(history.Names().back(), "file25000.jpg");
    EXPECT_EQ(ngtest::ReadFile(dir.File("~HistList")), Joined(all));
    EXPECT_EQ(history.FindHit("FILE5001.JPG"), "FILE5001.JPG");
    EXPECT_EQ(history.FindHit("FILE5000.JPG"), std::nullopt);

    ASSERT_TRUE(history.Save(path));
    EXPECT_EQ(ngtest::ReadFile(path), Joined(Lines(all.begin() + 5000, all.end())));
    // The next load backs up exactly the file the previous pass left.
    std::string before = ngtest::ReadFile(path);
    DownloadHistory next;
    ASSERT_TRUE(next.Load(path, 20000));
    EXPECT_EQ(ngtest::ReadFile(dir.File("~HistList")), before);

    // A cap of 0 (or below) drops every line; only names added later are saved.
    for (int cap : {0, -5}) {
        DownloadHistory none;
        ASSERT_TRUE(none.Load(path, cap));
        EXPECT_EQ(none.Size(), 0u);
        none.Add("added.jpg");
        ASSERT_TRUE(none.Save(dir.File("capped")));
        EXPECT_EQ(ngtest::ReadFile(dir.File("capped")), "added.jpg\n");
    }

    // Loading into a list that is not empty: each line beyond the cap
    // pushes out one of the oldest names.
    DownloadHistory partly;
    for (const char* name : {"a1.jpg", "a2.jpg", "a3.jpg"}) {
        partly.Add(name);
    }
    ngtest::WriteFile(dir.File("two"), "b1.jpg\nb2.jpg\n");
    ASSERT_TRUE(partly.Load(dir.File("two"), 2));
    EXPECT_EQ(NamesOf(partly), (std::deque<std::string>{"a3.jpg", "b1.jpg", "b2.jpg"}));
}

// The list's rules as first written: a deque of names, and the set of the
// file's lines as last read or written, against which Save tells what
// another program added.
struct ModelHistory {
    std::deque<std::string> names;
    std::set<std::string> onDisk;

    void Load(const std::string& text, int maxHist) {
        Lines lines = ng::SplitTextLines(text);
        onDisk = {lines.begin(), lines.end()};
        size_t cap = maxHist > 0 ? static_cast<size_t>(maxHist) : 0;
        for (const auto& line : lines) {
            names.push_back(line);
            if (names.size() > cap) {
                names.pop_front();
            }
        }
    }
    // The file a save leaves when it found `disk` there (nullopt: none).
    std::string Save(const std::optional<std::string>& disk) {
        if (disk) {
            std::set<std::string> mine(names.begin(), names.end());
            for (const auto& line : ng::SplitTextLines(*disk)) {
                if (line.size() > 3 && !onDisk.count(line) && !mine.count(line)) {
                    names.push_back(line);
                }
            }
        }
        std::string text;
        onDisk.clear();
        for (const auto& name : names) {
            if (name.size() > 3) {
                text += name + "\n";
                onDisk.insert(name);
            }
        }
        return text;
    }
};

// Random loads (into empty and filled lists, under every cap), adds,
// clears, saves and saves by another program give the same names, files,
// backups and history test as the first rules.
TEST(DownloadHistory, LoadAndSaveKeepTheirFirstRules) {
    ngtest::TempDir dir;
    const std::string path = dir.File("HistList");
    std::mt19937 rng(7);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    const Lines pool = {"a.jpg",   "A.JPG",   "b.jpg",   "abc",     "",        "cat.gif",
                        "Dog.png", "x y.jpg", "eel.jpg", "fox.jpg", "gnu.jpg", "a.jpg "};
    auto fileText = [&] {
        std::string text = pick(6) == 0 ? "\xEF\xBB\xBF" : "";
        for (size_t i = pick(9); i > 0; --i) {
            text += pool[pick(pool.size())] + (pick(3) == 0 ? "\r\n" : "\n");
        }
        if (pick(4) == 0 && !text.empty()) {
            text.pop_back();  // no line end after the last line
        }
        return text;
    };
    for (int round = 0; round < 100; ++round) {
        DownloadHistory history;
        ModelHistory model;
        for (int step = 0; step < 12; ++step) {
            switch (pick(6)) {
                case 0:
                case 1: {
                    const std::string& name = pool[pick(pool.size())];
                    history.Add(name);
                    model.names.push_back(name);
                    break;
                }
                case 2: {
                    std::string text = fileText();
                    ngtest::WriteFile(path, text);
                    int cap = static_cast<int>(pick(10)) - 1;
                    ASSERT_TRUE(history.Load(path, cap));
                    model.Load(text, cap);
                    Lines lines = ng::SplitTextLines(text);
                    ASSERT_EQ(ngtest::ReadFile(dir.File("~HistList")), Joined(lines));
                    break;
                }
                case 3:  // another program saves, or removes the file
                    if (pick(4) == 0) {
                        std::remove(path.c_str());
                    } else {
                        ngtest::WriteFile(path, fileText());
                    }
                    break;
                case 4: {
                    std::optional<std::string> disk;
                    if (ngtest::FileExists(path)) {
                        disk = ngtest::ReadFile(path);
                    }
                    ASSERT_TRUE(history.Save(path));
                    ASSERT_EQ(ngtest::ReadFile(path), model.Save(disk)) << "round " << round;
                    break;
                }
                default:
                    history.Clear();
                    model = ModelHistory{};
            }
            ASSERT_EQ(NamesOf(history), model.names) << "round " << round << " step " << step;
            std::string subject = "X " + ngtest::UpperAscii(pool[pick(pool.size())]) + " (1/1)";
            ASSERT_EQ(history.FindHit(subject), ngtest::PlainHistoryWalk(model.names, subject));
        }
    }
}

TEST(DownloadHistory, SaveDropsShortNamesAndEveryReaderCopesWithOddFiles) {
    ngtest::TempDir dir;
    std::string path = dir.File("HistList");
    std::string longName(1 << 20, 'n');
    std::string withNul("nul\0name.jpg", 12);
    ngtest::WriteFile(path, "\r\nabc\nabcd\r\n" + longName + "\r\n" + withNul + "\nno-end.jpg");
    DownloadHistory history;
    ASSERT_TRUE(history.Load(path, 20000));
    EXPECT_EQ(NamesOf(history),
              (std::deque<std::string>{"", "abc", "abcd", longName, withNul, "no-end.jpg"}));
    EXPECT_EQ(history.FindHit(ng::ToUpperAscii(withNul)), ng::ToUpperAscii(withNul));
    ASSERT_TRUE(history.Save(path));
    EXPECT_EQ(ngtest::ReadFile(path), "abcd\n" + longName + "\n" + withNul + "\nno-end.jpg\n");

    // Missing file: false, list and backup untouched.
    DownloadHistory untouched;
    untouched.Add("keep.jpg");
    EXPECT_FALSE(untouched.Load(dir.File("missing"), 20000));
    EXPECT_EQ(untouched.Size(), 1u);
    EXPECT_FALSE(ngtest::FileExists(dir.File("~missing")));
    EXPECT_FALSE(untouched.Load(dir.Path(), 20000));  // a folder is not a list

    ngtest::WriteFile(dir.File("empty"), "");
    EXPECT_TRUE(untouched.Load(dir.File("empty"), 20000));
    EXPECT_EQ(untouched.Size(), 1u);
    EXPECT_EQ(ngtest::ReadFile(dir.File("~empty")), "");
}

TEST(DownloadHistory, FailedSaveKeepsTheOldListWhole) {
    ngtest::TempDir dir;
    std::string path = dir.File("HistList");
    Lines old = NumberedLines(100);
    ngtest::WriteFile(path, Joined(old));
    DownloadHistory history;
    ASSERT_TRUE(history.Load(path, 20000));
    Lines added;
    for (const auto& line : NumberedLines(5000)) {
        added.push_back("new" + line);
        history.Add(added.back());
    }

    // A file size limit stands in for a full disk: the write stops midway.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int error = 0;
    bool savedOk = history.Save(path, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(savedOk);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(ngtest::ReadFile(path), Joined(old));
    EXPECT_EQ(history.Size(), 5100u);  // the names stay for a later save
    ASSERT_TRUE(history.Save(path));
    EXPECT_EQ(ngtest::ReadFile(path), Joined(old) + Joined(added));

    // A name too long for the folder's temporary file fails before writing.
    std::string tooLong = dir.File(std::string(250, 'h'));
    ngtest::WriteFile(tooLong, "kept\n");
    EXPECT_FALSE(history.Save(tooLong, &error));
    EXPECT_EQ(error, ENAMETOOLONG);
    EXPECT_EQ(ngtest::ReadFile(tooLong), "kept\n");
}

TEST(DownloadHistory, HistoryLogRecordsInLowerCase) {
    ngtest::TempDir dir;
    ngtest::ScopedChdir here(dir.Path());
    ng::LogHistoryHit("CAT.JPG", "CAT.JPG (1/1)");
    ng::LogHistoryHit(" CAT.JPG", "NICE CAT.JPG (1/1)");
    ng::LogHistoryHit("\xC9T\xC9.JPG", "A\rB\nC");
    EXPECT_EQ(ngtest::ReadFile("HistLog.txt"),
              "cat.jpg -- cat.jpg (1/1)\n"
              " cat.jpg -- nice cat.jpg (1/1)\n"
              "\xC9t\xC9.jpg -- a b c\n");
    ng::LogHistoryHit("X", "Y", dir.File("no/such/folder/log"));  // lost silently
    EXPECT_FALSE(ngtest::FileExists(dir.File("no")));
}
