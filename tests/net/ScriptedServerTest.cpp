// The scripted server is what the dialogue tests stand on: check the parts
// of it the line connection tests do not already use.
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include "net/Socket.h"

using namespace std::chrono_literals;
using ngtest::Reply;
using ngtest::ScriptedServer;

TEST(ScriptedServer, ServesConnectionsInTurnFromItsScript) {
    ScriptedServer server;
    server.SetMaxConnections(2);
    server.SetDefaultReply("501 unknown\r\n");
    server.On("GROUP alt.exact", "211 exact\r\n");
    server.OnPrefix("GROUP ", [](const std::string& line) { return "411 " + line + "\r\n"; });
    server.OnPrefix("QUIT", Reply("205 bye\r\n").ThenClose());

    {
        CNewsSocket socket;
        ASSERT_TRUE(socket.OpenConnection(server.Address(), server.Port()));
        socket.SendLine("GROUP alt.exact\r\n");
        socket.SendLine("GROUP alt.other\n");
        socket.SendLine("HELP\r\n");
        socket.SendLine("QUIT\r\n");
        EXPECT_EQ(socket.ReadLine(), "211 exact\r\n");
        EXPECT_EQ(socket.ReadLine(), "411 GROUP alt.other\r\n");
        EXPECT_EQ(socket.ReadLine(), "501 unknown\r\n");
        EXPECT_EQ(socket.ReadLine(), "205 bye\r\n");
        EXPECT_EQ(socket.ReadLine(), "");
    }
    {
        CNewsSocket socket;
        ASSERT_TRUE(socket.OpenConnection(server.Address(), server.Port()));
        socket.SendLine("SECOND\r\n");
        EXPECT_EQ(socket.ReadLine(), "501 unknown\r\n");
    }
    EXPECT_TRUE(server.WaitForClosed(2));
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_EQ(server.Received(0), "GROUP alt.exact\r\nGROUP alt.other\nHELP\r\nQUIT\r\n");
    EXPECT_EQ(server.Received(1), "SECOND\r\n");
    EXPECT_EQ(server.Received(), server.Received(0) + server.Received(1));

    // Past its connection count it refuses.
    CNewsSocket third;
    EXPECT_FALSE(third.OpenConnection(server.Address(), server.Port()));
}

TEST(ScriptedServer, EndsItsConnectionsWhenItsLifetimeIsOver) {
    ScriptedServer server;
    server.On("SILENT", "");
    server.SetLifetime(500ms);
    CNewsSocket socket;
    ASSERT_TRUE(socket.OpenConnection(server.Address(), server.Port()));
    socket.SendLine("SILENT\r\n");
    EXPECT_TRUE(server.WaitForBytes(8));
    EXPECT_EQ(socket.ReadLine(), "");
    EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);
    EXPECT_TRUE(server.WaitForClosed(1, 1s));
}
