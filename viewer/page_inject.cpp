#include "viewer/page_inject.h"

#include "platform/text.h"
#include "viewer/shim_text.h"

namespace viewer {

namespace {

// Position of the first tag `<name` followed by a blank, "/" or ">", or npos.
size_t FindTag(const std::string& lower_html, const std::string& name) {
    const std::string open = "<" + name;
    size_t at = lower_html.find(open);
    while (at != std::string::npos) {
        const size_t after = at + open.size();
        if (after < lower_html.size()) {
            const char c = lower_html[after];
            if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
                return at;
        }
        at = lower_html.find(open, after);
    }
    return std::string::npos;
}

}  // namespace

std::string ShimBlock(const std::string& config_json) {
    std::string config;
    config.reserve(config_json.size());
    for (char c : config_json) {
        if (c == '<')
            config += "\\u003c";
        else
            config.push_back(c);
    }
    // The script's slot is the marker comment followed by `null`, the value
    // the script sees when no configuration is given.
    std::string script = kShimScript;
    const std::string marker = "/*REQWIZ_CONFIG*/";
    const size_t at = script.find(marker);
    if (at != std::string::npos) {
        const size_t value = script.find_first_not_of(" \t", at + marker.size());
        if (value != std::string::npos && script.compare(value, 4, "null") == 0)
            script.replace(at, value + 4 - at, config);
    }
    return "<style>" + std::string(kShimStyle) + "</style><script>" + script + "</script>";
}

std::string InjectShim(const std::string& html, const std::string& block) {
    const std::string lower = platform::AsciiLower(html);
    size_t head = FindTag(lower, "head");
    if (head != std::string::npos) {
        const size_t close = html.find('>', head);
        if (close != std::string::npos)
            return html.substr(0, close + 1) + block + html.substr(close + 1);
    }
    const size_t body = FindTag(lower, "body");
    if (body != std::string::npos)
        return html.substr(0, body) + block + html.substr(body);
    return block + html;
}

}  // namespace viewer
