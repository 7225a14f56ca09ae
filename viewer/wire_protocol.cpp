#include "viewer/wire_protocol.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/latin1.h"
#include "platform/wipe.h"

namespace viewer::wire {

namespace {

using nlohmann::json;

constexpr size_t kMaxInputBatch = 2000;

// The deepest nesting of arrays and objects a message of the page may have.
// The shim's messages nest three levels at most; copying or printing a
// value recurses once per level, so a deeper one is refused unparsed.
constexpr int kMaxJsonDepth = 16;

// True when the arrays and objects of the JSON text `text` nest no deeper
// than `limit`. Brackets inside strings do not count.
bool NestingWithin(const std::string& text, int limit) {
    int depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// The page's message when it is a JSON object within the depth limit.
std::optional<json> ParseObject(const std::string& text) {
    if (!NestingWithin(text, kMaxJsonDepth))
        return std::nullopt;
    json value = json::parse(text, nullptr, false);
    if (!value.is_object())
        return std::nullopt;
    return value;
}

// Text of a JSON member converted to ISO-8859-1; "" when absent or not text.
std::string Latin1Member(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end() || !it->is_string())
        return std::string();
    return platform::Utf8ToLatin1(it->get<std::string>());
}

// A command number: 0 when absent or not a whole number from 0 up.
uint64_t CounterMember(const json& object, const char* name) {
    auto it = object.find(name);
    return it != object.end() && it->is_number_unsigned() ? it->get<uint64_t>() : 0;
}

// Every number from the page becomes an integer here, and only here: the
// value clamped to [low, high], rounded toward zero; not a number, or not a
// finite one on the wrong side, gives the nearest bound (0 when 0 is in
// range and the value is NaN or not numeric). No conversion from the page
// can overflow.
int64_t ClampedNumber(const json& value, int64_t low, int64_t high) {
    const int64_t fallback = std::clamp<int64_t>(0, low, high);
    if (!value.is_number())
        return fallback;
    const double d = value.get<double>();
    if (std::isnan(d))
        return fallback;
    if (d <= static_cast<double>(low))
        return low;
    if (d >= static_cast<double>(high))
        return high;
    return static_cast<int64_t>(d);
}

int32_t ClampedInt(const json& value) {
    return static_cast<int32_t>(ClampedNumber(value, INT32_MIN, INT32_MAX));
}

const char* IconName(platform::MessageIcon icon) {
    return icon == platform::MessageIcon::Error ? "error" : "warning";
}

}  // namespace

// ---------------------------------------------------------------------------
// Commands

json LoadCommand(const std::string& page) {
    return json{{"type", "load"}, {"page", platform::Latin1ToUtf8(page)}};
}

json FollowCommand(const std::string& url) {
    return json{{"type", "follow"}, {"url", platform::Latin1ToUtf8(url)}};
}

json MessageCommand(const std::string& title, const std::string& text, platform::MessageIcon icon) {
    return json{{"type", "message"},
                {"title", platform::Latin1ToUtf8(title)},
                {"text", platform::Latin1ToUtf8(text)},
                {"icon", IconName(icon)}};
}

json QuestionCommand(const std::string& title, const std::string& text,
                     platform::MessageIcon icon) {
    return json{{"type", "question"},
                {"title", platform::Latin1ToUtf8(title)},
                {"text", platform::Latin1ToUtf8(text)},
                {"icon", IconName(icon)}};
}

json SaveCommand(const std::string& filter, const std::string& extension, const std::string& name,
                 const std::string& directory) {
    return json{{"type", "save"},
                {"filter", platform::Latin1ToUtf8(filter)},
                {"extension", platform::Latin1ToUtf8(extension)},
                {"name", platform::Latin1ToUtf8(name)},
                {"directory", directory}};
}

json ShowCommand(size_t index) {
    return json{{"type", "show"}, {"index", index}};
}

json FocusCommand(size_t index) {
    return json{{"type", "focus"}, {"index", index}};
}

json TextCommand(size_t index, const std::string& text) {
    return json{{"type", "text"}, {"index", index}, {"text", platform::Latin1ToUtf8(text)}};
}

json CursorCommand(bool wait) {
    return json{{"type", "cursor"}, {"wait", wait}};
}

json CollectCommand(bool on, uint32_t need) {
    json command{{"type", "collect"}, {"on", on}};
    if (on)
        command["need"] = need;
    return command;
}

json ProgressCommand(int percent) {
    return json{{"type", "progress"}, {"value", std::clamp(percent, 0, 100)}};
}

json FilesCommand(const std::string& request_path, const std::string& key_path, bool same_folder) {
    return json{{"type", "files"},
                {"request", platform::Latin1ToUtf8(request_path)},
                {"key", platform::Latin1ToUtf8(key_path)},
                {"same_folder", same_folder}};
}

json CloseCommand() {
    return json{{"type", "close"}};
}

// ---------------------------------------------------------------------------
// Bodies

Submit::~Submit() {
    platform::WipeLines(lines);
}

std::optional<Hello> DecodeHello(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    Hello hello;
    hello.page = Latin1Member(*message, "page");
    hello.done = CounterMember(*message, "done");
    hello.have = CounterMember(*message, "have");
    auto list = message->find("controls");
    if (list != message->end() && list->is_array()) {
        for (const json& item : *list) {
            if (!item.is_object())
                continue;
            platform::FormControlInfo info;
            info.name = Latin1Member(item, "name");
            auto visible = item.find("visible");
            info.visible = visible == item.end() || !visible->is_boolean() || visible->get<bool>();
            hello.controls.push_back(std::move(info));
        }
    }
    return hello;
}

std::optional<Bye> DecodeBye(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    return Bye{Latin1Member(*message, "page")};
}

std::optional<Click> DecodeClick(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    return Click{Latin1Member(*message, "name"), Latin1Member(*message, "onclick")};
}

std::optional<Submit> DecodeSubmit(std::string& body) {
    std::optional<json> message = ParseObject(body);
    platform::WipeText(body);
    if (!message)
        return std::nullopt;
    Submit submit;
    submit.action = Latin1Member(*message, "action");
    submit.target = Latin1Member(*message, "target");
    submit.enctype = Latin1Member(*message, "enctype");
    submit.method = Latin1Member(*message, "method");
    auto list = message->find("lines");
    if (list != message->end() && list->is_array()) {
        for (json& line : *list) {
            if (!line.is_string())
                continue;
            std::string& text = line.get_ref<std::string&>();
            std::optional<std::string> latin1 = platform::Utf8ToLatin1Strict(text);
            if (!latin1) {
                latin1 = platform::Utf8ToLatin1(text);
                submit.not_latin1.push_back(latin1->substr(0, latin1->find('=')));
            }
            submit.lines.push_back(std::move(*latin1));
            platform::WipeText(text);
        }
    }
    return submit;
}

std::optional<Link> DecodeLink(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    return Link{Latin1Member(*message, "target"), Latin1Member(*message, "url")};
}

std::optional<std::vector<platform::InputMessage>> DecodeInput(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    auto events = message->find("events");
    if (events == message->end() || !events->is_array())
        return std::nullopt;
    std::vector<platform::InputMessage> decoded;
    size_t count = 0;
    for (const json& event : *events) {
        if (++count > kMaxInputBatch)
            break;
        if (!event.is_array() || event.size() != 5 || !event[0].is_number_integer())
            continue;
        const int64_t kind = ClampedNumber(event[0], -1, 4);
        if (kind < 0 || kind > 3)
            continue;
        platform::InputMessage input;
        input.kind = static_cast<platform::InputMessage::Kind>(kind);
        input.x = ClampedInt(event[1]);
        input.y = ClampedInt(event[2]);
        input.key = static_cast<uint32_t>(ClampedNumber(event[3], 0, UINT32_MAX));
        const bool button = input.kind == platform::InputMessage::ButtonDown ||
                            input.kind == platform::InputMessage::ButtonUp;
        if (button && input.key > 2)
            continue;
        input.time_ms = static_cast<uint32_t>(ClampedNumber(event[4], 0, INT64_MAX));
        decoded.push_back(input);
    }
    return decoded;
}

std::optional<Answer> DecodeAnswer(const std::string& body) {
    std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    auto id = message->find("id");
    if (id == message->end() || !id->is_number_unsigned())
        return std::nullopt;
    Answer answer;
    answer.id = id->get<uint64_t>();
    auto result = message->find("result");
    if (result != message->end())
        answer.result = std::move(*result);
    return answer;
}

std::optional<OpenFolder> DecodeOpenFolder(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    const std::string file = Latin1Member(*message, "file");
    if (file == "request")
        return OpenFolder{OpenFolder::Request};
    if (file == "key")
        return OpenFolder{OpenFolder::Key};
    return std::nullopt;
}

std::optional<MakeFolder> DecodeMakeFolder(const std::string& body) {
    const std::optional<json> message = ParseObject(body);
    if (!message)
        return std::nullopt;
    auto path = message->find("path");
    auto name = message->find("name");
    if (path == message->end() || !path->is_string() || name == message->end() ||
        !name->is_string())
        return std::nullopt;
    return MakeFolder{path->get<std::string>(), name->get<std::string>()};
}

uint64_t DecodeCounter(const std::string& text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10)
            return 0;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

}  // namespace viewer::wire
