#include "settings/Keyring.h"

#include <libsecret/secret.h>

#include <atomic>
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

// A call that still runs this long after its cancellation is left behind.
constexpr std::chrono::milliseconds kGrace{2000};

// One keyring request. Its calls run asynchronously on a main context of
// its own, made the thread's default for the request's length: the answers
// and the clean-ups GDBus hands to the context a proxy was made on are
// dispatched there, and what is pending at the end is run before the
// context goes. (libsecret's blocking calls use a context of their own that
// is never run again, which leaves such clean-ups undone.) A watchdog
// thread cancels the request at its deadline; it also covers the blocking
// connection to the bus, which runs on the calling thread rather than on
// one of GLib's.
class Request {
public:
    explicit Request(std::chrono::milliseconds wait)
        : m_context(g_main_context_new()), m_cancellable(g_cancellable_new()) {
        g_main_context_push_thread_default(m_context);
        try {
            m_watchdog = std::thread([this, wait] { Watch(wait); });
        } catch (const std::system_error&) {
            g_cancellable_cancel(m_cancellable);  // no watchdog, no wait
            m_abandoned = true;
        }
    }
    ~Request() {
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        m_wake.notify_one();
        if (m_watchdog.joinable()) {
            m_watchdog.join();
        }
        while (g_main_context_iteration(m_context, FALSE)) {
        }
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
        g_object_unref(m_cancellable);
        if (m_result) {
            g_object_unref(m_result);
        }
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // The session bus, which every call needs: false when none answers.
    bool SessionBus() {
        if (m_abandoned) {
            return false;
        }
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, m_cancellable, nullptr);
        if (!bus) {
            return false;
        }
        // GLib ends the process when the shared connection closes; a pass
        // must not die of a desktop session that ends under it.
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        g_object_unref(bus);
        return true;
    }

    // Starts an asynchronous call, `start(cancellable, callback, data)`,
    // and runs the context until it has answered. Its result for the call's
    // _finish (the caller unrefs it), or null when the call was left behind.
    template <class Start>
    GAsyncResult* Await(Start start) {
        if (m_abandoned) {
            return nullptr;
        }
        start(m_cancellable, &Answered, this);
        while (!m_result && !m_abandoned) {
            g_main_context_iteration(m_context, TRUE);
        }
        GAsyncResult* result = m_result;
        m_result = nullptr;
        return result;
    }

private:
    void Watch(std::chrono::milliseconds wait) {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, wait, [this] { return m_ended; })) {
            return;
        }
        g_cancellable_cancel(m_cancellable);
        if (m_wake.wait_for(lock, kGrace, [this] { return m_ended; })) {
            return;
        }
        m_abandoned = true;
        g_main_context_wakeup(m_context);
    }
    static void Answered(GObject*, GAsyncResult* result, gpointer self) {
        auto* request = static_cast<Request*>(self);
        if (request->m_result) {
            g_object_unref(request->m_result);  // a call left behind answers after all
        }
        request->m_result = G_ASYNC_RESULT(g_object_ref(result));
    }

    GMainContext* m_context;
    GCancellable* m_cancellable;
    GAsyncResult* m_result = nullptr;  // touched on the requesting thread only
    std::atomic<bool> m_abandoned{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_ended = false;  // guarded by m_mutex
    std::thread m_watchdog;
};

// D-Bus strings are UTF-8 without NUL: names that are not stay out of the
// keyring, and such a login in the settings file.
bool CanBeAttributes(const std::string& host, const std::string& user) {
    return g_utf8_validate(host.data(), static_cast<gssize>(host.size()), nullptr) &&
           g_utf8_validate(user.data(), static_cast<gssize>(user.size()), nullptr);
}

}  // namespace

bool Keyring::Store(const std::string& host, const std::string& user,
                    const std::string& password) const {
    if (!CanBeAttributes(host, user)) {
        return false;
    }
    Request request(m_wait);
    if (!request.SessionBus()) {
        return false;
    }
    // Stored as bytes, so a password with 8-bit text comes back unchanged.
    SecretValue* value =
        secret_value_new(password.data(), static_cast<gssize>(password.size()), "text/plain");
    const std::string label = "Newsgleaner news server " + user + "@" + host;
    GAsyncResult* result =
        request.Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_password_store_binary(PasswordSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                         value, cancellable, callback, data, "server", host.c_str(),
                                         "user", user.c_str(), nullptr);
        });
    secret_value_unref(value);
    if (!result) {
        return false;
    }
    gboolean stored = secret_password_store_finish(result, nullptr);
    g_object_unref(result);
    return stored != FALSE;
}

KeyringAnswer Keyring::Lookup(const std::string& host, const std::string& user) const {
    KeyringAnswer answer;
    if (!CanBeAttributes(host, user)) {
        return answer;
    }
    Request request(m_wait);
    if (!request.SessionBus()) {
        return answer;
    }
    // A plain lookup tells a locked entry from none by nothing; a search
    // finds the entry and asks to unlock it, and then it gives a secret or not.
    GAsyncResult* result =
        request.Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_password_search(
                PasswordSchema(),
                static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
                cancellable, callback, data, "server", host.c_str(), "user", user.c_str(), nullptr);
        });
    if (!result) {
        return answer;
    }
    GError* error = nullptr;
    GList* found = secret_password_search_finish(result, &error);
    g_object_unref(result);
    if (error) {
        g_error_free(error);
        return answer;
    }
    if (!found) {
        answer.answered = true;  // no entry
        return answer;
    }
    result =
        request.Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_retrievable_retrieve_secret(SECRET_RETRIEVABLE(found->data), cancellable,
                                               callback, data);
        });
    SecretValue* value = nullptr;
    if (result) {
        value = secret_retrievable_retrieve_secret_finish(SECRET_RETRIEVABLE(found->data), result,
                                                          nullptr);
        g_object_unref(result);
    }
    g_list_free_full(found, g_object_unref);
    if (value) {  // else still locked: the keyring did not give it
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        answer.password.emplace(bytes, length);
        answer.answered = true;
        secret_value_unref(value);
    }
    return answer;
}

bool Keyring::Erase(const std::string& host, const std::string& user) const {
    if (!CanBeAttributes(host, user)) {
        return false;
    }
    Request request(m_wait);
    if (!request.SessionBus()) {
        return false;
    }
    GAsyncResult* result =
        request.Await([&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_password_clear(PasswordSchema(), cancellable, callback, data, "server",
                                  host.c_str(), "user", user.c_str(), nullptr);
        });
    if (!result) {
        return false;
    }
    // False without an error means there was nothing to remove.
    GError* error = nullptr;
    secret_password_clear_finish(result, &error);
    g_object_unref(result);
    const bool answered = error == nullptr;
    g_clear_error(&error);
    return answered;
}

}  // namespace ng
