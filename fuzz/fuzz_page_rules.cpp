// The submitted form lines through FieldList and the rules of both pages and
// of the output names, under the shipped configuration. The input is the
// posted lines, one per line feed; a line that starts with a NUL byte is an
// edit of the list (set, remove) rather than a submitted line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/config_lookup.h"
#include "app/field_list.h"
#include "app/page_rules.h"
#include "fuzz/fuzz_support.h"

namespace {

const app::ConfigDocument& ShippedConfig() {
    static const app::ConfigDocument* config = [] {
        auto* document = new app::ConfigDocument;
        if (!document->Parse(fuzz::SourceFile("data/config.xml")))
            fuzz::Fail("the shipped config.xml parses");
        return document;
    }();
    return *config;
}

// A validation library that accepts everything but rewrites what it is
// given the way a real one may: upper case, and cut at a "!" it finds.
int RewritingValida(const char* field, char* value255) {
    (void)field;
    for (char* c = value255; *c != '\0'; ++c) {
        if (*c >= 'a' && *c <= 'z')
            *c = static_cast<char>(*c - 'a' + 'A');
        if (*c == '!') {
            *c = '\0';
            break;
        }
    }
    fuzz::Check(std::strlen(value255) < 255, "the value stays inside its buffer");
    return 1;
}

int RefusingValida(const char* field, char* value255) {
    (void)field;
    (void)value255;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const app::ConfigDocument& config = ShippedConfig();
    std::vector<std::string> lines;
    app::FieldList list;
    for (const std::string& line :
         fuzz::SplitAt(std::string(reinterpret_cast<const char*>(data), size), '\n')) {
        if (!line.empty() && line[0] == '\0') {
            const app::NameValue edit = app::SplitLine(line.substr(1));
            list.SetValue(edit.name, edit.value);
            if (!edit.value.empty())
                fuzz::Check(list.Value(edit.name) == edit.value, "a set value reads back");
            continue;
        }
        lines.push_back(line);
        list.Add(line);
    }

    // FieldList on the submitted lines alone (the edits above may have
    // removed some of them from `list`).
    const app::FieldList plain(lines);
    for (const std::string& line : lines) {
        const app::NameValue field = app::SplitLine(line);
        const int index = plain.IndexOfName(field.name);
        if (line.find('=') != std::string::npos)
            fuzz::Check(index >= 0, "a named line is found");
        (void)list.Value(field.name);
    }
    (void)list.Text();
    app::FieldList copy = list;
    copy.Assign(lines);
    fuzz::Check(copy.Count() == lines.size(), "Assign keeps every line");
    if (copy.Count() > 0)
        copy.SetLine(0, "X=1");
    copy.Clear();

    // The data page with and without a validation library, then the key page
    // and the output names from the same lines.
    std::vector<std::string> data_lines = lines;
    (void)app::CheckDataPage(config, nullptr, data_lines);
    data_lines = lines;
    (void)app::CheckDataPage(config, RewritingValida, data_lines);
    data_lines = lines;
    const auto refused = app::CheckDataPage(config, RefusingValida, data_lines);
    if (refused && refused->silent)
        fuzz::Check(refused->message.empty(), "a silent failure has no message");

    const auto key_failure = app::CheckKeyPage(config, lines);
    if (key_failure)
        fuzz::Check(!key_failure->control.empty(), "a key page failure names its control");
    const app::FieldList submitted(lines);
    const app::OutputNames names =
        app::OutputNamesOf(submitted.Value("KEY"), submitted.Value("REQ"));
    (void)app::CheckOutputNames(names);
    (void)app::HasDigitsAndLetters(submitted.Value("PWD"));
    return 0;
}
