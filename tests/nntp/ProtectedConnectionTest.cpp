// Opening a server over TLS (from the first byte, or after STARTTLS) and
// turning compression on: what must connect, what must not, and what the
// user is told; and that nothing of a compressed stream can run away.

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>

#include "net/Socket.h"
#include "nntp/NewsServer.h"
#include "nntp/Session.h"
#include "support/ProtectedServer.h"
#include "support/TestCertificates.h"

namespace {

using ngtest::ProtectedServer;

class ProtectedConnection : public ::testing::Test {
protected:
    void SetUp() override {
        if (!certificates.Made()) {
            GTEST_SKIP() << "the openssl command could not make test certificates";
        }
    }
    ProtectedServer::Script Script(const std::string& which = "server") const {
        ProtectedServer::Script script;
        script.chain = certificates.Chain(which);
        script.key = certificates.Key(which);
        script.answer = [](const std::string& line) {
            return line == "GROUP alt.test" ? std::string("211 3 1 3 alt.test\r\n")
                                            : std::string("500 what?\r\n");
        };
        return script;
    }
    ng::ServerSettings Settings(const ProtectedServer& server, ng::Security security) const {
        ng::ServerSettings settings;
        settings.host = "127.0.0.1";
        settings.port = server.Port();
        settings.readTimeoutSeconds = 5;
        settings.security = security;
        settings.caFile = certificates.CaFile();
        return settings;
    }

    ngtest::TestCertificates certificates;
};

TEST_F(ProtectedConnection, WhatConnectsAndWhatIsRefused) {
    struct Case {
        const char* name;
        ng::Security security;
        const char* certificate;
        bool trustCa, verify, offerStartTls;
        const char* startTlsReply;
        std::string problem;  // empty: connects
    };
    const char* k382 = "382 Begin TLS negotiation now\r\n";
    const Case cases[] = {
        {"TLS, trusted", ng::Security::Tls, "server", true, true, true, k382, ""},
        {"STARTTLS, trusted", ng::Security::StartTls, "server", true, true, true, k382, ""},
        {"TLS, unknown authority", ng::Security::Tls, "server", false, true, true, k382,
         "certificate not trusted"},
        {"TLS, another host's certificate", ng::Security::Tls, "other", true, true, true, k382,
         "host name does not match"},
        {"TLS, not checked", ng::Security::Tls, "other", false, false, true, k382, ""},
        {"STARTTLS not offered", ng::Security::StartTls, "server", true, true, false, k382,
         "the server does not offer STARTTLS"},
        {"STARTTLS refused", ng::Security::StartTls, "server", true, true, true,
         "580 Error initializing TLS\r\n",
         "the server refused STARTTLS (580 Error initializing TLS)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProtectedServer::Script script = Script(c.certificate);
        script.tlsFirst = c.security == ng::Security::Tls;
        script.offerStartTls = c.offerStartTls;
        script.startTlsReply = c.startTlsReply;
        ProtectedServer server(script);
        ng::ServerSettings settings = Settings(server, c.security);
        settings.verifyCertificate = c.verify;
        if (!c.trustCa) {
            settings.caFile.clear();
        }
        ng::NntpSession session(settings, nullptr, nullptr);
        ng::OpenOutcome opened = session.Open();
        if (!c.problem.empty()) {
            EXPECT_EQ(opened.result, ng::OpenResult::Failed);
            EXPECT_EQ(opened.problem.substr(0, c.problem.size()), c.problem) << opened.problem;
            EXPECT_EQ(ng::CantConnectText(opened),
                      "Can't connect to server securely: " + opened.problem);
            continue;
        }
        ASSERT_EQ(opened.result, ng::OpenResult::Connected) << opened.problem;
        EXPECT_EQ(session.Group("alt.test").text, "211 3 1 3 alt.test");
        EXPECT_EQ(ng::ConnectedText(settings),
                  c.verify ? "Connected to 127.0.0.1"
                           : "Connected to 127.0.0.1 (certificate not checked)");
        // The command after STARTTLS went over TLS: the server read it there.
        std::vector<std::string> commands = server.Commands();
        EXPECT_NE(std::find(commands.begin(), commands.end(), "GROUP alt.test"), commands.end());
    }
}

TEST_F(ProtectedConnection, CompressionWhenOfferedAndALostConnectionWhenCorrupt) {
    std::string list = "215 list follows\r\n";
    for (int i = 0; i < 20000; ++i) {
        list += "alt.binaries.pictures.group" + std::to_string(i) + " 0000001000 0000000001 y\r\n";
    }
    list += ".\r\n";
    {
        ProtectedServer::Script script = Script();
        script.offerCompress = true;
        script.answer = [&](const std::string& line) {
            return line == "LIST" ? list : "500 what?\r\n";
        };
        ProtectedServer server(script);
        ng::NntpSession session(Settings(server, ng::Security::None), nullptr, nullptr);
        ASSERT_EQ(session.Open().result, ng::OpenResult::Connected);
        ASSERT_TRUE(session.StartCompression());
        // Compressed on its way out, read back whole by the server.
        std::string received = "215 list follows\r\n";
        ASSERT_EQ(session.List().code, 215);
        EXPECT_TRUE(session.ReadBlock(INT64_MAX,
                                      [&](std::string_view line, int64_t) { received += line; }));
        EXPECT_EQ(received + ".\r\n", list);
        EXPECT_EQ(server.Commands(),
                  (std::vector<std::string>{"CAPABILITIES", "COMPRESS DEFLATE", "LIST"}));
    }
    {
        // Not offered: no COMPRESS is sent.
        ProtectedServer server(Script());
        ng::NntpSession session(Settings(server, ng::Security::None), nullptr, nullptr);
        ASSERT_EQ(session.Open().result, ng::OpenResult::Connected);
        EXPECT_FALSE(session.StartCompression());
        EXPECT_EQ(server.Commands(), std::vector<std::string>{"CAPABILITIES"});
    }
    // After the 206: bytes that are no deflate stream, and a small stream
    // that would inflate to a line past the connection's cap.
    std::string bomb(32 * 1024 * 1024, 'a');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&z, bomb.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(bomb.data());
    z.avail_in = static_cast<uInt>(bomb.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_SYNC_FLUSH);
    packed.resize(packed.size() - z.avail_out);
    deflateEnd(&z);
    ASSERT_LT(packed.size(), 100000u);
    for (const std::string& after : {std::string("\xff\xfe garbage, not deflate\r\n"), packed}) {
        ProtectedServer::Script script = Script();
        script.offerCompress = true;
        script.afterCompress = after;
        ProtectedServer server(script);
        ng::NntpSession session(Settings(server, ng::Security::None), nullptr, nullptr);
        ASSERT_EQ(session.Open().result, ng::OpenResult::Connected);
        ASSERT_TRUE(session.StartCompression());
        EXPECT_EQ(session.List().code, 0);
        EXPECT_EQ(session.LastFailure(), ng::NntpSession::Failure::Lost);
        EXPECT_TRUE(session.LastSocketError() == EPROTO || session.LastSocketError() == EMSGSIZE)
            << session.LastSocketError();
    }
}

}  // namespace
