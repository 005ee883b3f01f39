#include "engine/Login.h"

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace ng {

LoginSettings ReadLoginSettings(const SettingsStore& store, const std::string& host,
                                IPasswordPrompt* prompt, const std::atomic<bool>& stop) {
    LoginSettings login;
    login.required = store.GetProfileInt(host, keys::kUserAuthentication, 0) != 0;
    if (!login.required) {
        return login;
    }
    login.user = store.GetProfileString(host, keys::kUsername, "");
    if (store.GetProfileInt(host, keys::kPromptForPasswd, 0) != 0) {
        if (prompt) {
            login.password = prompt->AskPassword(stop).value_or("");
        }
    } else {
        login.password = store.GetProfileString(host, keys::kPassword, "");
    }
    return login;
}

}  // namespace ng
