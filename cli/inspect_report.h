// `reqwiz inspect`: what a request file says and whether it, and optionally
// its key file, check out. The report is built from the files' bytes alone,
// so it can be tested without a terminal; inspect_command.h reads the files
// and prints it.
//
// Every text in the report is UTF-8: values from the request are converted
// from their own string type (ISO-8859-1 in this system's PrintableStrings,
// UTF-8, BMPString, ...), with control characters shown as "?" so that a
// request cannot drive the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cli {

enum class CheckState { Valid, Invalid, NotChecked };

struct InspectReport {
    // 0 everything checked is valid; 1 something is not; 2 unreadable input.
    int exit_code = 0;
    // With exit code 2: the sentence that says what could not be read.
    std::string error;

    std::string format;  // "DER" or "PEM"
    uint32_t der_length = 0;
    // Subject components as (label, value), in the order of the request.
    std::vector<std::pair<std::string, std::string>> subject;
    // Attributes as (name, shown value); alternative names separately.
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::string> alt_names;

    std::string key_algorithm;
    uint32_t key_bits = 0;
    std::string key_fingerprint;  // SHA-256 of the SubjectPublicKeyInfo, AA:BB:...

    std::string signature_algorithm;
    CheckState signature = CheckState::NotChecked;
    std::string signature_note;  // why it was not checked

    // The lines after the DER request (the data the authority asked for).
    bool has_trailer = false;
    std::vector<std::string> trailer;

    bool key_given = false;
    CheckState key = CheckState::NotChecked;
    std::string key_note;

    // One Spanish sentence per fault found (exit code 1).
    std::vector<std::string> problems;
};

// Inspects the request file's bytes and, when `key_file` is not null, the
// key file's bytes under `password` (ISO-8859-1, as typed).
InspectReport InspectFiles(const std::string& request_file, const std::string* key_file,
                           const std::string& password);

// The report as lines of text (UTF-8) and as one JSON object (UTF-8).
std::string RenderText(const InspectReport& report);
std::string RenderJson(const InspectReport& report);

}  // namespace cli
