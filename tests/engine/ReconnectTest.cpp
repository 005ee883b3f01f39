// A provider's ordinary hiccups cost no picture: cut connections, busy
// servers, articles that are not there yet, and replies out of step. The
// pass reconnects, asks again, and saves what a clean pass saves; without
// reconnections it ends as it always did, and the next pass picks up the
// rest. A group's mark never passes work not done, and an interrupted pass
// never fetches again what it finished.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "PassHarness.h"
#include "support/Encoders.h"

namespace enginetest {
namespace {

using ngtest::Reply;

// The group's last article.
constexpr int kLast = 14;

bool IsSingle(int n) {
    return n != 3 && n != 9 && n != 10 && n != kLast;
}

// A group of uu pictures, a yEnc post whose two parts, 3 and 14, span the
// single pictures between them, and a uu post in articles 9 and 10 (which
// only the order of its parts puts together).
class Reconnect : public PassTest {
protected:
    Reconnect() {
        Set("ArticlesInFlight", "4");
        Set("SubjectIncl2", "");
        for (int n = 1; n <= kLast; ++n) {
            if (IsSingle(n)) {
                news.Add("alt.test", UUArticle(n, Name(n), Bytes(n)));
            }
        }
        const std::string post = JpegLikeBytes(20000, 99);
        for (int part = 1; part <= 2; ++part) {
            TestArticle a;
            a.number = part == 1 ? 3 : kLast;
            a.subject = "\"post.jpg\" yEnc (" + std::to_string(part) + "/2)";
            a.body = ngtest::YencEncodePart(post, "post.jpg", part, 2, part == 1 ? 1 : 10001,
                                            part == 1 ? 10000 : 20000);
            news.Add("alt.test", a);
        }
        std::vector<std::string> lines = ngtest::UuFileLines(UuPost(), "uupost.jpg");
        for (int part = 1; part <= 2; ++part) {
            TestArticle a;
            a.number = 8 + part;
            a.subject = "uupost.jpg (" + std::to_string(part) + "/2)";
            for (size_t i = (part - 1) * lines.size() / 2; i < part * lines.size() / 2; ++i) {
                a.body += lines[i];
            }
            news.Add("alt.test", a);
        }
    }

    static std::string Name(int n) { return "p" + std::to_string(n) + ".jpg"; }
    static std::string Bytes(int n) { return RandomBytes(3000, static_cast<uint32_t>(n)); }
    static std::string UuPost() { return RandomBytes(45 * 60 + 11, 98); }

    // Every picture of the group, each once, byte for byte.
    void ExpectAllSaved() {
        int pictures = 0;
        for (int n = 1; n <= kLast; ++n) {
            if (IsSingle(n)) {
                EXPECT_EQ(Downloaded(Name(n)), Bytes(n)) << n;
                ++pictures;
            }
        }
        EXPECT_EQ(Downloaded("post.jpg"), JpegLikeBytes(20000, 99));
        EXPECT_TRUE(Downloaded("uupost.jpg") == UuPost());
        EXPECT_EQ(HistoryOnDisk().size(), static_cast<size_t>(pictures + 2));
        EXPECT_FALSE(ngtest::FileExists(downloadDir + "p1-1.jpg"));
    }
};

struct Fault {
    const char* name;
    std::function<void(FakeNews&, ngtest::ScriptedServer&)> script;
};

// The first time article `at` is asked for, the reply is made by `make`.
FakeNews::ArticleFault Once(int at, std::function<Reply(const FakeNews::NormalOf&)> make) {
    return [at, make](int number, int asked, const FakeNews::NormalOf& normal) {
        return number == at && asked == 1 ? make(normal) : normal(number);
    };
}

class Hiccup : public Reconnect, public ::testing::WithParamInterface<Fault> {};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

TEST_P(Hiccup, EndsCompleteWithEveryPicture) {
    GetParam().script(news, server);
    EXPECT_EQ(RunPass(), "Operation complete");
    ExpectAllSaved();
    EXPECT_EQ(Mark("alt.test"), std::to_string(kLast));
    EXPECT_TRUE(display.CallsStarting("Status: Can't connect").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Providers, Hiccup,
    ::testing::Values(
        Fault{"CutEveryFourthArticle",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  auto count = std::make_shared<int>(0);
                  news.SetArticleFault([count](int number, int, const FakeNews::NormalOf& normal) {
                      Reply reply = normal(number);
                      return ++*count % 4 == 0 ? reply.CloseAfter(reply.bytes.size() / 2) : reply;
                  });
              }},
        Fault{"BusyGreetingThenTooManyConnections",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  server.SetGreetings([](int connection) -> Reply {
                      return connection == 0   ? Reply("400 too busy\r\n").ThenClose()
                             : connection == 1 ? Reply("502 too many connections\r\n").ThenClose()
                                               : Reply("200 ready\r\n");
                  });
              }},
        Fault{"ServiceUnavailableMidSession",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  news.SetArticleFault(Once(
                      6, [](auto&) { return Reply("400 idle for too long\r\n").ThenClose(); }));
              }},
        Fault{"LoginAskedForMidSession",
              [](FakeNews& news, ngtest::ScriptedServer&) {
                  news.SetArticleFault(
                      Once(6, [](auto&) { return Reply("480 log in again\r\n"); }));
              }},
        Fault{"NotThereYet",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  news.SetArticleFault(
                      Once(5, [](auto&) { return Reply("430 no such article\r\n"); }));
              }},
        Fault{"OneReplyTooMany",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  news.SetArticleFault(Once(7, [](const FakeNews::NormalOf& normal) {
                      return Reply(normal(7).bytes + normal(7).bytes);
                  }));
              }},
        Fault{"OneReplyTooFew",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  news.SetArticleFault(Once(8, [](auto&) { return Reply(""); }));
              }},
        Fault{"RepliesOutOfOrder",
              []([[maybe_unused]] FakeNews& news, [[maybe_unused]] ngtest::ScriptedServer& server) {
                  news.SetArticleFault([](int number, int asked, const FakeNews::NormalOf& normal) {
                      if (asked == 1 && (number == 9 || number == 10)) {
                          return normal(number == 9 ? 10 : 9);  // each gets the other's
                      }
                      return normal(number);
                  });
              }}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

TEST_F(Reconnect, RetriesAreSaidAndSpentRetriesEndThePassAsBefore) {
    // A server that hangs up on article 6 every time: three tries, said on
    // the status line, then the pass ends as a lost connection always did.
    news.SetArticleFault([](int number, int, const FakeNews::NormalOf& normal) {
        Reply reply = normal(number);
        return number == 6 ? reply.CloseAfter(40) : reply;
    });
    EXPECT_EQ(RunPass(), "Error--connection to 127.0.0.1 lost");
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_TRUE(display.Has("Status: Connection lost, retrying in 0 s (" +
                                std::to_string(attempt) + " of 3)"));
    }
    EXPECT_EQ(Mark("alt.test"), "5");  // the post's part 2 is still due, but not below 6
    EXPECT_EQ(server.Accepted(), 4);
}

TEST_F(Reconnect, WithoutRetriesTheFirstCutEndsThePassAndTheNextPassFinishes) {
    Set("ConnectRetries", "0");
    news.SetArticleFault([](int number, int asked, const FakeNews::NormalOf& normal) {
        Reply reply = normal(number);
        return number == 6 && asked == 1 ? reply.CloseAfter(reply.bytes.size() / 2) : reply;
    });
    EXPECT_EQ(RunPass(), "Error--connection to 127.0.0.1 lost");
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_EQ(Mark("alt.test"), "5");
    display.Forget();
    EXPECT_EQ(RunPass(), "Operation complete");
    ExpectAllSaved();
    // Nothing finished was fetched again: 1, 2, the post's two parts, 4, 5
    // before the cut; 6 twice (cut the first time), and the rest once.
    std::vector<int> asked = news.ArticlesAsked();
    for (int n = 1; n <= kLast; ++n) {
        EXPECT_EQ(std::count(asked.begin(), asked.end(), n), n == 6 ? 2 : 1) << n;
    }
}

TEST_F(Reconnect, AStopNeverSkipsWorkAndNothingFinishedIsFetchedAgain) {
    // The post's second part, 14, is fetched right after its first, 3:
    // stopped at 8, the mark stays at 7 although 14 is done, and the next
    // pass asks for 8 to 13 only.
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    Set("ArticlesInFlight", "1");
    StopAtArticle(worker, 8);
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "7");
    EXPECT_EQ(Downloaded("post.jpg"), JpegLikeBytes(20000, 99));
    news.OnArticle(std::function<void(const std::string&, int)>());
    const size_t before = news.ArticlesAsked().size();
    display.Forget();
    EXPECT_EQ(RunPass(), "Operation complete");
    ExpectAllSaved();
    std::vector<int> asked = news.ArticlesAsked();
    EXPECT_EQ(std::vector<int>(asked.begin() + static_cast<long>(before), asked.end()),
              (std::vector<int>{8, 9, 10, 11, 12, 13}));  // not 14
    EXPECT_EQ(Mark("alt.test"), std::to_string(kLast));
}

}  // namespace
}  // namespace enginetest
