// The password in a keyring: entries by host and user, the login's choice
// between the keyring and the settings file, and keyrings that are missing,
// locked or silent. CTest runs each suite in its own process:
// UnlockedKeyring and LockedKeyring under with-secret-service (a bus and a
// gnome-keyring of their own), SilentKeyring with the bus alone, NoKeyring
// without any.

#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "nntp/NewsServer.h"
#include "settings/Keyring.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const std::string kHost = "news.example";

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

void StoreLogin(const std::string& user, const std::string& password, bool prompt = false) {
    auto& store = ng::Profile();
    store.WriteProfileInt(kHost, "UserAuthentication", 1);
    store.WriteProfileString(kHost, "Username", user);
    store.WriteProfileString(kHost, "Password", password);
    store.WriteProfileInt(kHost, "PromptForPasswd", prompt ? 1 : 0);
}

class UnlockedKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (!EnvSet("NG_TEST_SECRET_SERVICE") || !EnvSet("NG_TEST_KEYRING")) {
            GTEST_SKIP() << "runs under tests/settings/with-secret-service";
        }
    }
    ngtest::Sandbox sandbox;
    const ng::Keyring keyring;
};

TEST_F(UnlockedKeyring, EntriesAreKeptByHostAndUser) {
    struct Entry {
        std::string host, user, password;
    };
    const std::string host = "entries.example";
    const Entry entries[] = {
        {host, "fred", "pw one"},
        {host, "joe", "caf\xe9 8-bit"},  // Latin-1, as an old profile may hold it
        {"other.example", "fred", "p\xc3\xa4ss w\xc3\xb6rd"},
    };
    for (const Entry& e : entries) {
        ASSERT_TRUE(keyring.Store(e.host, e.user, e.password)) << e.host << " " << e.user;
    }
    for (const Entry& e : entries) {
        ng::KeyringAnswer answer = keyring.Lookup(e.host, e.user);
        EXPECT_TRUE(answer.answered);
        EXPECT_EQ(answer.password, e.password) << e.host << " " << e.user;
    }
    // The host and the user each matter.
    ng::KeyringAnswer none = keyring.Lookup("other.example", "joe");
    EXPECT_TRUE(none.answered);
    EXPECT_EQ(none.password, std::nullopt);

    // A second store replaces the entry; erasing touches only its own.
    ASSERT_TRUE(keyring.Store(host, "fred", "changed"));
    EXPECT_EQ(keyring.Lookup(host, "fred").password, "changed");
    EXPECT_TRUE(keyring.Erase(host, "fred"));
    EXPECT_EQ(keyring.Lookup(host, "fred").password, std::nullopt);
    EXPECT_EQ(keyring.Lookup(host, "joe").password, entries[1].password);
    EXPECT_TRUE(keyring.Erase(host, "fred"));  // nothing left: still an answer

    // Names that are no D-Bus text stay out of the keyring (and in the file).
    EXPECT_FALSE(keyring.Store("caf\xe9", "fred", "pw"));
    EXPECT_FALSE(keyring.Lookup(host, std::string("fr\0ed", 5)).answered);
}

TEST_F(UnlockedKeyring, TheKeyringsPasswordComesBeforeTheFilesOne) {
    StoreLogin("fred", "from file");
    // A profile from before the keyring keeps working.
    ng::LoginSettings login = ng::ReadLoginSettings(ng::Profile(), kHost);
    EXPECT_EQ(login.password, "from file");
    EXPECT_FALSE(login.keyringUnanswered);

    ASSERT_TRUE(keyring.Store(kHost, "fred", "from keyring"));
    login = ng::ReadLoginSettings(ng::Profile(), kHost);
    EXPECT_EQ(login.password, "from keyring");
    EXPECT_FALSE(login.keyringUnanswered);
    // Another user of the same server has an entry of their own, or none.
    StoreLogin("joe", "joe's file");
    EXPECT_EQ(ng::ReadLoginSettings(ng::Profile(), kHost).password, "joe's file");
}

// Last in the process: a locked collection stays locked, as no prompt can
// be shown here to unlock it.
using LockedKeyring = UnlockedKeyring;

TEST_F(LockedKeyring, AnEntryLeftLockedIsAKeyringThatDidNotAnswer) {
    StoreLogin("fred", "from file");
    ASSERT_TRUE(keyring.Store(kHost, "fred", "from keyring"));

    GError* error = nullptr;
    SecretService* service =
        secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, &error);
    ASSERT_NE(service, nullptr) << error->message;
    GList* collections = secret_service_get_collections(service);
    EXPECT_GT(secret_service_lock_sync(service, collections, nullptr, nullptr, &error), 0);
    g_list_free_full(collections, g_object_unref);
    g_object_unref(service);
    g_clear_error(&error);

    // Asking to unlock it fails here, as it does when nobody is there to answer.
    EXPECT_FALSE(ng::Keyring(10s).Lookup(kHost, "fred").answered);
    ng::LoginSettings login = ng::ReadLoginSettings(ng::Profile(), kHost);
    EXPECT_EQ(login.password, "from file");
    EXPECT_TRUE(login.keyringUnanswered);
}

// A socket that takes connections and never says a word: a hung session bus.
class SilentSocket {
public:
    explicit SilentSocket(const std::string& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                  ::listen(m_fd, 8) == 0;
    }
    ~SilentSocket() {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    bool Bound() const { return m_bound; }
    std::string Address() const { return "unix:path=" + m_path; }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};

// Owns the Secret Service's name on the session bus and leaves every call
// unanswered: a hung keyring.
class SilentSecretService {
public:
    SilentSecretService() {
        GError* error = nullptr;
        m_bus = g_dbus_connection_new_for_address_sync(
            std::getenv("DBUS_SESSION_BUS_ADDRESS"),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (!m_bus) {
            g_clear_error(&error);
            return;
        }
        g_dbus_connection_add_filter(m_bus, &DropCalls, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(
            m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "org.freedesktop.secrets", 4u /* no queue */),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
        if (reply) {
            guint32 result = 0;
            g_variant_get(reply, "(u)", &result);
            m_owner = result == 1;  // primary owner
            g_variant_unref(reply);
        }
        g_clear_error(&error);
    }
    ~SilentSecretService() {
        if (m_bus) {
            g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
            g_object_unref(m_bus);
        }
    }
    bool Owner() const { return m_owner; }

private:
    static GDBusMessage* DropCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming,
                                   gpointer) {
        if (incoming &&
            g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
            g_object_unref(message);
            return nullptr;
        }
        return message;
    }

    GDBusConnection* m_bus = nullptr;
    bool m_owner = false;
};

TEST(SilentKeyring, NoRequestWaitsLongerThanItsWait) {
    if (!EnvSet("NG_TEST_SECRET_SERVICE") || EnvSet("NG_TEST_KEYRING")) {
        GTEST_SKIP() << "runs under tests/settings/with-secret-service --bus-only";
    }
    ngtest::Sandbox sandbox;
    const ng::Keyring keyring(300ms);
    // A request waits for its answer, and no longer than its wait.
    auto timed = [&](const char* what, auto request) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(request()) << what;
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_GE(took, 250ms) << what;
        EXPECT_LT(took, 3s) << what;
    };

    // First the bus itself hangs, then the bus answers but the Secret
    // Service on it does not. (GLib may hold on to the failed connection
    // for a moment.)
    const std::string bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    {
        SilentSocket silent(sandbox.File("silent-bus"));
        ASSERT_TRUE(silent.Bound());
        ::setenv("DBUS_SESSION_BUS_ADDRESS", silent.Address().c_str(), 1);
        timed("a silent bus", [&] { return keyring.Lookup(kHost, "fred").answered; });
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    }
    GDBusConnection* connection = nullptr;
    for (int i = 0; i < 100 && !connection; ++i) {
        connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!connection) {
            std::this_thread::sleep_for(20ms);
        }
    }
    ASSERT_NE(connection, nullptr);
    g_object_unref(connection);

    SilentSecretService service;
    ASSERT_TRUE(service.Owner());
    const char* what = "a silent Secret Service";
    timed(what, [&] { return keyring.Lookup(kHost, "fred").answered; });
    timed(what, [&] { return keyring.Store(kHost, "fred", "pw"); });
    timed(what, [&] { return keyring.Erase(kHost, "fred"); });
}

class NoKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (EnvSet("NG_TEST_SECRET_SERVICE")) {
            GTEST_SKIP() << "runs without a Secret Service";
        }
    }
    ngtest::Sandbox sandbox;  // no session bus inside it
};

TEST_F(NoKeyring, TheFilesPasswordIsUsedAndTheLoginSaysWhy) {
    const ng::Keyring keyring;
    EXPECT_FALSE(keyring.Store(kHost, "fred", "pw"));
    EXPECT_FALSE(keyring.Lookup(kHost, "fred").answered);
    EXPECT_FALSE(keyring.Erase(kHost, "fred"));

    struct Case {
        const char* title;
        bool required;
        bool prompt;
        bool unanswered;  // the keyring was asked and did not answer
    };
    const Case cases[] = {
        {"stored password", true, false, true},
        {"asked for at each session: no keyring asked", true, true, false},
        {"no login: no keyring asked", false, false, false},
    };
    for (const Case& c : cases) {
        StoreLogin("fred", "from file", c.prompt);
        ng::Profile().WriteProfileInt(kHost, "UserAuthentication", c.required ? 1 : 0);
        ng::LoginSettings login = ng::ReadLoginSettings(ng::Profile(), kHost);
        EXPECT_EQ(login.keyringUnanswered, c.unanswered) << c.title;
        EXPECT_EQ(login.password, c.required ? "from file" : "") << c.title;
    }
}

}  // namespace
