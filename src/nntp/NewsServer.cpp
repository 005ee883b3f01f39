#include "nntp/NewsServer.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "net/Socket.h"
#include "nntp/Reply.h"
#include "platform/AsciiCase.h"
#include "settings/Keyring.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace ng {

namespace {

constexpr size_t kMaxCapabilityBytes = 64 * 1024;

}  // namespace

ServerSettings ReadServerSettings(const SettingsStore& store) {
    auto text = [&](const char* key, const char* defaultValue) {
        return store.GetProfileString(keys::kProductSection, key, defaultValue);
    };
    auto number = [&](const char* key, int defaultValue) {
        return store.GetProfileInt(keys::kProductSection, key, defaultValue);
    };
    ServerSettings server;
    server.host = text(keys::kNNTPHost, "");
    server.port = number(keys::kNNTPPort, defaults::kPort);
    server.readTimeoutSeconds = number(keys::kReadTimeout, defaults::kReadTimeoutSeconds);
    const std::string security = ToUpperAscii(text(keys::kNNTPSecurity, defaults::kNNTPSecurity));
    server.security = security == "TLS"                        ? Security::Tls
                      : security == "STARTTLS"                 ? Security::StartTls
                      : security.empty() || security == "NONE" ? Security::None
                                                               : Security::Unknown;
    server.verifyCertificate = number(keys::kTLSVerify, defaults::kTLSVerify) != 0;
    server.caFile = text(keys::kTLSCAFile, "");
    server.compress = number(keys::kNNTPCompress, defaults::kNNTPCompress) != 0;
    return server;
}

std::optional<std::vector<std::string>> ReadCapabilities(CNewsSocket& socket) {
    socket.SendLine("CAPABILITIES\r\n");
    if (nntp::ReplyCode(socket.ReadLine()) != nntp::kCapabilitiesFollow) {
        return std::nullopt;
    }
    std::vector<std::string> capabilities;
    size_t held = 0;
    for (std::string line = socket.ReadLine(); !line.empty() && !nntp::IsEndOfBlock(line);
         line = socket.ReadLine()) {
        // A sensible list is short: a server must not fill memory through it.
        held += line.size();
        if (held > kMaxCapabilityBytes) {
            continue;
        }
        capabilities.push_back(ToUpperAscii(nntp::WithoutLineEnd(line)));
    }
    return capabilities;
}

bool StartCompression(CNewsSocket& socket) {
    auto capabilities = ReadCapabilities(socket);
    if (!capabilities || !socket.IsConnected()) {
        return false;
    }
    bool offered = false;
    for (const std::string& line : *capabilities) {
        if (line.starts_with("COMPRESS ") &&
            (" " + line + " ").find(" DEFLATE ") != std::string::npos) {
            offered = true;
        }
    }
    if (!offered) {
        return false;
    }
    socket.SendLine("COMPRESS DEFLATE\r\n");
    if (nntp::ReplyCode(socket.ReadLine()) != nntp::kCompressionActive) {
        return false;
    }
    socket.StartCompression();
    return true;
}

std::string CantConnectText(const OpenOutcome& outcome) {
    return outcome.problem.empty() ? "Can't connect to server"
                                   : "Can't connect to server securely: " + outcome.problem;
}

std::string ConnectedText(const ServerSettings& server) {
    std::string text = "Connected to " + server.host;
    if (server.security != Security::None && !server.verifyCertificate) {
        text += " (certificate not checked)";
    }
    return text;
}

OpenOutcome OpenNewsServer(CNewsSocket& socket, const ServerSettings& server) {
    OpenOutcome outcome;
    if (server.readTimeoutSeconds > 0) {
        socket.SetReadTimeout(std::chrono::seconds(server.readTimeoutSeconds));
    }
    auto failed = [&](std::string problem) {
        outcome.result = socket.InterruptedByStop() ? OpenResult::Stopped : OpenResult::Failed;
        outcome.problem = socket.InterruptedByStop() ? std::string() : std::move(problem);
        return outcome;
    };
    if (server.security == Security::Unknown) {
        return failed(std::string("unknown ") + keys::kNNTPSecurity + " setting");
    }
    if (server.port < 1 || server.port > 65535 || !socket.Connect(server.host, server.port)) {
        return failed({});
    }
    const TlsOptions tls{HostWithoutBrackets(server.host), server.verifyCertificate, server.caFile};
    if (server.security == Security::Tls && !socket.StartTls(tls)) {
        return failed(socket.TlsProblem());
    }
    // Without a greeting nothing has been said to us: the connection is not usable.
    if (socket.ReadLine().empty()) {
        return failed({});
    }
    if (server.security == Security::StartTls) {
        auto capabilities = ReadCapabilities(socket);
        bool offered = capabilities && std::find(capabilities->begin(), capabilities->end(),
                                                 "STARTTLS") != capabilities->end();
        if (!offered) {
            return failed("the server does not offer STARTTLS");
        }
        socket.SendLine("STARTTLS\r\n");
        std::string reply = socket.ReadLine();
        if (nntp::ReplyCode(reply) != nntp::kContinueWithTls) {
            // The server's words, as much of them as a status line holds.
            return failed("the server refused STARTTLS (" +
                          std::string(nntp::WithoutLineEnd(reply).substr(0, 200)) + ")");
        }
        if (!socket.StartTls(tls)) {
            return failed(socket.TlsProblem());
        }
    }
    outcome.result = OpenResult::Connected;
    return outcome;
}

LoginSettings ReadLoginSettings(const SettingsStore& store, const std::string& host) {
    LoginSettings login;
    login.required = store.GetProfileInt(host, keys::kUserAuthentication, 0) != 0;
    if (login.required) {
        login.user = store.GetProfileString(host, keys::kUsername, "");
        login.promptForPassword = store.GetProfileInt(host, keys::kPromptForPasswd, 0) != 0;
        login.password = store.GetProfileString(host, keys::kPassword, "");
    }
    if (login.required && !login.promptForPassword) {
        KeyringAnswer kept = Keyring().Lookup(host, login.user);
        if (kept.password) {
            login.password = std::move(*kept.password);
        }
        login.keyringUnanswered = !kept.answered;
    }
    return login;
}

std::string NoKeyringText() {
    return "No keyring answers: using the password in the settings file";
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
