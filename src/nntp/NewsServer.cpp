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
