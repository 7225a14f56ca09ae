// The one gate every request to the local server passes before any route
// runs. Only the wizard's own window may talk to the server:
//   - the Host header must name the server itself: its own random host name
//     under ".localhost" and its port, which defeats DNS rebinding. Browsers
//     resolve every name under ".localhost" to loopback. Cookies do not tell
//     ports apart, so a cookie of 127.0.0.1 would reach every local server;
//     a host-only cookie of a name nobody else knows reaches this one alone;
//   - a state-changing request (anything but GET and HEAD) must carry the
//     wizard's own Origin, which defeats cross-site form posts;
//   - the address handed to the browser carries a one-time token; its first
//     use is answered with a session cookie (HttpOnly, SameSite=Strict) and a
//     redirect to the clean address, and the token is worthless afterwards;
//     once the address has been put where others may read it, the token is
//     taken only from a navigation the browser started itself, never from
//     one a page of some site started (which could spend it first);
//   - every other request must carry that cookie.
// Secrets are compared in constant time.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace viewer {

// What the gate needs of a request. `token` is the value of the query
// parameter "token", empty when absent; `cookie` is the raw Cookie header.
struct GateRequest {
    std::string method;
    std::string host;
    std::string origin;
    std::string cookie;
    std::string token;
    bool has_token = false;
    // The Sec-Fetch-Site header: "none" for a navigation the browser
    // started itself (an address it was opened on, or one typed), the
    // relation of the page that asked otherwise. Browsers set it and pages
    // cannot; programs that are not browsers send none (empty).
    std::string fetch_site;
};

struct GateVerdict {
    enum Kind { Allow, Reject, Redirect };
    Kind kind = Reject;
    // For Reject: why, one short English sentence for the 403 body.
    std::string reason;
    // For Redirect: the Set-Cookie value to send, empty when the browser
    // already holds the session.
    std::string set_cookie;
};

// `length` random bytes from the system's generator as lower-case hex.
// Throws std::runtime_error when the system has no randomness to give.
std::string RandomHex(size_t length);

// True when the two texts are equal; the time taken depends only on their
// lengths, not on where they differ.
bool ConstantTimeEquals(const std::string& a, const std::string& b);

class AccessGate {
  public:
    // `host_name` is the server's own name (lower case, "NAME.localhost");
    // `token` is the one-time token of the start address; `session` is the
    // cookie value that proves a browser exchanged it. Both must be secret.
    AccessGate(std::string host_name, uint16_t port, std::string token, std::string session);

    // The verdict for one request. Safe from any thread; the token is
    // consumed by the first request that presents it correctly.
    GateVerdict Check(const GateRequest& request);

    // `on_used` runs once, on the thread of the request that consumed the
    // token, right after it was consumed (the start page that carried it
    // can then be thrown away). Set it before the address is handed out.
    void OnTokenUsed(std::function<void()> on_used);

    // With `only` true, a request that a page of some site made (its
    // Sec-Fetch-Site anything but "none") is refused without spending the
    // token: set it while the address is on a command line, where other
    // users may read it and have a page in the user's everyday browser try
    // it first. The private page that forwards to the address is another
    // site's, so it is false (the default) for that way in.
    void TakeTokenOnlyFromTheBrowserItself(bool only);

    // Name of the session cookie.
    std::string CookieName() const;

    uint16_t port() const { return port_; }
    // "NAME.localhost:PORT", the Host every request must carry.
    std::string Authority() const;

  private:
    bool HasSession(const std::string& cookie_header) const;

    std::string host_name_;
    uint16_t port_;
    std::string token_;
    std::string session_;
    std::mutex mutex_;
    bool token_used_ = false;
    bool token_from_browser_only_ = false;
    std::function<void()> on_token_used_;
};

}  // namespace viewer
