#pragma once
// What a connection to a news server is made with: where the server is,
// how it is protected and compressed, and the login of its section, as the
// settings hold them; and the texts both the pass and the group list
// refresh show about an opening. The session (nntp/Session.h) does the
// talking.

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace ng {

class SettingsStore;

// Asks the user for the news server's password. Gives the typed text when
// the user pressed OK, nullopt when the prompt was cancelled. An
// implementation that waits for another thread gives up (as cancelled) once
// `stop` is set, so a stopped login never hangs in the prompt.
class IPasswordPrompt {
public:
    virtual ~IPasswordPrompt() = default;
    virtual std::optional<std::string> AskPassword(const std::atomic<bool>& stop) = 0;
};

// How the connection is protected: not at all, TLS from the first byte, or
// TLS after the greeting (STARTTLS), refusing to go on in the clear. A
// setting the program does not know connects to nothing: a password must
// not go out in the clear because of a typing slip.
enum class Security { None, Tls, StartTls, Unknown };

// Where the server is, how the connection is protected and compressed, and
// how long the server may stay silent.
struct ServerSettings {
    std::string host;
    int port = 0;
    int readTimeoutSeconds = 0;  // 0 or less: the connection's own default
    Security security = Security::None;
    bool verifyCertificate = true;
    std::string caFile;    // trusted besides the system's roots
    bool compress = true;  // use COMPRESS DEFLATE when the server offers it
};
// The product section's "NNTPHost", "NNTPPort", "ReadTimeout",
// "NNTPSecurity", "TLSVerify", "TLSCAFile" and "NNTPCompress".
ServerSettings ReadServerSettings(const SettingsStore& store);

enum class OpenResult { Connected, Failed, Refused, Stopped };
struct OpenOutcome {
    OpenResult result = OpenResult::Failed;
    // Why a protected connection could not be made ("certificate not
    // trusted", ...), or the greeting of a server that refused the session
    // ("400 too busy"); empty for a plain failure to connect.
    std::string problem;
    int code = 0;  // the refusing greeting's code
};

// The status texts of an opening, shared by the pass and the group list
// refresh: "Can't connect to server", with the reason when a protected
// connection failed; "Connected to " + host, saying so at every connect
// when the certificate goes unchecked.
std::string CantConnectText(const OpenOutcome& outcome);
std::string ConnectedText(const ServerSettings& server);

// The login of a server's section.
struct LoginSettings {
    bool required = false;  // "UserAuthentication" is non-zero
    std::string user;
    bool promptForPassword = false;  // ask at each login instead of `password`
    std::string password;            // as stored
    // No keyring answered, so `password` is the settings file's: the pass
    // and the refresh say so (NoKeyringText) before they log in.
    bool keyringUnanswered = false;
};
// A stored password is the keyring's entry for the host and user; the
// section's "Password" when the keyring holds none (a profile from before)
// or does not answer (no desktop session). The keyring is asked only when a
// login with a stored password is needed.
LoginSettings ReadLoginSettings(const SettingsStore& store, const std::string& host);
// What a pass and a refresh show before such a login.
std::string NoKeyringText();

// Which answers to AUTHINFO PASS refuse the login.
enum class PasswordRule {
    // The download pass: only 482 and 502 refuse; any other answer goes on.
    RefusedBy482Or502,
    // The group list refresh: anything but 281 refuses.
    AcceptedOnlyBy281,
};
// Lost: the connection broke during the login (a failure a new connection
// may get past).
enum class LoginResult { LoggedIn, Refused, Stopped, Lost };

}  // namespace ng
