#pragma once
// The news server's password in the desktop's keyring (a Secret Service,
// reached through libsecret), so that the settings file need not hold it.
// An entry is found by the server's host text and the user name. Every
// request is cancelled after the keyring's wait (and left behind should it
// not end then): a keyring that never answers counts as no keyring, it does
// not hold up a pass.

#include <chrono>
#include <optional>
#include <string>

namespace ng {

// What the keyring said to a lookup.
struct KeyringAnswer {
    // False when no keyring answered in time: no session bus, no Secret
    // Service on it, or an entry that stayed locked.
    bool answered = false;
    std::optional<std::string> password;  // the entry; nullopt when there is none
};

class Keyring {
public:
    // Long enough to type the keyring's own password when it asks to be
    // unlocked; short enough that a silent keyring only delays a pass.
    static constexpr std::chrono::milliseconds kDefaultWait{20000};

    explicit Keyring(std::chrono::milliseconds wait = kDefaultWait) : m_wait(wait) {}

    // Stores the password (any bytes), replacing the entry for the host and
    // user. True when the keyring took it.
    bool Store(const std::string& host, const std::string& user, const std::string& password) const;
    KeyringAnswer Lookup(const std::string& host, const std::string& user) const;
    // Removes the entry for the host and user. True when the keyring
    // answered, whether or not there was one.
    bool Erase(const std::string& host, const std::string& user) const;

private:
    std::chrono::milliseconds m_wait;
};

}  // namespace ng
