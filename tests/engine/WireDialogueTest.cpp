// The bytes a pass sends, and every way the login can go.

#include <gtest/gtest.h>

#include <algorithm>

#include "PassHarness.h"
#include "support/ProtectedServer.h"
#include "support/TestCertificates.h"

namespace enginetest {
namespace {

using WireDialogue = PassTest;

TEST_F(WireDialogue, PlainPassSendsGroupXoverAndArticlesOnly) {
    news.Add("alt.test", UUArticle(1, "one.jpg", RandomBytes(500, 1)));
    news.Add("alt.test", UUArticle(2, "two.jpg", RandomBytes(500, 2)));
    news.AddGroup("alt.empty");
    SetGroups({"alt.test", "alt.empty"});

    EXPECT_EQ(RunPass(), "Operation complete");
    // Nothing before the first GROUP, the mark + 1 in the XOVER line, and no QUIT.
    EXPECT_EQ(server.Received(),
              "GROUP alt.test\r\nXOVER 1-\r\nARTICLE 1\r\nARTICLE 2\r\nGROUP alt.empty\r\n");
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_TRUE(server.WaitForClosed(1));  // closed without a goodbye
    EXPECT_EQ(Mark("alt.test"), "2");
    EXPECT_EQ(display.CallsStarting("Status: "),
              (std::vector<std::string>{
                  "Status: Connecting to 127.0.0.1", "Status: Connected to 127.0.0.1",
                  "Status: Retrieving up to 2 headers in alt.test",
                  "Status: Scanning 2 retrieved headers in alt.test",
                  "Status: Retrieving 2 files from alt.test", "Status: Operation complete"}));
}

TEST_F(WireDialogue, StoredMarkIsTheStartOfTheRange) {
    ng::Profile().WriteProfileString(kHost, "alt.test", "41");
    news.Add("alt.test", UUArticle(41, "old.jpg", RandomBytes(90, 3)));
    news.Add("alt.test", UUArticle(42, "new.jpg", RandomBytes(90, 4)));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(server.Received(), "GROUP alt.test\r\nXOVER 42-\r\nARTICLE 42\r\n");
    EXPECT_EQ(Mark("alt.test"), "42");
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "old.jpg"));
}

TEST_F(WireDialogue, AGreetingThatRefusesIsShownInTheServersWords) {
    // Busy servers (400, 502) are asked again; any other code refuses for
    // good. Either way nothing is sent, and the status never says "Connected".
    Set("ConnectRetries", "0");
    struct Case {
        const char* greeting;
        const char* status;
    };
    const Case cases[] = {
        {"400 too busy\r\n", "Can't connect to server: 400 too busy"},
        {"502 too many connections\x1b[2J\r\n",
         "Can't connect to server: 502 too many connections?[2J"},
        {"500 what greeting\r\n", "Can't connect to server: 500 what greeting"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.greeting);
        ngtest::ScriptedServer refusing;
        refusing.SetGreeting(c.greeting);
        Set("NNTPPort", std::to_string(refusing.Port()));
        RecordingDisplay shown;
        CProcessGroups worker(ng::Profile(), shown, nullptr, pending);
        worker.InitInstance();
        EXPECT_EQ(shown.LastStatus(), c.status);
        EXPECT_EQ(refusing.Received(), "");
        EXPECT_TRUE(shown.CallsStarting("Status: Connected").empty());
        EXPECT_EQ(shown.PassEndCount(), 1);
    }
}

struct LoginCase {
    const char* title;
    const char* userReply;
    const char* passReply;
    std::string wire;    // what the server receives
    std::string status;  // the last status text
};

class Login : public PassTest {
protected:
    Login() {
        SetHost("UserAuthentication", "1");
        SetHost("Username", "joe");
        SetHost("Password", "s3cret");
        news.AddGroup("alt.test");
    }

    // One pass against a server that answers the two login lines as given.
    void Check(const LoginCase& c, std::optional<std::string> typed = std::nullopt,
               int expectAsked = 0) {
        SCOPED_TRACE(c.title);
        ngtest::ScriptedServer login;
        login.OnPrefix("AUTHINFO USER ", c.userReply);
        login.OnPrefix("AUTHINFO PASS ", c.passReply);
        login.On("GROUP alt.test", "211 0 1 0 alt.test\r\n");
        Set("NNTPPort", std::to_string(login.Port()));
        RecordingDisplay shown;
        ScriptedPrompt asker(std::move(typed));
        CProcessGroups worker(ng::Profile(), shown, &asker, pending);
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(shown.WaitForPassEnd());
        worker.Join();
        EXPECT_EQ(login.Received(), c.wire);
        EXPECT_EQ(shown.LastStatus(), c.status);
        EXPECT_EQ(shown.PassEndCount(), 1);
        EXPECT_EQ(asker.Asked(), expectAsked);
        statuses = shown.CallsStarting("Status: ");
    }

    std::vector<std::string> statuses;  // the texts the last pass showed
};

const std::string kUser = "AUTHINFO USER joe\r\n";
const std::string kPass = "AUTHINFO PASS s3cret\r\n";
const std::string kGroup = "GROUP alt.test\r\n";

TEST_F(Login, EveryReplyToUserAndPass) {
    const LoginCase cases[] = {
        {"281 to USER: no PASS", "281 welcome\r\n", "", kUser + kGroup, "Operation complete"},
        {"502 to USER: no PASS, go on", "502 no\r\n", "", kUser + kGroup, "Operation complete"},
        {"381 then 281", "381 more\r\n", "281 ok\r\n", kUser + kPass + kGroup,
         "Operation complete"},
        {"381 then 481 goes on", "381 more\r\n", "481 bad\r\n", kUser + kPass + kGroup,
         "Operation complete"},
        {"381 then 482 ends", "381 more\r\n", "482 order\r\n", kUser + kPass,
         "Authentication failed"},
        {"381 then 502 ends", "381 more\r\n", "502 denied\r\n", kUser + kPass,
         "Authentication failed"},
    };
    for (const auto& c : cases) {
        Check(c);
    }
}

TEST_F(Login, A480AfterAWrongPasswordLogsInOnceMoreThenSkipsTheGroups) {
    // A wrong password (481) goes on, as it always did; the server then asks
    // for a login at every command. One more login, then each 480 is the
    // command's answer: the groups are skipped and the pass ends in time.
    ngtest::ScriptedServer login;
    login.OnPrefix("AUTHINFO USER ", "381 more\r\n");
    login.OnPrefix("AUTHINFO PASS ", "481 bad\r\n");
    login.OnPrefix("GROUP ", "480 log in first\r\n");
    Set("NNTPPort", std::to_string(login.Port()));
    SetGroups({"alt.test", "alt.more"});
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(login.Received(),
              kUser + kPass + kGroup + kUser + kPass + kGroup + "GROUP alt.more\r\n");
}

TEST_F(Login, PromptAnsweredReplacesTheStoredPassword) {
    SetHost("PromptForPasswd", "1");
    Check({"prompt answered", "381 more\r\n", "281 ok\r\n",
           kUser + "AUTHINFO PASS typed pw\r\n" + kGroup, "Operation complete"},
          "typed pw", 1);
}

TEST_F(Login, PromptCancelledSendsAnEmptyPassword) {
    SetHost("PromptForPasswd", "1");
    Check({"prompt cancelled", "381 more\r\n", "481 bad\r\n", kUser + "AUTHINFO PASS \r\n" + kGroup,
           "Operation complete"},
          std::nullopt, 1);
}

TEST_F(Login, WithoutAKeyringTheFilesPasswordIsSentAndSaidSoOnce) {
    // The tests see no session bus, so no keyring answers.
    const std::string note = "Status: No keyring answers: using the password in the settings file";
    Check({"stored", "381 more\r\n", "281 ok\r\n", kUser + kPass + kGroup, "Operation complete"});
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses[1], "Status: Connected to 127.0.0.1");
    EXPECT_EQ(statuses[2], note);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), note), 1);
    // Asked for at each session: no keyring is asked, nothing is said.
    SetHost("PromptForPasswd", "1");
    Check({"prompt", "381 more\r\n", "281 ok\r\n", kUser + "AUTHINFO PASS typed\r\n" + kGroup,
           "Operation complete"},
          "typed", 1);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), note), 0);
}

TEST_F(Login, NothingBeforeGroupWithoutAuthentication) {
    SetHost("UserAuthentication", "0");
    SetHost("PromptForPasswd", "1");
    Check({"no login", "281 welcome\r\n", "281 ok\r\n", kGroup, "Operation complete"});
}

TEST_F(Login, AuthenticationFailureSavesNoHistoryAndTouchesNoMark) {
    ngtest::WriteFile("HistList", "kept.jpg\n");
    Check({"482", "381 more\r\n", "482 order\r\n", kUser + kPass, "Authentication failed"});
    EXPECT_EQ(ngtest::ReadFile("HistList"), "kept.jpg\n");
    EXPECT_EQ(Mark("alt.test"), "(none)");
}

TEST_F(Login, NoLoginOverAConnectionThatFailedItsCheck) {
    // TLS to a server whose certificate no trusted authority signed: the pass
    // ends before the password could go to whoever that is.
    ngtest::TestCertificates certificates;
    if (!certificates.Made()) {
        GTEST_SKIP() << "the openssl command could not make test certificates";
    }
    ngtest::ProtectedServer::Script script;
    script.tlsFirst = true;
    script.chain = certificates.Chain("server");
    script.key = certificates.Key("server");
    ngtest::ProtectedServer tlsServer(script);
    Set("NNTPPort", std::to_string(tlsServer.Port()));
    Set("NNTPSecurity", "tls");
    SetHost("UserAuthentication", "1");
    SetHost("Username", "me");
    SetHost("Password", "secret");
    const std::string status = RunPass();
    EXPECT_TRUE(status.starts_with("Can't connect to server securely: certificate not trusted"))
        << status;
    EXPECT_TRUE(tlsServer.Commands().empty());
    EXPECT_EQ(Mark("alt.test"), "(none)");

    // A protection the program does not know ("ssl" typed for "tls")
    // connects to nothing rather than send the password in the clear.
    Set("NNTPPort", std::to_string(server.Port()));
    Set("NNTPSecurity", "ssl");
    display.Forget();
    EXPECT_EQ(RunPass(), "Can't connect to server securely: unknown NNTPSecurity setting");
    EXPECT_EQ(server.Received(), "");
}

}  // namespace
}  // namespace enginetest
