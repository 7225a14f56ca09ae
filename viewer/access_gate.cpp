#include "viewer/access_gate.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace viewer {

namespace {

std::string TrimBlanks(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

std::string RandomHex(size_t length) {
    std::vector<uint8_t> bytes(length);
    size_t got = 0;
    while (got < length) {
        ssize_t n = getrandom(bytes.data() + got, length - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("no system randomness");
        }
        got += static_cast<size_t>(n);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (uint8_t b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

bool ConstantTimeEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    volatile uint8_t difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference = difference | static_cast<uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}

AccessGate::AccessGate(std::string host_name, uint16_t port, std::string token, std::string session)
    : host_name_(platform::AsciiLower(std::move(host_name))),
      port_(port),
      token_(std::move(token)),
      session_(std::move(session)) {}

std::string AccessGate::Authority() const {
    return host_name_ + ":" + std::to_string(port_);
}

std::string AccessGate::CookieName() const {
    return "reqwiz_" + std::to_string(port_);
}

bool AccessGate::HasSession(const std::string& cookie_header) const {
    const std::string wanted = CookieName();
    bool found = false;
    size_t pos = 0;
    // Every pair is looked at, so that the time taken does not tell where a
    // matching cookie stands.
    while (pos <= cookie_header.size()) {
        size_t end = cookie_header.find(';', pos);
        if (end == std::string::npos)
            end = cookie_header.size();
        const std::string pair = cookie_header.substr(pos, end - pos);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos && TrimBlanks(pair.substr(0, eq)) == wanted) {
            if (ConstantTimeEquals(TrimBlanks(pair.substr(eq + 1)), session_))
                found = true;
        }
        pos = end + 1;
    }
    return found;
}

void AccessGate::OnTokenUsed(std::function<void()> on_used) {
    std::lock_guard<std::mutex> lock(mutex_);
    on_token_used_ = std::move(on_used);
}

void AccessGate::TakeTokenOnlyFromTheBrowserItself(bool only) {
    std::lock_guard<std::mutex> lock(mutex_);
    token_from_browser_only_ = only;
}

GateVerdict AccessGate::Check(const GateRequest& request) {
    GateVerdict verdict;
    const std::string authority = Authority();
    if (platform::AsciiLower(request.host) != authority) {
        verdict.reason = "Host header does not name this server";
        return verdict;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        if (platform::AsciiLower(request.origin) != "http://" + authority) {
            verdict.reason =
                request.origin.empty() ? "request without Origin" : "request from a foreign Origin";
            return verdict;
        }
    }
    const bool session = HasSession(request.cookie);
    if (request.has_token) {
        if (session) {
            verdict.kind = GateVerdict::Redirect;
            return verdict;
        }
        std::function<void()> on_used;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (token_from_browser_only_ && !request.fetch_site.empty() &&
                platform::AsciiLower(request.fetch_site) != "none") {
                verdict.reason = "start token offered by a page";
                return verdict;
            }
            const bool matches = ConstantTimeEquals(request.token, token_);
            if (!matches || token_used_) {
                verdict.reason = matches ? "start token already used" : "wrong start token";
                return verdict;
            }
            token_used_ = true;
            on_used.swap(on_token_used_);
        }
        verdict.kind = GateVerdict::Redirect;
        verdict.set_cookie = CookieName() + "=" + session_ + "; Path=/; HttpOnly; SameSite=Strict";
        if (on_used)
            on_used();
        return verdict;
    }
    if (!session) {
        verdict.reason = "no session: open the address the program printed";
        return verdict;
    }
    verdict.kind = GateVerdict::Allow;
    return verdict;
}

}  // namespace viewer
