#include "viewer/portal_save_dialog.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "viewer/access_gate.h"

namespace viewer {

namespace {

constexpr const char kPortalName[] = "org.freedesktop.portal.Desktop";
constexpr const char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr const char kFileChooser[] = "org.freedesktop.portal.FileChooser";
constexpr const char kRequest[] = "org.freedesktop.portal.Request";

// How long the bus may take to start the portal and hand back its request.
constexpr int kCallTimeoutMs = 25000;
// How often the wait looks at `abandon`.
constexpr unsigned kWaitSliceMs = 100;

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* object) const { Free(object); }
};
void FreeText(gchar* text) {
    g_free(text);
}
struct ConnectionDeleter {
    void operator()(GDBusConnection* connection) const {
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
};
struct MessageDeleter {
    void operator()(GDBusMessage* message) const { g_object_unref(message); }
};
struct VariantDeleter {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using Connection = std::unique_ptr<GDBusConnection, ConnectionDeleter>;
using Message = std::unique_ptr<GDBusMessage, MessageDeleter>;
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder() {
        if (error != nullptr)
            g_error_free(error);
    }
};

// What the signals tell the wait.
struct Waiting {
    std::string portal;  // the portal's unique name on the bus
    bool ended = false;
    PortalSaveResult result;
};

// The wait runs in a main context of its own, so that no other code's
// sources run on this thread, and nothing of it outlives the dialog.
class OwnContext {
  public:
    OwnContext() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
    // Callbacks still queued are dropped with the context, undispatched.
    ~OwnContext() {
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }
    OwnContext(const OwnContext&) = delete;
    OwnContext& operator=(const OwnContext&) = delete;
    GMainContext* get() const { return context_; }

  private:
    GMainContext* context_;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The session bus's address: DBUS_SESSION_BUS_ADDRESS, else the socket in
// the runtime folder. Never started on demand (no bus is launched for the
// dialog): "" when there is none.
std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        return *address != '\0' ? address : "";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime != '/')
        return "";
    const std::string socket = std::string(runtime) + "/bus";
    struct stat info {};
    if (stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return "";
    std::unique_ptr<gchar, Deleter<gchar, FreeText>> escaped(
        g_dbus_address_escape_value(socket.c_str()));
    return std::string("unix:path=") + escaped.get();
}

// One filter, "(sa(us))": its label and its globs (0: a glob pattern, 1
// would be a MIME type).
GVariant* FilterVariant(const std::pair<std::string, std::vector<std::string>>& filter) {
    GVariantBuilder globs;
    g_variant_builder_init(&globs, G_VARIANT_TYPE("a(us)"));
    for (const std::string& glob : filter.second)
        g_variant_builder_add(&globs, "(us)", 0u, glob.c_str());
    return g_variant_new("(s@a(us))", filter.first.c_str(), g_variant_builder_end(&globs));
}

GVariant* Options(const PortalSaveRequest& request, const std::string& token) {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(TRUE));
    g_variant_builder_add(&options, "{sv}", "accept_label", g_variant_new_string("_Guardar"));
    if (!request.name.empty())
        g_variant_builder_add(&options, "{sv}", "current_name",
                              g_variant_new_string(request.name.c_str()));
    // A byte string ending in NUL: a path need not be valid text.
    if (!request.folder.empty())
        g_variant_builder_add(&options, "{sv}", "current_folder",
                              g_variant_new_bytestring(request.folder.c_str()));
    if (!request.filters.empty()) {
        GVariantBuilder filters;
        g_variant_builder_init(&filters, G_VARIANT_TYPE("a(sa(us))"));
        for (const auto& filter : request.filters)
            g_variant_builder_add_value(&filters, FilterVariant(filter));
        g_variant_builder_add(&options, "{sv}", "filters", g_variant_builder_end(&filters));
        g_variant_builder_add(&options, "{sv}", "current_filter",
                              FilterVariant(request.filters.front()));
    }
    return g_variant_builder_end(&options);
}

void OnResponse(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
    Waiting& waiting = *static_cast<Waiting*>(data);
    // Only the portal that took the request may answer it.
    if (waiting.ended || sender == nullptr || waiting.portal != sender ||
        !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
        return;
    guint32 response = 2;
    GVariant* raw_results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &response, &raw_results);
    Variant results(raw_results);
    waiting.ended = true;
    if (response == 1) {
        waiting.result.outcome = PortalSaveResult::Cancelled;
        return;
    }
    if (response != 0)
        return;
    const gchar** uris = nullptr;
    if (!g_variant_lookup(results.get(), "uris", "^a&s", &uris) || uris == nullptr)
        return;
    std::optional<std::string> path;
    if (uris[0] != nullptr)
        path = PathOfFileUri(uris[0]);
    g_free(uris);
    if (path) {
        waiting.result.outcome = PortalSaveResult::Chosen;
        waiting.result.path = *path;
    }
}

// The portal leaving the bus ends the wait: no answer will come.
void OnOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                    GVariant* parameters, gpointer data) {
    Waiting& waiting = *static_cast<Waiting*>(data);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)")))
        return;
    const gchar* name = nullptr;
    const gchar* old_owner = nullptr;
    const gchar* new_owner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, &old_owner, &new_owner);
    if (waiting.portal == name && *new_owner == '\0')
        waiting.ended = true;
}

gboolean KeepTicking(gpointer) {
    return G_SOURCE_CONTINUE;
}

// A request object's path is the caller's unique name without its colon,
// dots made underscores, and the token.
std::string RequestPath(const std::string& unique_name, const std::string& token) {
    std::string sender;
    for (char c : unique_name) {
        if (c == ':')
            continue;
        sender += c == '.' ? '_' : c;
    }
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

}  // namespace

std::vector<std::pair<std::string, std::vector<std::string>>> PortalFilters(
    const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= filter.size()) {
        const size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::vector<std::string> globs;
        size_t from = 0;
        const std::string& list = parts[i + 1];
        while (from <= list.size()) {
            const size_t semi = list.find(';', from);
            std::string glob = list.substr(from, semi == std::string::npos ? semi : semi - from);
            while (!glob.empty() && glob.front() == ' ')
                glob.erase(glob.begin());
            while (!glob.empty() && glob.back() == ' ')
                glob.pop_back();
            if (!glob.empty())
                globs.push_back(glob == "*.*" ? "*" : glob);
            if (semi == std::string::npos)
                break;
            from = semi + 1;
        }
        if (!globs.empty())
            filters.emplace_back(parts[i], std::move(globs));
    }
    return filters;
}

std::optional<std::string> PathOfFileUri(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        return std::nullopt;
    std::string rest = uri.substr(scheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    const std::string host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return std::nullopt;
    rest = rest.substr(slash);
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '?' || c == '#')
            return std::nullopt;
        if (c == '%') {
            const int high = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
            const int low = i + 2 < rest.size() ? HexValue(rest[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0')
            return std::nullopt;
        path += c;
    }
    return path;
}

PortalSaveResult RunPortalSaveDialog(const PortalSaveRequest& request,
                                     const std::atomic<bool>& abandon) {
    PortalSaveResult unavailable;
    const std::string address = SessionBusAddress();
    if (address.empty())
        return unavailable;
    OwnContext context;
    ErrorHolder error;
    Connection connection(g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error.error));
    if (!connection)
        return unavailable;
    g_dbus_connection_set_exit_on_close(connection.get(), FALSE);
    const char* unique = g_dbus_connection_get_unique_name(connection.get());
    if (unique == nullptr)
        return unavailable;

    Waiting waiting;
    const std::string token = "reqwiz" + RandomHex(8);
    std::string handle = RequestPath(unique, token);
    // The answer may come as soon as the call returns: listen first.
    std::vector<guint> subscriptions;
    struct Unsubscribe {
        GDBusConnection* connection;
        std::vector<guint>& ids;
        ~Unsubscribe() {
            for (guint id : ids)
                g_dbus_connection_signal_unsubscribe(connection, id);
        }
    } unsubscribe{connection.get(), subscriptions};
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        connection.get(), nullptr, kRequest, "Response", handle.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, OnResponse, &waiting, nullptr));

    Message call(
        g_dbus_message_new_method_call(kPortalName, kPortalPath, kFileChooser, "SaveFile"));
    g_dbus_message_set_body(call.get(),
                            g_variant_new("(ss@a{sv})", request.parent_window.c_str(),
                                          request.title.c_str(), Options(request, token)));
    Message reply(g_dbus_connection_send_message_with_reply_sync(
        connection.get(), call.get(), G_DBUS_SEND_MESSAGE_FLAGS_NONE, kCallTimeoutMs, nullptr,
        nullptr, &error.error));
    if (!reply || g_dbus_message_get_message_type(reply.get()) != G_DBUS_MESSAGE_TYPE_METHOD_RETURN)
        return unavailable;
    GVariant* body = g_dbus_message_get_body(reply.get());
    const char* portal = g_dbus_message_get_sender(reply.get());
    if (body == nullptr || portal == nullptr || !g_variant_is_of_type(body, G_VARIANT_TYPE("(o)")))
        return unavailable;
    waiting.portal = portal;
    const gchar* returned = nullptr;
    g_variant_get(body, "(&o)", &returned);
    // An older portal names its request itself.
    if (handle != returned) {
        handle = returned;
        subscriptions.push_back(g_dbus_connection_signal_subscribe(
            connection.get(), nullptr, kRequest, "Response", handle.c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, OnResponse, &waiting, nullptr));
    }
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        connection.get(), "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
        "/org/freedesktop/DBus", waiting.portal.c_str(), G_DBUS_SIGNAL_FLAGS_NONE, OnOwnerChanged,
        &waiting, nullptr));

    GSource* tick = g_timeout_source_new(kWaitSliceMs);
    g_source_set_callback(tick, KeepTicking, nullptr, nullptr);
    g_source_attach(tick, context.get());
    while (!waiting.ended && !abandon && !g_dbus_connection_is_closed(connection.get()))
        g_main_context_iteration(context.get(), TRUE);
    g_source_destroy(tick);
    g_source_unref(tick);
    if (waiting.ended)
        return waiting.result;
    if (abandon) {
        // The window is going away: the dialog goes with it.
        Variant closed(g_dbus_connection_call_sync(connection.get(), kPortalName, handle.c_str(),
                                                   kRequest, "Close", nullptr, nullptr,
                                                   G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr));
        PortalSaveResult cancelled;
        cancelled.outcome = PortalSaveResult::Cancelled;
        return cancelled;
    }
    return unavailable;
}

}  // namespace viewer
