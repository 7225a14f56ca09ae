// The rules of the two form pages and of the output names, as functions that
// say what failed: the message, the control it concerns and the icon. The
// window shows the failure and puts the focus on the control; `reqwiz
// generate` prints it. Neither repeats a rule.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/config_lookup.h"
#include "platform/page_viewer.h"

namespace app {

// The entry point of the optional validation library REQ_DLL.DLL: the field
// name, and a 255-byte buffer holding the trimmed value, zero-terminated,
// which the library may rewrite in place. 1 accepts the field.
using ValidaCamposFunc = int (*)(const char* field, char* value255);

// What a rule found wrong. `silent` failures were already told to the user
// by the validation library: nothing is shown and nothing focused for them.
// `reveal` asks for the control to be made visible before it gets the focus.
struct RuleFailure {
    std::string message;
    std::string control;
    platform::MessageIcon icon = platform::MessageIcon::Warning;
    bool reveal = false;
    bool silent = false;
};

// The data page's submitted lines in order: mandatory fields, the allowed
// characters of a field's VALID_CHARS_TABLE, then the validation library
// (`valida`, or null when none is loaded), which may rewrite the lines of
// `lines`. The first failure, or nothing when the page is valid.
std::optional<RuleFailure> CheckDataPage(const ConfigDocument& config, ValidaCamposFunc valida,
                                         std::vector<std::string>& lines);

// The key page: the password rules, then the two file names (present, in an
// existing folder, with a file part, of the profile's VALID_CHARS).
std::optional<RuleFailure> CheckKeyPage(const ConfigDocument& config,
                                        const std::vector<std::string>& lines);

// The two output files as the hand-over names them: trimmed, with ".key" or
// ".req" when the file part has no full stop.
struct OutputNames {
    std::string key;
    std::string request;
};
OutputNames OutputNamesOf(const std::string& key_field, const std::string& request_field);

// The two names must not lead to one file.
std::optional<RuleFailure> CheckOutputNames(const OutputNames& names);

// True when `text` holds at least one ASCII digit and one ASCII letter.
bool HasDigitsAndLetters(const std::string& text);

}  // namespace app
