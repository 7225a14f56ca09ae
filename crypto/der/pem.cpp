#include "crypto/der/pem.h"

namespace {

constexpr char kBegin[] = "-----BEGIN ";
constexpr char kEnd[] = "-----END ";
constexpr char kDashes[] = "-----";

bool starts_with(const uint8_t* p, uint32_t left, const char* word, uint32_t* word_length) {
    uint32_t n = 0;
    while (word[n] != '\0') {
        if (n >= left || p[n] != static_cast<uint8_t>(word[n])) {
            return false;
        }
        ++n;
    }
    *word_length = n;
    return true;
}

// The start of the line after position `at` (or `length`).
uint32_t next_line(const uint8_t* text, uint32_t length, uint32_t at) {
    while (at < length && text[at] != '\n') {
        ++at;
    }
    return at < length ? at + 1 : length;
}

// Whether the line at `at` is "<prefix>LABEL-----" (trailing spaces and CR
// allowed); gives the label.
bool marker_line(const uint8_t* text, uint32_t length, uint32_t at, const char* prefix,
                 const uint8_t** label, uint32_t* label_length) {
    uint32_t n = 0;
    if (!starts_with(text + at, length - at, prefix, &n)) {
        return false;
    }
    const uint32_t start = at + n;
    uint32_t end = start;
    while (end < length && text[end] != '\n' && text[end] != '-') {
        ++end;
    }
    uint32_t dashes = 0;
    if (end == start || !starts_with(text + end, length - end, kDashes, &dashes)) {
        return false;
    }
    for (uint32_t i = end + dashes; i < length && text[i] != '\n'; ++i) {
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r') {
            return false;
        }
    }
    *label = text + start;
    *label_length = end - start;
    return true;
}

// The value of one Base64 character, or -1.
int sextet(uint8_t c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

bool is_space(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

Status pem_find(const uint8_t* text, uint32_t length, PemBlock* block) {
    if (text == nullptr) {
        return STATUS_PEM_NOT_FOUND;
    }
    for (uint32_t at = 0; at < length; at = next_line(text, length, at)) {
        const uint8_t* label = nullptr;
        uint32_t label_length = 0;
        if (!marker_line(text, length, at, kBegin, &label, &label_length)) {
            continue;
        }
        const uint32_t body = next_line(text, length, at);
        for (uint32_t line = body; line < length; line = next_line(text, length, line)) {
            const uint8_t* end_label = nullptr;
            uint32_t end_length = 0;
            if (!marker_line(text, length, line, kEnd, &end_label, &end_length)) {
                continue;
            }
            if (end_length != label_length) {
                return STATUS_PEM_NOT_FOUND;
            }
            for (uint32_t i = 0; i < label_length; ++i) {
                if (end_label[i] != label[i]) {
                    return STATUS_PEM_NOT_FOUND;
                }
            }
            *block = PemBlock{label, label_length, text + body, line - body};
            return STATUS_OK;
        }
        return STATUS_PEM_NOT_FOUND;
    }
    return STATUS_PEM_NOT_FOUND;
}

bool pem_label_is(const PemBlock* block, const char* label) {
    uint32_t n = 0;
    return starts_with(block->label, block->label_length, label, &n) && n == block->label_length;
}

Status base64_decode(const uint8_t* in, uint32_t in_length, uint8_t* out, uint32_t capacity,
                     uint32_t* out_length) {
    uint32_t written = 0;
    uint32_t group = 0;  // bits gathered, 6 per character
    uint32_t count = 0;  // characters in the current group
    uint32_t padding = 0;
    for (uint32_t i = 0; i < in_length; ++i) {
        const uint8_t c = in[i];
        if (is_space(c)) {
            continue;
        }
        if (c == '=') {
            // "=" only as the third or fourth character of the last group.
            if (count + padding < 2) {
                return STATUS_BASE64_BAD;
            }
            ++padding;
            if (count + padding > 4) {
                return STATUS_BASE64_BAD;
            }
            continue;
        }
        const int v = sextet(c);
        if (v < 0 || padding != 0) {
            return STATUS_BASE64_BAD;
        }
        group = (group << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            if (capacity - written < 3) {
                return STATUS_BASE64_NO_ROOM;
            }
            out[written++] = static_cast<uint8_t>(group >> 16);
            out[written++] = static_cast<uint8_t>(group >> 8);
            out[written++] = static_cast<uint8_t>(group);
            group = 0;
            count = 0;
        }
    }
    if (count == 0 && padding == 0) {
        *out_length = written;
        return STATUS_OK;
    }
    // A final group of two characters and "==" gives one byte, three and "="
    // two; the bits below those bytes must be zero.
    if (count + padding != 4 || (count == 2 && (group & 0x0F) != 0) ||
        (count == 3 && (group & 0x03) != 0)) {
        return STATUS_BASE64_BAD;
    }
    const uint32_t bytes = count - 1;
    if (capacity - written < bytes) {
        return STATUS_BASE64_NO_ROOM;
    }
    if (count == 2) {
        out[written++] = static_cast<uint8_t>(group >> 4);
    } else {
        out[written++] = static_cast<uint8_t>(group >> 10);
        out[written++] = static_cast<uint8_t>(group >> 2);
    }
    *out_length = written;
    return STATUS_OK;
}
