// The bridge's messages: every decoder of the bodies the page posts, over
// any text, and the command builders over any ISO-8859-1 text, whose JSON
// must be valid UTF-8 that reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz/fuzz_support.h"
#include "platform/latin1.h"
#include "viewer/wire_protocol.h"

namespace {

namespace wire = viewer::wire;

// The command's text member, read back from its serialised form.
std::string ReadBack(const nlohmann::json& command, const char* member) {
    // dump throws on text that is not UTF-8: the builders must convert.
    const nlohmann::json parsed = nlohmann::json::parse(command.dump());
    const auto value = platform::Utf8ToLatin1Strict(parsed.at(member).get<std::string>());
    fuzz::Check(value.has_value(), "a command's text is ISO-8859-1 in UTF-8");
    return *value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);

    if (auto hello = wire::DecodeHello(body)) {
        for (const auto& control : hello->controls)
            (void)control;
    }
    (void)wire::DecodeBye(body);
    (void)wire::DecodeClick(body);
    (void)wire::DecodeLink(body);
    if (auto input = wire::DecodeInput(body))
        fuzz::Check(input->size() <= 2000, "at most 2,000 events of a batch");
    (void)wire::DecodeAnswer(body);
    (void)wire::DecodeCounter(body);

    std::string posted = body;
    const auto submitted = wire::DecodeSubmit(posted);
    for (char c : posted)
        fuzz::Check(c == '\0', "the submitted body is wiped");
    if (submitted) {
        // Every field named as not ISO-8859-1 still has its line (a line
        // without "=" is all name).
        for (const std::string& name : submitted->not_latin1) {
            bool found = false;
            for (const std::string& line : submitted->lines)
                found = found || line == name || line.rfind(name + "=", 0) == 0;
            fuzz::Check(found, "a refused field keeps its line");
        }
    }

    // The builders, with the input as ISO-8859-1 text.
    fuzz::Check(ReadBack(wire::LoadCommand(body), "page") == body, "load keeps its page");
    fuzz::Check(ReadBack(wire::FollowCommand(body), "url") == body, "follow keeps its address");
    fuzz::Check(
        ReadBack(wire::MessageCommand(body, body, platform::MessageIcon::Warning), "text") == body,
        "message keeps its text");
    fuzz::Check(
        ReadBack(wire::QuestionCommand(body, body, platform::MessageIcon::Error), "title") == body,
        "question keeps its title");
    fuzz::Check(ReadBack(wire::TextCommand(size, body), "text") == body, "text keeps its text");
    (void)wire::SaveCommand(body, body, body, platform::Latin1ToUtf8(body)).dump();
    (void)wire::ProgressCommand(static_cast<int>(size) - 50).dump();
    return 0;
}
