// A stand-in for the desktop's file-chooser portal, for the tests: it takes
// the name org.freedesktop.portal.Desktop on the session bus of
// DBUS_SESSION_BUS_ADDRESS (a private bus the test started), answers
// FileChooser.SaveFile as a portal does (a request object at once, its
// Response signal after), and writes down every call it receives.
//
//   fake_portal RECORD ANSWER...
//
// RECORD gets one JSON object a line: {"call":"SaveFile","parent":...,
// "title":...,"options":{...}} or {"call":"Close","handle":...}. Each
// SaveFile call takes the next ANSWER:
//   uri:<address>   response 0 with that address as the chosen file
//   cancel          response 1 (the user cancelled)
//   fail            response 2 (the dialog ended otherwise)
//   refuse          the call itself fails with a D-Bus error
//   silent          no response ever (the caller has to close the request)
// When the answers run out, every call is cancelled. "ready" goes to
// standard output once the name is taken.
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

struct State {
    sd_bus* bus = nullptr;
    std::string record;
    std::deque<std::string> answers;
};

void Record(const State& state, const json& entry) {
    std::ofstream out(state.record, std::ios::app);
    out << entry.dump() << "\n";
}

// Reads one "(sa(us))" filter.
bool ReadFilter(sd_bus_message* m, json& filter) {
    if (sd_bus_message_enter_container(m, 'r', "sa(us)") <= 0)
        return false;
    const char* label = nullptr;
    sd_bus_message_read(m, "s", &label);
    json patterns = json::array();
    sd_bus_message_enter_container(m, 'a', "(us)");
    uint32_t kind = 0;
    const char* pattern = nullptr;
    while (sd_bus_message_read(m, "(us)", &kind, &pattern) > 0)
        patterns.push_back(json::array({kind, pattern}));
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    filter = json::array({label, patterns});
    return true;
}

json ReadOptions(sd_bus_message* m) {
    json options = json::object();
    sd_bus_message_enter_container(m, 'a', "{sv}");
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        const std::string name = key;
        const char* type = nullptr;
        sd_bus_message_peek_type(m, nullptr, &type);
        const std::string contents = type ? type : "";
        sd_bus_message_enter_container(m, 'v', type);
        if (contents == "s") {
            const char* text = nullptr;
            sd_bus_message_read(m, "s", &text);
            options[name] = text;
        } else if (contents == "b") {
            int flag = 0;
            sd_bus_message_read(m, "b", &flag);
            options[name] = flag != 0;
        } else if (contents == "ay") {
            const void* bytes = nullptr;
            size_t size = 0;
            sd_bus_message_read_array(m, 'y', &bytes, &size);
            // Kept with its final NUL, as sent, to show that it was sent.
            options[name] = std::string(static_cast<const char*>(bytes), size);
        } else if (contents == "a(sa(us))") {
            json filters = json::array();
            sd_bus_message_enter_container(m, 'a', "(sa(us))");
            json filter;
            while (ReadFilter(m, filter))
                filters.push_back(filter);
            sd_bus_message_exit_container(m);
            options[name] = filters;
        } else if (contents == "(sa(us))") {
            json filter;
            ReadFilter(m, filter);
            options[name] = filter;
        } else {
            options[name] = "(type " + contents + ")";
            sd_bus_message_skip(m, type);
        }
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return options;
}

int OnClose(sd_bus_message* m, void* data, sd_bus_error*) {
    State& state = *static_cast<State*>(data);
    Record(state, json{{"call", "Close"}, {"handle", sd_bus_message_get_path(m)}});
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kRequestVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", OnClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int OnSaveFile(sd_bus_message* m, void* data, sd_bus_error* error) {
    State& state = *static_cast<State*>(data);
    const char* parent = nullptr;
    const char* title = nullptr;
    sd_bus_message_read(m, "ss", &parent, &title);
    const json options = ReadOptions(m);
    Record(state,
           json{{"call", "SaveFile"}, {"parent", parent}, {"title", title}, {"options", options}});

    std::string answer = "cancel";
    if (!state.answers.empty()) {
        answer = state.answers.front();
        state.answers.pop_front();
    }
    if (answer == "refuse")
        return sd_bus_error_set(error, "org.freedesktop.DBus.Error.Failed", "refused");

    // The request object: the caller's unique name without its colon, dots
    // made underscores, then its token.
    std::string sender;
    for (const char* c = sd_bus_message_get_sender(m); c && *c; ++c) {
        if (*c != ':')
            sender += *c == '.' ? '_' : *c;
    }
    const std::string token = options.value("handle_token", std::string("t"));
    const std::string handle = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    sd_bus_add_object_vtable(state.bus, nullptr, handle.c_str(), "org.freedesktop.portal.Request",
                             kRequestVtable, &state);
    const int replied = sd_bus_reply_method_return(m, "o", handle.c_str());
    if (replied < 0 || answer == "silent")
        return replied;

    sd_bus_message* signal = nullptr;
    sd_bus_message_new_signal(state.bus, &signal, handle.c_str(), "org.freedesktop.portal.Request",
                              "Response");
    if (answer.rfind("uri:", 0) == 0) {
        sd_bus_message_append(signal, "u", 0u);
        sd_bus_message_append(signal, "a{sv}", 1, "uris", "as", 1, answer.substr(4).c_str());
    } else {
        sd_bus_message_append(signal, "u", answer == "fail" ? 2u : 1u);
        sd_bus_message_append(signal, "a{sv}", 0);
    }
    sd_bus_send(state.bus, signal, nullptr);
    sd_bus_message_unref(signal);
    return replied;
}

int OnVersion(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
              sd_bus_error*) {
    return sd_bus_message_append(reply, "u", 3u);
}

const sd_bus_vtable kFileChooserVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("SaveFile", "ssa{sv}", "o", OnSaveFile, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("version", "u", OnVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fake_portal RECORD ANSWER...\n");
        return 2;
    }
    State state;
    state.record = argv[1];
    for (int i = 2; i < argc; ++i)
        state.answers.emplace_back(argv[i]);
    if (sd_bus_open_user(&state.bus) < 0) {
        std::fprintf(stderr, "fake_portal: no session bus\n");
        return 1;
    }
    if (sd_bus_add_object_vtable(state.bus, nullptr, "/org/freedesktop/portal/desktop",
                                 "org.freedesktop.portal.FileChooser", kFileChooserVtable,
                                 &state) < 0 ||
        sd_bus_request_name(state.bus, "org.freedesktop.portal.Desktop", 0) < 0) {
        std::fprintf(stderr, "fake_portal: cannot take the portal's name\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int processed = sd_bus_process(state.bus, nullptr);
        if (processed < 0)
            return 0;  // the bus went away: the test is over
        if (processed == 0 && sd_bus_wait(state.bus, UINT64_MAX) < 0)
            return 0;
    }
}
