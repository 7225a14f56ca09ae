#include "viewer/portal_save_dialog.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>

#include "viewer/access_gate.h"

namespace viewer {

namespace {

constexpr const char kPortalName[] = "org.freedesktop.portal.Desktop";
constexpr const char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr const char kFileChooser[] = "org.freedesktop.portal.FileChooser";
constexpr const char kRequest[] = "org.freedesktop.portal.Request";

// How long the bus may take to start the portal and hand back its request.
constexpr uint64_t kCallTimeoutUsec = 25'000'000;
// How often the wait looks at `abandon`.
constexpr uint64_t kWaitSliceUsec = 100'000;

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotDeleter {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;
using Slot = std::unique_ptr<sd_bus_slot, SlotDeleter>;

struct ErrorHolder {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~ErrorHolder() { sd_bus_error_free(&error); }
};

// What the signals tell the wait.
struct Waiting {
    std::string portal;  // the portal's unique name on the bus
    bool ended = false;
    PortalSaveResult result;
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

bool AppendFilter(sd_bus_message* m, const std::pair<std::string, std::vector<std::string>>& f) {
    if (sd_bus_message_open_container(m, 'r', "sa(us)") < 0 ||
        sd_bus_message_append(m, "s", f.first.c_str()) < 0 ||
        sd_bus_message_open_container(m, 'a', "(us)") < 0)
        return false;
    for (const std::string& glob : f.second) {
        // 0: a glob pattern (1 would be a MIME type).
        if (sd_bus_message_append(m, "(us)", 0u, glob.c_str()) < 0)
            return false;
    }
    return sd_bus_message_close_container(m) >= 0 && sd_bus_message_close_container(m) >= 0;
}

bool AppendOptions(sd_bus_message* m, const PortalSaveRequest& request, const std::string& token) {
    if (sd_bus_message_open_container(m, 'a', "{sv}") < 0 ||
        sd_bus_message_append(m, "{sv}", "handle_token", "s", token.c_str()) < 0 ||
        sd_bus_message_append(m, "{sv}", "modal", "b", 1) < 0 ||
        sd_bus_message_append(m, "{sv}", "accept_label", "s", "_Guardar") < 0)
        return false;
    if (!request.name.empty() &&
        sd_bus_message_append(m, "{sv}", "current_name", "s", request.name.c_str()) < 0)
        return false;
    if (!request.folder.empty()) {
        // A byte string ending in NUL: a path need not be valid text.
        if (sd_bus_message_open_container(m, 'e', "sv") < 0 ||
            sd_bus_message_append(m, "s", "current_folder") < 0 ||
            sd_bus_message_open_container(m, 'v', "ay") < 0 ||
            sd_bus_message_append_array(m, 'y', request.folder.c_str(), request.folder.size() + 1) <
                0 ||
            sd_bus_message_close_container(m) < 0 || sd_bus_message_close_container(m) < 0)
            return false;
    }
    if (!request.filters.empty()) {
        if (sd_bus_message_open_container(m, 'e', "sv") < 0 ||
            sd_bus_message_append(m, "s", "filters") < 0 ||
            sd_bus_message_open_container(m, 'v', "a(sa(us))") < 0 ||
            sd_bus_message_open_container(m, 'a', "(sa(us))") < 0)
            return false;
        for (const auto& filter : request.filters) {
            if (!AppendFilter(m, filter))
                return false;
        }
        if (sd_bus_message_close_container(m) < 0 || sd_bus_message_close_container(m) < 0 ||
            sd_bus_message_close_container(m) < 0)
            return false;
        if (sd_bus_message_open_container(m, 'e', "sv") < 0 ||
            sd_bus_message_append(m, "s", "current_filter") < 0 ||
            sd_bus_message_open_container(m, 'v', "(sa(us))") < 0 ||
            !AppendFilter(m, request.filters.front()) || sd_bus_message_close_container(m) < 0 ||
            sd_bus_message_close_container(m) < 0)
            return false;
    }
    return sd_bus_message_close_container(m) >= 0;
}

// The first of the Response's "uris", or "".
std::string FirstUri(sd_bus_message* m) {
    std::string first;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0)
        return first;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0)
            return first;
        if (std::string(key) == "uris" && sd_bus_message_enter_container(m, 'v', "as") > 0) {
            if (sd_bus_message_enter_container(m, 'a', "s") > 0) {
                const char* uri = nullptr;
                while (sd_bus_message_read(m, "s", &uri) > 0) {
                    if (first.empty())
                        first = uri;
                }
                sd_bus_message_exit_container(m);
            }
            sd_bus_message_exit_container(m);
        } else if (sd_bus_message_skip(m, "v") < 0) {
            return first;
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return first;
}

int OnResponse(sd_bus_message* m, void* data, sd_bus_error*) {
    Waiting& waiting = *static_cast<Waiting*>(data);
    // Only the portal that took the request may answer it.
    const char* sender = sd_bus_message_get_sender(m);
    if (waiting.ended || sender == nullptr || waiting.portal != sender)
        return 0;
    uint32_t response = 2;
    if (sd_bus_message_read(m, "u", &response) < 0)
        response = 2;
    waiting.ended = true;
    if (response == 1) {
        waiting.result.outcome = PortalSaveResult::Cancelled;
        return 0;
    }
    std::optional<std::string> path;
    if (response == 0)
        path = PathOfFileUri(FirstUri(m));
    if (path) {
        waiting.result.outcome = PortalSaveResult::Chosen;
        waiting.result.path = *path;
    }
    return 0;
}

// The portal leaving the bus ends the wait: no answer will come.
int OnOwnerChanged(sd_bus_message* m, void* data, sd_bus_error*) {
    Waiting& waiting = *static_cast<Waiting*>(data);
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0)
        return 0;
    if (waiting.portal == name && (new_owner == nullptr || *new_owner == '\0'))
        waiting.ended = true;
    return 0;
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
    sd_bus* raw_bus = nullptr;
    if (sd_bus_open_user(&raw_bus) < 0)
        return unavailable;
    Bus bus(raw_bus);
    const char* unique = nullptr;
    if (sd_bus_get_unique_name(bus.get(), &unique) < 0)
        return unavailable;

    Waiting waiting;
    const std::string token = "reqwiz" + RandomHex(8);
    std::string handle = RequestPath(unique, token);
    // The answer may come as soon as the call returns: listen first.
    sd_bus_slot* raw_slot = nullptr;
    if (sd_bus_match_signal(bus.get(), &raw_slot, nullptr, handle.c_str(), kRequest, "Response",
                            OnResponse, &waiting) < 0)
        return unavailable;
    Slot response_slot(raw_slot);
    raw_slot = nullptr;
    if (sd_bus_match_signal(bus.get(), &raw_slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameOwnerChanged", OnOwnerChanged,
                            &waiting) < 0)
        return unavailable;
    Slot owner_slot(raw_slot);

    sd_bus_message* raw_call = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &raw_call, kPortalName, kPortalPath, kFileChooser,
                                       "SaveFile") < 0)
        return unavailable;
    Message call(raw_call);
    if (sd_bus_message_append(call.get(), "ss", request.parent_window.c_str(),
                              request.title.c_str()) < 0 ||
        !AppendOptions(call.get(), request, token))
        return unavailable;

    ErrorHolder error;
    sd_bus_message* raw_reply = nullptr;
    if (sd_bus_call(bus.get(), call.get(), kCallTimeoutUsec, &error.error, &raw_reply) < 0)
        return unavailable;
    Message reply(raw_reply);
    const char* returned = nullptr;
    const char* portal = sd_bus_message_get_sender(reply.get());
    if (sd_bus_message_read(reply.get(), "o", &returned) < 0 || portal == nullptr)
        return unavailable;
    waiting.portal = portal;
    // An older portal names its request itself.
    Slot other_slot;
    if (handle != returned) {
        handle = returned;
        raw_slot = nullptr;
        if (sd_bus_match_signal(bus.get(), &raw_slot, nullptr, handle.c_str(), kRequest, "Response",
                                OnResponse, &waiting) < 0)
            return unavailable;
        other_slot.reset(raw_slot);
    }

    while (!waiting.ended) {
        if (abandon) {
            // The window is going away: the dialog goes with it.
            sd_bus_call_method(bus.get(), kPortalName, handle.c_str(), kRequest, "Close", nullptr,
                               nullptr, "");
            PortalSaveResult cancelled;
            cancelled.outcome = PortalSaveResult::Cancelled;
            return cancelled;
        }
        const int processed = sd_bus_process(bus.get(), nullptr);
        if (processed < 0)
            return unavailable;
        if (processed > 0)
            continue;
        if (sd_bus_wait(bus.get(), kWaitSliceUsec) < 0)
            return unavailable;
    }
    return waiting.result;
}

}  // namespace viewer
