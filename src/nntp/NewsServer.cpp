#include "nntp/NewsServer.h"

#include <chrono>

#include "net/Socket.h"
#include "nntp/Reply.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace ng {

ServerSettings ReadServerSettings(const SettingsStore& store) {
    ServerSettings server;
    server.host = store.GetProfileString(keys::kProductSection, keys::kNNTPHost, "");
    server.port = store.GetProfileInt(keys::kProductSection, keys::kNNTPPort, defaults::kPort);
    server.readTimeoutSeconds = store.GetProfileInt(keys::kProductSection, keys::kReadTimeout,
                                                    defaults::kReadTimeoutSeconds);
    return server;
}

OpenResult OpenNewsServer(CNewsSocket& socket, const ServerSettings& server) {
    if (server.readTimeoutSeconds > 0) {
        socket.SetReadTimeout(std::chrono::seconds(server.readTimeoutSeconds));
    }
    if (server.port < 1 || server.port > 65535) {
        return OpenResult::Failed;
    }
    if (socket.OpenConnection(server.host, server.port)) {
        return OpenResult::Connected;
    }
    return socket.InterruptedByStop() ? OpenResult::Stopped : OpenResult::Failed;
}

LoginSettings ReadLoginSettings(const SettingsStore& store, const std::string& host) {
    LoginSettings login;
    login.required = store.GetProfileInt(host, keys::kUserAuthentication, 0) != 0;
    if (login.required) {
        login.user = store.GetProfileString(host, keys::kUsername, "");
        login.promptForPassword = store.GetProfileInt(host, keys::kPromptForPasswd, 0) != 0;
        login.password = store.GetProfileString(host, keys::kPassword, "");
    }
    return login;
}

LoginResult LogIn(CNewsSocket& socket, const LoginSettings& login, IPasswordPrompt* prompt,
                  const std::atomic<bool>& stop, PasswordRule rule) {
    if (!login.required) {
        return LoginResult::LoggedIn;
    }
    std::string password = login.password;
    if (login.promptForPassword) {
        password = prompt ? prompt->AskPassword(stop).value_or("") : std::string();
    }
    if (stop) {
        return LoginResult::Stopped;
    }
    // No blank before CR LF: real servers take it as part of the name.
    socket.SendLine("AUTHINFO USER " + login.user + "\r\n");
    int code = nntp::ReplyCode(socket.ReadLine());
    if (socket.InterruptedByStop()) {
        return LoginResult::Stopped;
    }
    if (code != nntp::kPasswordRequired) {
        return LoginResult::LoggedIn;  // accepted without a password, or an answer we go on after
    }
    socket.SendLine("AUTHINFO PASS " + password + "\r\n");
    code = nntp::ReplyCode(socket.ReadLine());
    if (socket.InterruptedByStop()) {
        return LoginResult::Stopped;
    }
    bool refused = rule == PasswordRule::RefusedBy482Or502
                       ? code == nntp::kAuthOutOfSequence || code == nntp::kNotPermitted
                       : code != nntp::kAuthAccepted;
    return refused ? LoginResult::Refused : LoginResult::LoggedIn;
}

}  // namespace ng
