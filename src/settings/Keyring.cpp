#include "settings/Keyring.h"

#include <libsecret/secret.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace ng {

namespace {

const SecretSchema* PasswordSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "example.newsgleaner.Password";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

// Cancels a request once its wait is over. libsecret's calls run a main
// loop of their own, where no timer of ours would fire, so the clock runs
// on a thread beside them.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds wait) : m_cancellable(g_cancellable_new()) {
        try {
            m_thread = std::thread([this, wait] {
                std::unique_lock lock(m_mutex);
                if (!m_ended.wait_for(lock, wait, [this] { return m_done; })) {
                    g_cancellable_cancel(m_cancellable);
                }
            });
        } catch (const std::system_error&) {
            g_cancellable_cancel(m_cancellable);  // no clock, no wait
        }
    }
    ~Deadline() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        g_object_unref(m_cancellable);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* Cancellable() const { return m_cancellable; }

private:
    GCancellable* m_cancellable;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_thread;
};

bool IsUtf8(const std::string& text) {
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// Runs `call(cancellable)` within the wait. False, without calling, when
// the names cannot be keyring attributes (D-Bus strings are UTF-8 without
// NUL; such a login stays in the settings file) or no session bus answers.
template <class Call>
bool Request(std::chrono::milliseconds wait, const std::string& host, const std::string& user,
             Call call) {
    if (!IsUtf8(host) || !IsUtf8(user)) {
        return false;
    }
    Deadline deadline(wait);
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, deadline.Cancellable(), &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    // GLib ends the process when the shared bus connection closes; a pass
    // must not die of a desktop session that ends under it.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    g_object_unref(bus);
    return call(deadline.Cancellable());
}

}  // namespace

bool Keyring::Store(const std::string& host, const std::string& user,
                    const std::string& password) const {
    return Request(m_wait, host, user, [&](GCancellable* cancellable) {
        // Stored as bytes, so a password with 8-bit text comes back unchanged.
        SecretValue* value =
            secret_value_new(password.data(), static_cast<gssize>(password.size()), "text/plain");
        const std::string label = "Newsgleaner news server " + user + "@" + host;
        GError* error = nullptr;
        gboolean stored = secret_password_store_binary_sync(
            PasswordSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, cancellable, &error,
            "server", host.c_str(), "user", user.c_str(), nullptr);
        secret_value_unref(value);
        g_clear_error(&error);
        return stored != FALSE;
    });
}

KeyringAnswer Keyring::Lookup(const std::string& host, const std::string& user) const {
    KeyringAnswer answer;
    answer.answered = Request(m_wait, host, user, [&](GCancellable* cancellable) {
        // A plain lookup tells a locked entry from none by nothing; a search
        // finds the entry, asks to unlock it, and then it holds a secret or not.
        GError* error = nullptr;
        GList* found = secret_password_search_sync(
            PasswordSchema(),
            static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
            cancellable, &error, "server", host.c_str(), "user", user.c_str(), nullptr);
        if (error) {
            g_clear_error(&error);
            return false;
        }
        if (!found) {
            return true;
        }
        SecretValue* value = secret_retrievable_retrieve_secret_sync(
            SECRET_RETRIEVABLE(found->data), cancellable, &error);
        g_list_free_full(found, g_object_unref);
        g_clear_error(&error);
        if (!value) {
            return false;  // still locked: the keyring did not give it
        }
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        answer.password.emplace(bytes, length);
        secret_value_unref(value);
        return true;
    });
    return answer;
}

bool Keyring::Erase(const std::string& host, const std::string& user) const {
    return Request(m_wait, host, user, [&](GCancellable* cancellable) {
        GError* error = nullptr;
        // False without an error means there was nothing to remove.
        secret_password_clear_sync(PasswordSchema(), cancellable, &error, "server", host.c_str(),
                                   "user", user.c_str(), nullptr);
        bool answered = error == nullptr;
        g_clear_error(&error);
        return answered;
    });
}

}  // namespace ng
