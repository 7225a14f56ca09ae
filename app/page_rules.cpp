#include "app/page_rules.h"

#include <cstring>

#include "app/field_list.h"
#include "app/file_names.h"
#include "app/messages.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/wipe.h"

namespace app {

namespace {

constexpr size_t kValidationBuffer = 255;

// The allowed characters of a character-set text: every byte but the line
// breaks that lay the set out over several lines.
std::string AllowedChars(const std::string& set_text) {
    std::string allowed;
    for (char c : set_text) {
        if (c != '\r' && c != '\n')
            allowed += c;
    }
    return allowed;
}

bool AllAllowed(const std::string& value, const std::string& allowed) {
    for (char c : value) {
        if (allowed.find(c) == std::string::npos)
            return false;
    }
    return true;
}

RuleFailure DataFailure(std::string message, const std::string& control) {
    return RuleFailure{std::move(message), control, platform::MessageIcon::Warning, true, false};
}

RuleFailure KeyFailure(std::string message, const std::string& control) {
    return RuleFailure{std::move(message), control, platform::MessageIcon::Error, false, false};
}

// A profile text, or the built-in one (with a line break) when the profile's
// is missing or blank.
std::string ProfileText(const ConfigDocument& config, const char* tag, const char* built_in) {
    std::string text = config.GetElementText(tag);
    if (Trim(text).empty())
        text = std::string(built_in) + "\r\n";
    return text;
}

}  // namespace

bool HasDigitsAndLetters(const std::string& text) {
    bool digit = false, letter = false;
    for (char c : text) {
        digit = digit || (c >= '0' && c <= '9');
        letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    return digit && letter;
}

std::optional<RuleFailure> CheckDataPage(const ConfigDocument& config, ValidaCamposFunc valida,
                                         std::vector<std::string>& lines) {
    for (std::string& line : lines) {
        const NameValue field = SplitLine(line);
        const std::string trimmed = Trim(field.value);

        if (config.IsMandatory(field.name) && trimmed.empty())
            return DataFailure(config.GetDisplayText(field.name), field.name);
        const std::string table = config.GetElementAttribute(field.name, "VALID_CHARS_TABLE");
        if (!table.empty() && !AllAllowed(field.value, AllowedChars(config.GetElementText(table))))
            return DataFailure(config.GetElementText("MSG_INVALID_CHARS_" + field.name),
                               field.name);

        if (valida == nullptr)
            continue;
        if (trimmed.size() >= kValidationBuffer)
            return DataFailure(
                std::string(msg::kValueTooLongHead) + field.name + msg::kValueTooLongTail,
                field.name);
        // One byte more than the library's 255 stays zero, so the text read
        // back always ends inside the buffer.
        char buffer[kValidationBuffer + 1] = {};
        std::memcpy(buffer, trimmed.data(), trimmed.size());
        if (valida(field.name.c_str(), buffer) != 1) {
            // The library tells the user itself.
            RuleFailure failure = DataFailure(std::string(), field.name);
            failure.silent = true;
            return failure;
        }
        line = field.name + "=" + std::string(buffer, strnlen(buffer, kValidationBuffer));
    }
    return std::nullopt;
}

std::optional<RuleFailure> CheckKeyPage(const ConfigDocument& config,
                                        const std::vector<std::string>& lines) {
    const FieldList submitted(lines);
    std::string password = submitted.Value("PWD");
    std::string confirmation = submitted.Value("PWD2");
    platform::WipeOnExit wipe;
    wipe.Add(password).Add(confirmation);
    if (password.size() < 8)
        return KeyFailure(msg::kPasswordTooShort, "PWD");
    if (password != confirmation)
        return KeyFailure(msg::kPasswordsDiffer, "PWD2");
    if (!HasDigitsAndLetters(password))
        return KeyFailure(msg::kPasswordNeedsDigitsAndLetters, "PWD");

    const std::string key = Trim(submitted.Value("KEY"));
    const std::string request = Trim(submitted.Value("REQ"));
    if (key.empty())
        return KeyFailure(ProfileText(config, "MSG_MISSING_PRIVKEY", msg::kKeyFileMissing), "KEY");
    if (request.empty())
        return KeyFailure(ProfileText(config, "MSG_MISSING_REQFILE", msg::kRequestFileMissing),
                          "REQ");
    if (!platform::DirectoryExists(platform::DiskName(DirectoryPart(key))))
        return KeyFailure(msg::kKeyPathInvalid, "KEY");
    if (FileNamePart(key).empty())
        return KeyFailure(msg::kKeyFileMissing, "KEY");
    if (!platform::DirectoryExists(platform::DiskName(DirectoryPart(request))))
        return KeyFailure(msg::kRequestPathInvalid, "REQ");
    if (FileNamePart(request).empty())
        return KeyFailure(msg::kRequestFileMissing, "REQ");

    const std::string set = config.GetElementText("VALID_CHARS");
    if (!set.empty()) {
        const std::string valid = AllowedChars(set);
        if (!AllAllowed(FileNamePart(key), valid))
            return KeyFailure(config.GetElementText("MSG_INVALID_CHARS_KEY"), "KEY");
        if (!AllAllowed(FileNamePart(request), valid))
            return KeyFailure(config.GetElementText("MSG_INVALID_CHARS_REQ"), "REQ");
    }
    return std::nullopt;
}

OutputNames OutputNamesOf(const std::string& key_field, const std::string& request_field) {
    return OutputNames{WithDefaultExtension(Trim(key_field), ".key"),
                       WithDefaultExtension(Trim(request_field), ".req")};
}

std::optional<RuleFailure> CheckOutputNames(const OutputNames& names) {
    if (SameFile(names.key, names.request))
        return KeyFailure(msg::kSameFile, "REQ");
    return std::nullopt;
}

}  // namespace app
