#include "viewer/browser_viewer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <future>
#include <utility>

#include "platform/files.h"
#include "platform/latin1.h"
#include "platform/text.h"
#include "platform/wipe.h"
#include "viewer/connection_owner.h"
#include "viewer/directory_listing.h"
#include "viewer/guarded_server.h"
#include "viewer/page_inject.h"
#include "viewer/shim_text.h"
#include "viewer/wire_protocol.h"

namespace viewer {

namespace {

using nlohmann::json;

// Everything the shim talks to lives under this prefix; page and image names
// are everything else.
constexpr const char kPrefix[] = "/__reqwiz/";

constexpr const char kContentSecurityPolicy[] =
    "default-src 'self'; script-src 'self' 'unsafe-inline'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data:; connect-src 'self'; form-action 'self'; frame-ancestors 'none'; "
    "base-uri 'self'; object-src 'none'";

// True for the addresses a link may open outside the window: web pages and
// mail. Anything else (file:, javascript:, a program's own scheme, a bare
// name that an opener might take for a file or an option) goes nowhere.
bool OpensOutside(const std::string& url) {
    const std::string lower = platform::AsciiLower(url);
    for (const char* scheme : {"http://", "https://", "mailto:"}) {
        if (lower.rfind(scheme, 0) == 0)
            return true;
    }
    return false;
}

std::string ExtensionOf(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return platform::AsciiLower(name.substr(dot + 1));
}

bool IsPageName(const std::string& name) {
    const std::string ext = ExtensionOf(name);
    return ext == "htm" || ext == "html";
}

const char* ContentTypeOf(const std::string& name) {
    const std::string ext = ExtensionOf(name);
    if (ext == "gif")
        return "image/gif";
    if (ext == "jpg" || ext == "jpeg")
        return "image/jpeg";
    if (ext == "png")
        return "image/png";
    if (ext == "bmp")
        return "image/bmp";
    if (ext == "ico")
        return "image/x-icon";
    if (ext == "css")
        return "text/css; charset=ISO-8859-1";
    if (ext == "js")
        return "text/javascript; charset=ISO-8859-1";
    return "application/octet-stream";
}

void Answer(httplib::Response& response, int status, const json& body) {
    response.status = status;
    response.set_content(body.dump(-1, ' ', true, json::error_handler_t::replace),
                         "application/json");
}

// Opens and closes a connection to the server, which wakes its accept.
void Knock(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(fd);
}

// Binds (and so holds) `port` of the IPv6 loopback, ::1. The socket, or -1
// when this machine has no IPv6 loopback (then nobody can listen there);
// nothing when the port is taken there.
std::optional<int> HoldIpv6Loopback(uint16_t port) {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno == EAFNOSUPPORT ? std::optional<int>(-1) : std::nullopt;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    const int error = errno;
    close(fd);
    if (error == EADDRNOTAVAIL)
        return -1;
    return std::nullopt;
}

// The page the start address answers: it sets the session and moves on to
// the first page (`first`, a load command already counted as done) or to
// the empty start page.
std::string StartPage(const std::optional<json>& first) {
    json move{{"done", first ? (*first)["seq"] : json(0)},
              {"page", first ? (*first)["page"] : json("")}};
    std::string data;
    for (char c : move.dump(-1, ' ', true, json::error_handler_t::replace)) {
        if (c == '<')
            data += "\\u003c";
        else
            data += c;
    }
    return "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title></title><script>"
           "var m=" +
           data +
           ";try{if(m.done)sessionStorage.setItem('reqwiz.done',String(m.done));}catch(e){}"
           "location.replace('/'+m.page.split('/').map(encodeURIComponent).join('/'));"
           "</script><noscript><meta http-equiv=\"refresh\" content=\"0;url=/\"></noscript>"
           "</head><body></body></html>\r\n";
}

void BadRequest(httplib::Response& response, const char* why) {
    response.status = 400;
    response.set_content(std::string("Bad request: ") + why + "\n", "text/plain");
}

// The save dialog's new folder (a server thread: it touches no state of the
// window, as the listing does not).
void ServeMakeFolder(const httplib::Request& request, httplib::Response& response) {
    const std::optional<wire::MakeFolder> asked = wire::DecodeMakeFolder(request.body);
    if (!asked)
        return BadRequest(response, "mkdir");
    std::string made;
    const MakeFolderResult result = MakeFolder(asked->path, asked->name, made);
    if (result == MakeFolderResult::Made)
        return Answer(response, 201, json{{"path", made}});
    int status = 500;
    switch (result) {
        case MakeFolderResult::EmptyName:
        case MakeFolderResult::InvalidName:
        case MakeFolderResult::NameTooLong:
        case MakeFolderResult::NotLatin1:
            status = 400;
            break;
        case MakeFolderResult::Exists:
            status = 409;
            break;
        case MakeFolderResult::ParentMissing:
            status = 404;
            break;
        case MakeFolderResult::Denied:
        case MakeFolderResult::ReadOnly:
            status = 403;
            break;
        case MakeFolderResult::NoSpace:
            status = 507;
            break;
        case MakeFolderResult::Made:
        case MakeFolderResult::Failed:
            break;
    }
    Answer(response, status, json{{"error", MakeFolderCode(result)}});
}

}  // namespace

BrowserViewer::BrowserViewer(platform::MessageLoop& loop, platform::PageViewerEvents& events,
                             ViewerOptions options)
    : loop_(loop), events_(events), options_(std::move(options)) {
    // The save dialog opens where it was last left, in this run or an
    // earlier one.
    save_directory_ = options_.start_directory.empty()
                          ? RememberedDirectory(options_.last_folder_file)
                          : platform::Latin1ToUtf8(options_.start_directory);
}

BrowserViewer::~BrowserViewer() {
    Stop();
    // Nobody runs the loop any longer (it ran on the thread that now ends
    // the viewer, or that thread has been joined).
    loop_.SetActivityHandler(nullptr);
    if (ipv6_hold_ >= 0)
        close(ipv6_hold_);
}

bool BrowserViewer::Start() {
    // The window reaches the server by a name under ".localhost", which the
    // browser may look up as ::1 before 127.0.0.1: the same port of ::1 is
    // held too (bound, never listening, so a connection there is refused at
    // once and the browser goes on to 127.0.0.1), else another local user
    // could listen there and have the window talk to them. A port whose ::1
    // is taken is given up for another.
    std::unique_ptr<GuardedServer> chosen;
    for (int attempt = 0; attempt < 32 && !chosen; ++attempt) {
        auto server = std::make_unique<GuardedServer>(
            ServerLimits{}, [this](bool full) { channel_.ServerFull(full); });
        // Nobody else may share the port, not even the user's own programs.
        server->set_socket_options([](socket_t) {});
        // An answer goes out in two writes, its head and its body: with
        // Nagle's algorithm the body waits for the browser's delayed
        // acknowledgement of the head, some 40 ms on the loopback, on every
        // command and page. The listening socket passes the setting on to
        // every connection, so it is set before the socket is made.
        server->set_tcp_nodelay(true);
        const int port = server->BindToAnyPort("127.0.0.1");
        if (port <= 0 || port > 65535)
            return false;
        const std::optional<int> held = HoldIpv6Loopback(static_cast<uint16_t>(port));
        if (!held) {
            server->CloseUnused();
            continue;
        }
        ipv6_hold_ = *held;
        chosen = std::move(server);
        port_ = static_cast<uint16_t>(port);
    }
    if (!chosen)
        return false;
    chosen->set_payload_max_length(1 << 20);
    // Where the kernel tells whose program opened a connection, only the
    // user's own programs are served: another user who has read the start
    // address, or taken the session cookie, gets nothing.
    if (CanTellConnectionOwners(Ipv4Loopback(port_))) {
        only_own_user_ = true;
        const uint32_t self = static_cast<uint32_t>(geteuid());
        chosen->AcceptOnly([self](int connection) {
            const std::optional<uint32_t> owner = PeerOwner(connection);
            return owner && *owner == self;
        });
    }
    server_ = std::move(chosen);
    token_ = RandomHex(16);
    // A name of its own, so that its cookie is sent to this server alone.
    gate_ = std::make_unique<AccessGate>("reqwiz-" + RandomHex(8) + ".localhost", port_, token_,
                                         RandomHex(16));
    InstallRoutes();
    // What the window does in one step reaches the page in one answer.
    loop_.SetActivityHandler([this](bool busy) {
        if (busy)
            channel_.Hold();
        else
            channel_.Release();
    });
    server_thread_ = std::thread([this] {
        server_->listen_after_bind();
        server_done_ = true;
    });
    watch_thread_ = std::thread([this] { Watch(); });
    return true;
}

void BrowserViewer::Stop() {
    {
        std::lock_guard<std::mutex> lock(stop_mutex_);
        if (stopped_)
            return;
        stopped_ = true;
        stopping_ = true;
    }
    stop_changed_.notify_all();
    channel_.Shutdown();
    // The server's stop reaches only a loop that has started: wait until it
    // runs, stop it once (a second stop of a running server finds its socket
    // already closed), and knock until its accept has noticed.
    bool stop_sent = false;
    for (int i = 0; server_ && server_thread_.joinable() && !server_done_ && i < 1000; ++i) {
        if (!stop_sent && server_->is_running()) {
            server_->stop();
            stop_sent = true;
        }
        if (server_done_)
            break;
        Knock(port_);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (server_thread_.joinable())
        server_thread_.join();
    if (watch_thread_.joinable())
        watch_thread_.join();
}

std::string BrowserViewer::Authority() const {
    return gate_ ? gate_->Authority() : std::string();
}

std::string BrowserViewer::StartUrl() const {
    return "http://" + Authority() + "/?token=" + token_;
}

// ---------------------------------------------------------------------------
// Requests

void BrowserViewer::Gate(const httplib::Request& request, httplib::Response& response,
                         bool& handled) {
    // Nothing the server says may be kept by the browser: pages carry the
    // entered values, passwords included.
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("X-Frame-Options", "DENY");
    response.set_header("Referrer-Policy", "no-referrer");
    // The profile's pages keep their inline scripts and styles, but nothing
    // on a page may talk to, submit to or load from anywhere but this
    // server, nor show it inside another site's frame.
    response.set_header("Content-Security-Policy", kContentSecurityPolicy);

    GateRequest gate_request;
    gate_request.method = request.method;
    gate_request.host = request.get_header_value("Host");
    gate_request.origin = request.get_header_value("Origin");
    gate_request.cookie = request.get_header_value("Cookie");
    gate_request.has_token = request.has_param("token");
    gate_request.fetch_site = request.get_header_value("Sec-Fetch-Site");
    if (gate_request.has_token)
        gate_request.token = request.get_param_value("token");

    const GateVerdict verdict = gate_->Check(gate_request);
    handled = true;
    switch (verdict.kind) {
        case GateVerdict::Reject:
            response.status = 403;
            response.set_content("Forbidden: " + verdict.reason + "\n", "text/plain");
            return;
        case GateVerdict::Redirect:
            // The page moves on by itself rather than by an HTTP redirect:
            // the window may arrive here from its private file, and a redirect
            // would stay part of that navigation from another site, on
            // which the browser withholds a SameSite=Strict cookie. A
            // navigation the page starts is this site's own.
            // When the window's first command is the first page, the page
            // goes there at once, with that command counted as done: no
            // empty page in between that would fetch it first.
            // Better still, the answer is the first page itself, which then
            // takes its own address: one navigation less before the first
            // paint. A page in a subfolder would resolve its images from the
            // wrong folder here, and goes through the moving page instead.
            if (!verdict.set_cookie.empty())
                response.set_header("Set-Cookie", verdict.set_cookie);
            {
                const std::optional<json> first = channel_.TakeFirstLoad();
                const std::string name =
                    first ? platform::Utf8ToLatin1((*first)["page"].get<std::string>()) : "";
                if (IsPageName(name) && name.find('/') == std::string::npos &&
                    ServePage(name, response,
                              json{{"done", (*first)["seq"]}, {"page", (*first)["page"]}}))
                    return;
                response.set_content(StartPage(first), "text/html; charset=utf-8");
            }
            return;
        case GateVerdict::Allow:
            handled = false;
            channel_.PageSeen();
            return;
    }
}

void BrowserViewer::InstallRoutes() {
    httplib::Server& server = *server_;
    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            // Nothing is compressed: on the loopback the bytes cost nothing,
            // while the library compresses every page (the shim included)
            // with brotli at its slowest setting, a few hundred milliseconds
            // a page on a busy machine. The library chooses the encoding
            // from the request's Accept-Encoding once the handler has run;
            // the request object is the server's own, not a constant.
            const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
            bool handled = true;
            Gate(request, response, handled);
            return handled ? httplib::Server::HandlerResponse::Handled
                           : httplib::Server::HandlerResponse::Unhandled;
        });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            response.set_content("Internal error\n", "text/plain");
        });

    using Handler = void (BrowserViewer::*)(const httplib::Request&, httplib::Response&);
    const auto bind = [this](Handler handler) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            (this->*handler)(request, response);
        };
    };
    const std::string prefix = kPrefix;
    server.Get(prefix + "poll", bind(&BrowserViewer::HandlePoll));
    server.Post(prefix + "hello", bind(&BrowserViewer::HandleHello));
    server.Post(prefix + "bye", bind(&BrowserViewer::HandleBye));
    server.Post(prefix + "click", bind(&BrowserViewer::HandleClick));
    server.Post(prefix + "submit", bind(&BrowserViewer::HandleSubmit));
    server.Post(prefix + "link", bind(&BrowserViewer::HandleLink));
    server.Post(prefix + "input", bind(&BrowserViewer::HandleInput));
    server.Post(prefix + "answer", bind(&BrowserViewer::HandleAnswer));
    server.Post(prefix + "open", bind(&BrowserViewer::HandleOpenFolder));
    server.Get(prefix + "dir", bind(&BrowserViewer::ServeDirectory));
    server.Post(prefix + "mkdir", ServeMakeFolder);
    // The window's icon, which the shim names as every page's icon.
    server.Get(prefix + "icon.svg", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kWindowIcon, "image/svg+xml");
    });
    server.Get(prefix + ".*",
               [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
    server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        ServeBootstrap(response);
    });
    server.Get("/(.+)", bind(&BrowserViewer::ServeNamed));
}

// ---------------------------------------------------------------------------
// The shim's messages (server threads): decode, post the work to the window
// thread, answer.

void BrowserViewer::HandlePoll(const httplib::Request& request, httplib::Response& response) {
    const auto counter = [&](const char* name) {
        return request.has_param(name) ? wire::DecodeCounter(request.get_param_value(name)) : 0;
    };
    const json commands = channel_.Poll(counter("done"), counter("have"), options_.poll_wait);
    Answer(response, 200, json{{"commands", commands}});
}

void BrowserViewer::HandleHello(const httplib::Request& request, httplib::Response& response) {
    std::optional<wire::Hello> hello = wire::DecodeHello(request.body);
    if (!hello)
        return BadRequest(response, "hello");
    channel_.PageHello(hello->page);
    loop_.Post([this, controls = std::move(hello->controls)]() mutable {
        controls_ = std::move(controls);
    });
    // The commands already waiting come with the answer, as a poll that does
    // not wait would bring them: the page need not ask again before it runs
    // them.
    const json commands = channel_.Poll(hello->done, hello->have, std::chrono::milliseconds(0));
    Answer(response, 200, json{{"commands", commands}});
}

void BrowserViewer::HandleBye(const httplib::Request& request, httplib::Response& response) {
    const std::optional<wire::Bye> bye = wire::DecodeBye(request.body);
    if (!bye)
        return BadRequest(response, "bye");
    channel_.PageLeaving(bye->page);
    response.status = 204;
}

void BrowserViewer::HandleClick(const httplib::Request& request, httplib::Response& response) {
    std::optional<wire::Click> click = wire::DecodeClick(request.body);
    if (!click)
        return BadRequest(response, "click");
    loop_.Post([this, click = std::move(*click)] {
        // One modal step at a time: while a dialog waits for the page, a
        // click (on a file button, say) would open another one inside it.
        if (!open_modals_.empty())
            return;
        events_.ObjectClick(*this, click.name, click.on_click);
    });
    response.status = 204;
}

void BrowserViewer::HandleSubmit(const httplib::Request& request, httplib::Response& response) {
    // The body may carry the access password: the request's text, the parsed
    // copy and the lines handed to the window are all wiped once they have
    // served.
    auto submit = std::make_shared<std::optional<wire::Submit>>(
        wire::DecodeSubmit(const_cast<std::string&>(request.body)));
    if (!*submit)
        return BadRequest(response, "submit");
    loop_.Post([this, submit] {
        // One modal step at a time: nothing is submitted over an open dialog.
        if (!open_modals_.empty())
            return;
        const wire::Submit& form = **submit;
        events_.FormSubmit(*this, form.action, form.target, form.enctype, form.method, form.lines,
                           form.not_latin1);
    });
    response.status = 204;
}

void BrowserViewer::HandleLink(const httplib::Request& request, httplib::Response& response) {
    std::optional<wire::Link> link = wire::DecodeLink(request.body);
    if (!link)
        return BadRequest(response, "link");
    response.status = 204;
    if (!OpensOutside(link->url))
        return;
    loop_.Post([this, link = std::move(*link)] {
        if (!open_modals_.empty())
            return;
        // A link the window leaves alone is followed in the page.
        if (!events_.HotSpotTargetClick(link.target, link.url) && !closed_)
            channel_.Push(wire::FollowCommand(link.url));
    });
}

void BrowserViewer::HandleInput(const httplib::Request& request, httplib::Response& response) {
    const std::optional<std::vector<platform::InputMessage>> events =
        wire::DecodeInput(request.body);
    if (!events)
        return BadRequest(response, "input");
    for (const platform::InputMessage& message : *events)
        loop_.PostInput(message);
    response.status = 204;
}

void BrowserViewer::HandleAnswer(const httplib::Request& request, httplib::Response& response) {
    std::optional<wire::Answer> answer = wire::DecodeAnswer(request.body);
    if (!answer)
        return BadRequest(response, "answer");
    loop_.Post([this, id = answer->id, result = std::move(answer->result)]() mutable {
        if (open_modals_.count(id) != 0)
            answers_[id] = std::move(result);
    });
    response.status = 204;
}

void BrowserViewer::HandleOpenFolder(const httplib::Request& request, httplib::Response& response) {
    const std::optional<wire::OpenFolder> open = wire::DecodeOpenFolder(request.body);
    if (!open)
        return BadRequest(response, "open");
    response.status = 204;
    loop_.Post([this, which = open->file] {
        // Only a folder the window named, and only once a generation
        // succeeded: the page never gives a path.
        const std::string& folder =
            which == wire::OpenFolder::Request ? request_folder_ : key_folder_;
        if (folder.empty() || closed_)
            return;
        if (options_.open_folder)
            options_.open_folder(folder);
        else
            platform::OpenUrl(folder);
    });
}

void BrowserViewer::ServeNamed(const httplib::Request& request, httplib::Response& response) {
    const std::string name = platform::Utf8ToLatin1(request.matches[1].str());
    if (IsPageName(name))
        ServePage(name, response);
    else
        ServeImage(name, response);
}

std::optional<std::string> BrowserViewer::AskWindow(std::function<std::string()> work) {
    auto promise = std::make_shared<std::promise<std::string>>();
    std::future<std::string> future = promise->get_future();
    channel_.RequestStarted();
    struct Ended {
        CommandChannel& channel;
        ~Ended() { channel.RequestEnded(); }
    } ended{channel_};
    loop_.Post([promise, work = std::move(work)] {
        try {
            promise->set_value(work());
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
    while (future.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (stopping_)
            return std::nullopt;
    }
    return future.get();
}

bool BrowserViewer::ServePage(const std::string& name, httplib::Response& response,
                              const json& arrived) {
    std::optional<std::string> text = AskWindow([this, name] {
        const std::vector<std::string>& lines = events_.StringsRequest(name);
        std::string joined;
        for (const std::string& line : lines) {
            joined += line;
            joined += "\r\n";
        }
        return joined;
    });
    if (!text) {
        response.status = 503;
        return false;
    }
    json config = json::object();
    if (!options_.title.empty())
        config["title"] = platform::Latin1ToUtf8(options_.title);
    if (!arrived.is_null())
        config["arrived"] = arrived;
    const std::string block = ShimBlock(config.dump(-1, ' ', true, json::error_handler_t::replace));
    response.set_content(InjectShim(*text, block), "text/html; charset=ISO-8859-1");
    return true;
}

void BrowserViewer::ServeImage(const std::string& name, httplib::Response& response) {
    std::optional<std::string> bytes = AskWindow([this, name] {
        const std::vector<uint8_t>& stream = events_.ImageRequest(name);
        return std::string(stream.begin(), stream.end());
    });
    if (!bytes) {
        response.status = 503;
        return;
    }
    // An image the archive does not hold is served empty; the status tells
    // the browser not to ask again.
    if (bytes->empty())
        response.status = 404;
    else {
        // The profile's images hold nothing the user typed, and every page
        // shows the same ones: the window keeps them for the run instead of
        // asking again on each page (the server's name is new each run).
        response.headers.erase("Cache-Control");
        response.set_header("Cache-Control", "private, max-age=86400");
    }
    response.set_content(*bytes, ContentTypeOf(name));
}

void BrowserViewer::ServeBootstrap(httplib::Response& response) {
    // The first page the window shows: empty, it only runs the shim, which
    // fetches the window's first command (the wizard's first page).
    json config = json::object();
    if (!options_.title.empty())
        config["title"] = platform::Latin1ToUtf8(options_.title);
    const std::string html =
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"iso-8859-1\"><title></title></head>"
        "<body></body></html>\r\n";
    response.set_content(InjectShim(html, ShimBlock(config.dump(-1, ' ', true))),
                         "text/html; charset=ISO-8859-1");
}

void BrowserViewer::ServeDirectory(const httplib::Request& request, httplib::Response& response) {
    const std::string path =
        request.has_param("path") ? request.get_param_value("path") : std::string();
    const DirectoryListing listing = ListDirectory(path.empty() ? save_directory_ : path);
    json body{{"path", listing.path}, {"parent", listing.parent}};
    switch (listing.result) {
        case DirectoryListing::Listed: {
            json entries = json::array();
            for (const DirectoryEntry& entry : listing.entries) {
                json item{{"name", entry.name}, {"dir", entry.is_directory}};
                if (entry.has_size)
                    item["size"] = entry.size;
                if (entry.has_modified)
                    item["mtime"] = entry.modified;
                entries.push_back(std::move(item));
            }
            body["entries"] = std::move(entries);
            json places = json::array();
            for (const Place& place : UserPlaces())
                places.push_back(json{{"label", place.label}, {"path", place.path}});
            body["places"] = std::move(places);
            return Answer(response, 200, body);
        }
        case DirectoryListing::NotFound:
            body["error"] = "notfound";
            return Answer(response, 404, body);
        case DirectoryListing::NotADirectory:
            body["error"] = "notdir";
            return Answer(response, 404, body);
        case DirectoryListing::Denied:
            body["error"] = "denied";
            return Answer(response, 403, body);
    }
}

// ---------------------------------------------------------------------------
// Watching for the window to close

void BrowserViewer::Watch() {
    bool reported = false;
    std::unique_lock<std::mutex> lock(stop_mutex_);
    while (!stopping_) {
        stop_changed_.wait_for(lock, std::chrono::milliseconds(200));
        if (stopping_ || reported)
            continue;
        if (channel_.PageGone(CommandChannel::Clock::now(), options_.page_grace)) {
            reported = true;
            loop_.Post([this] {
                page_gone_ = true;
                if (OnPageGone)
                    OnPageGone();
            });
        }
    }
}

// ---------------------------------------------------------------------------
// Viewer operations (window thread)

void BrowserViewer::Load(const std::string& name) {
    channel_.Push(wire::LoadCommand(name));
}

json BrowserViewer::RunModalCommand(json command) {
    if (closed_ || page_gone_ || stopping_)
        return nullptr;
    const uint64_t id = next_modal_id_++;
    command["id"] = id;
    open_modals_.insert(id);
    channel_.Push(std::move(command));
    loop_.RunModal([&] { return answers_.count(id) != 0 || page_gone_ || closed_; });
    open_modals_.erase(id);
    auto it = answers_.find(id);
    if (it == answers_.end())
        return nullptr;
    json answer = std::move(it->second);
    answers_.erase(it);
    return answer;
}

void BrowserViewer::MessageBox(const std::string& title, const std::string& text,
                               platform::MessageIcon icon) {
    RunModalCommand(wire::MessageCommand(title, text, icon));
}

bool BrowserViewer::AskYesNo(const std::string& title, const std::string& text,
                             platform::MessageIcon icon) {
    const json answer = RunModalCommand(wire::QuestionCommand(title, text, icon));
    return answer.is_boolean() && answer.get<bool>();
}

std::vector<platform::FormControlInfo> BrowserViewer::FormControls() {
    return controls_;
}

void BrowserViewer::ShowControl(size_t index) {
    if (index >= controls_.size())
        return;
    controls_[index].visible = true;
    channel_.Push(wire::ShowCommand(index));
}

void BrowserViewer::FocusControl(size_t index) {
    if (index >= controls_.size())
        return;
    channel_.Push(wire::FocusCommand(index));
}

void BrowserViewer::SetControlText(size_t index, const std::string& text) {
    if (index >= controls_.size())
        return;
    channel_.Push(wire::TextCommand(index, text));
}

std::optional<std::string> BrowserViewer::SaveFileDialog(const std::string& filter,
                                                         const std::string& default_extension,
                                                         const std::string& initial_name) {
    if (closed_ || page_gone_ || stopping_)
        return std::nullopt;
    if (options_.desktop_save_dialog && !portal_failed_) {
        std::optional<std::optional<std::string>> chosen =
            DesktopSaveDialog(filter, default_extension, initial_name);
        if (chosen)
            return *chosen;
        portal_failed_ = true;
    }
    const json answer = RunModalCommand(
        wire::SaveCommand(filter, default_extension, initial_name, save_directory_));
    if (!answer.is_string() || answer.get<std::string>().empty())
        return std::nullopt;
    const std::string chosen = answer.get<std::string>();
    // The dialog refuses names ISO-8859-1 cannot hold; one that got through
    // anyway counts as cancelled rather than becoming another name.
    std::optional<std::string> latin1 = platform::Utf8ToLatin1Strict(chosen);
    if (!latin1)
        return std::nullopt;
    KeepSaveFolder(chosen);
    return latin1;
}

void BrowserViewer::KeepSaveFolder(const std::string& chosen) {
    const size_t slash = chosen.find_last_of('/');
    if (slash == std::string::npos)
        return;
    save_directory_ = slash == 0 ? std::string("/") : chosen.substr(0, slash);
    if (!options_.last_folder_file.empty())
        RememberDirectory(options_.last_folder_file, save_directory_);
}

PortalSaveResult BrowserViewer::RunDesktopDialog(const PortalSaveRequest& request) {
    std::atomic<bool> abandon{false};
    std::atomic<bool> finished{false};
    PortalSaveResult result;
    // Counts as one of the window's dialogs: no click or submission of the
    // page is taken while it is open.
    const uint64_t id = next_modal_id_++;
    open_modals_.insert(id);
    std::thread dialog([&] {
        result = RunPortalSaveDialog(request, abandon);
        finished = true;
        loop_.Post([] {});  // wakes the modal loop
    });
    loop_.RunModal([&] { return finished || page_gone_ || closed_ || stopping_; });
    // The window is going away (or the dialog has ended): the dialog ends
    // with it.
    abandon = true;
    dialog.join();
    open_modals_.erase(id);
    if (!finished || page_gone_ || closed_ || stopping_)
        result = PortalSaveResult{PortalSaveResult::Cancelled, std::string()};
    return result;
}

std::optional<std::optional<std::string>> BrowserViewer::DesktopSaveDialog(
    const std::string& filter, const std::string& default_extension,
    const std::string& initial_name) {
    PortalSaveRequest request;
    request.title = "Guardar como";
    request.filters = PortalFilters(platform::Latin1ToUtf8(filter));
    request.name = platform::Latin1ToUtf8(initial_name);
    request.folder = save_directory_;
    const std::string extension = platform::Latin1ToUtf8(default_extension);
    for (;;) {
        const PortalSaveResult result = RunDesktopDialog(request);
        if (result.outcome == PortalSaveResult::Unavailable)
            return std::nullopt;
        if (result.outcome == PortalSaveResult::Cancelled)
            return std::optional<std::string>();
        std::string chosen = result.path;
        const size_t slash = chosen.find_last_of('/');
        const std::string folder = slash == 0 ? std::string("/") : chosen.substr(0, slash);
        std::string base = chosen.substr(slash + 1);
        // The desktop's dialog asked before replacing the name it was given;
        // a name that the default extension changes is asked about here.
        bool again = false;  // back to the dialog
        if (!extension.empty() && base.find('.') == std::string::npos) {
            base += extension;
            chosen += extension;
            std::error_code error;
            const std::filesystem::file_status status = std::filesystem::status(chosen, error);
            if (std::filesystem::is_directory(status)) {
                MessageBox("Guardar como", platform::Utf8ToLatin1(chosen) + "\nes una carpeta.",
                           platform::MessageIcon::Warning);
                again = true;
            } else if (std::filesystem::exists(status) &&
                       !AskYesNo("Confirmar Guardar como",
                                 platform::Utf8ToLatin1(base) + " ya existe.\n\xBF"
                                                                "Desea reemplazarlo?",
                                 platform::MessageIcon::Warning)) {
                again = true;
            }
        }
        std::optional<std::string> latin1 = platform::Utf8ToLatin1Strict(chosen);
        if (!latin1) {
            // The window keeps file names in ISO-8859-1: this one would reach
            // it changed.
            MessageBox("Guardar como",
                       platform::Utf8ToLatin1(chosen) +
                           "\ntiene un car\xE1"
                           "cter que no est\xE1 permitido (como el signo del euro): use solo "
                           "letras, n\xFA"
                           "meros y signos del alfabeto latino.",
                       platform::MessageIcon::Warning);
            again = true;
        }
        if (closed_ || page_gone_ || stopping_)
            return std::optional<std::string>();
        if (!again) {
            KeepSaveFolder(chosen);
            return latin1;
        }
        // Back to the dialog, where the user was.
        request.name = base;
        request.folder = folder;
    }
}

void BrowserViewer::SetCursor(platform::Cursor cursor) {
    channel_.Push(wire::CursorCommand(cursor == platform::Cursor::Wait));
}

void BrowserViewer::StartCollection(uint32_t events_needed) {
    channel_.Push(wire::CollectCommand(true, events_needed));
}

void BrowserViewer::SetCollectionProgress(int percent) {
    channel_.Push(wire::ProgressCommand(percent));
}

void BrowserViewer::StopCollection() {
    channel_.Push(wire::CollectCommand(false));
}

namespace {

// The folder holding `path` (ISO-8859-1) on disk: absolute, UTF-8.
std::string FolderOf(const std::string& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(platform::DiskName(path), error);
    if (error)
        return std::string();
    return full.lexically_normal().parent_path().string();
}

}  // namespace

void BrowserViewer::ShowResultFiles(const std::string& request_path, const std::string& key_path) {
    request_folder_ = FolderOf(request_path);
    key_folder_ = FolderOf(key_path);
    const auto full = [](const std::string& path) {
        std::error_code error;
        const std::filesystem::path disk =
            std::filesystem::absolute(platform::DiskName(path), error).lexically_normal();
        return error ? path : platform::Utf8ToLatin1(disk.string());
    };
    channel_.Push(
        wire::FilesCommand(full(request_path), full(key_path), request_folder_ == key_folder_));
}

void BrowserViewer::Close() {
    if (closed_)
        return;
    closed_ = true;
    const uint64_t seq = channel_.Push(wire::CloseCommand());
    // The program ends right after: give the page a moment to take the
    // command, so that the window closes instead of losing its server.
    if (!page_gone_ && !stopping_ && channel_.PageConnected())
        channel_.WaitDelivered(seq, std::chrono::seconds(2));
}

}  // namespace viewer
