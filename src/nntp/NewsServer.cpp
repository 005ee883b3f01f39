#include "nntp/NewsServer.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "net/Socket.h"
#include "nntp/Reply.h"
#include "platform/AsciiCase.h"
#include "settings/Keyring.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace ng {

ServerSettings ReadServerSettings(const SettingsStore& store) {
    ServerSettings server;
    server.host = Read(store, setting::kNNTPHost);
    server.port = Read(store, setting::kNNTPPort);
    server.readTimeoutSeconds = Read(store, setting::kReadTimeout);
    const std::string security = ToUpperAscii(Read(store, setting::kNNTPSecurity));
    server.security = security == "TLS"                        ? Security::Tls
                      : security == "STARTTLS"                 ? Security::StartTls
                      : security.empty() || security == "NONE" ? Security::None
                                                               : Security::Unknown;
    server.verifyCertificate = Read(store, setting::kTLSVerify) != 0;
    server.caFile = Read(store, setting::kTLSCAFile);
    server.compress = Read(store, setting::kNNTPCompress) != 0;
    return server;
}

std::string CantConnectText(const OpenOutcome& outcome) {
    if (outcome.problem.empty()) {
        return "Can't connect to server";
    }
    return outcome.result == OpenResult::Refused
               ? "Can't connect to server: " + outcome.problem
               : "Can't connect to server securely: " + outcome.problem;
}

std::string ConnectedText(const ServerSettings& server) {
    std::string text = "Connected to " + server.host;
    if (server.security != Security::None && !server.verifyCertificate) {
        text += " (certificate not checked)";
    }
    return text;
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

}  // namespace ng
