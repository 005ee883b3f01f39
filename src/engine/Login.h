#pragma once
// What both logins (the download pass and the group list refresh) take from
// a server's settings section: whether to log in, the user name, and the
// password, stored or asked for at each login.

#include <atomic>
#include <string>

#include "engine/Display.h"

namespace ng {

class SettingsStore;

struct LoginSettings {
    bool required = false;  // "UserAuthentication" is non-zero
    std::string user;
    std::string password;
};

// Reads the login of `host`'s section. With "PromptForPasswd" set the
// password is the one typed at `prompt` (empty when cancelled, when the stop
// flag is set meanwhile, or when there is no prompt); it is never stored.
LoginSettings ReadLoginSettings(const SettingsStore& store, const std::string& host,
                                IPasswordPrompt* prompt, const std::atomic<bool>& stop);

}  // namespace ng
