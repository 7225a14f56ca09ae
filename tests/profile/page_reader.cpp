#include "tests/profile/page_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <stdexcept>

namespace page {
namespace {

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') {
        --end;
    }
    return s.substr(begin, end - begin);
}

// Position of the closing delimiter of a template tag opened at `start`, or
// npos when the text there is not a tag.
size_t tag_end(const std::string& text, size_t start) {
    const char delimiter = text[start];
    const bool has_params = text.substr(start + 1, 63).find('(') != std::string::npos;
    const size_t last = std::min(start + 1 + (has_params ? 1024 : 64), text.size() - 1);
    int quotes = 0;
    int opened = 0;
    int closed = 0;
    size_t end = std::string::npos;
    for (size_t i = start + 1; i <= last && end == std::string::npos; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool in_quotes = quotes % 2 == 1;
        if (c < 32) {
            return std::string::npos;
        }
        if (std::isalnum(c) || c >= 127 || std::strchr("$:;=?@[\\]^_`{|}~", c) != nullptr) {
            continue;
        }
        switch (c) {
            case '"':
                if (opened == 0) {
                    return std::string::npos;
                }
                ++quotes;
                break;
            case ',':
            case '.':
                if (!in_quotes && opened == 0) {
                    return std::string::npos;
                }
                break;
            case '(':
                opened += in_quotes ? 0 : 1;
                break;
            case ')':
                if (in_quotes) {
                    break;
                }
                if (opened == 0) {
                    return std::string::npos;
                }
                ++closed;
                break;
            case ' ': {
                if (in_quotes || opened != 0) {
                    break;
                }
                // Only the condition of an IF or ELSEIF tag may hold blanks.
                const std::string head = upper(text.substr(start + 1, i - start));
                bool conditional = false;
                for (const char* word : {"IF ", "IF(", "ELSEIF ", "ELSEIF("}) {
                    conditional = conditional || head.rfind(word, 0) == 0;
                }
                if (!conditional) {
                    return std::string::npos;
                }
                break;
            }
            case '<':
            case '>':
                if (opened == 0) {
                    return std::string::npos;
                }
                break;
            default:  // ! # % & ' * + - /
                if (in_quotes) {
                    break;
                }
                if (c != static_cast<unsigned char>(delimiter)) {
                    return std::string::npos;
                }
                end = i;
                break;
        }
    }
    if (end == std::string::npos || end < start + 2 || opened != closed) {
        return std::string::npos;
    }
    return end;
}

}  // namespace

const std::string* Element::find(const std::string& name) const {
    const std::string wanted = lower(name);
    for (const auto& [key, value] : attributes) {
        if (lower(key) == wanted) {
            return &value;
        }
    }
    return nullptr;
}

std::string Element::get(const std::string& name) const {
    const std::string* value = find(name);
    return value != nullptr ? *value : std::string();
}

std::vector<Element> read_elements(const std::string& text) {
    std::vector<Element> elements;
    size_t i = text.find('<');
    while (i != std::string::npos) {
        if (text.compare(i, 4, "<!--") == 0) {
            const size_t close = text.find("-->", i);
            i = close == std::string::npos ? close : text.find('<', close + 3);
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '!') {
            const size_t close = text.find('>', i);
            i = close == std::string::npos ? close : text.find('<', close);
            continue;
        }
        Element element;
        size_t j = i + 1;
        while (j < text.size() && !is_space(text[j]) && text[j] != '>') {
            ++j;
        }
        element.tag = lower(text.substr(i + 1, j - i - 1));
        while (j < text.size() && text[j] != '>') {
            if (is_space(text[j]) || text[j] == '/') {
                ++j;
                continue;
            }
            size_t name_end = j;
            while (name_end < text.size() && !is_space(text[name_end]) && text[name_end] != '=' &&
                   text[name_end] != '>') {
                ++name_end;
            }
            std::string name = text.substr(j, name_end - j);
            std::string value;
            j = name_end;
            if (j < text.size() && text[j] == '=') {
                ++j;
                if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
                    const size_t close = text.find(text[j], j + 1);
                    if (close == std::string::npos) {
                        throw std::invalid_argument("unterminated attribute value " + name);
                    }
                    value = text.substr(j + 1, close - j - 1);
                    j = close + 1;
                } else {
                    const size_t start = j;
                    while (j < text.size() && !is_space(text[j]) && text[j] != '>') {
                        ++j;
                    }
                    value = text.substr(start, j - start);
                }
            }
            element.attributes.emplace_back(std::move(name), std::move(value));
        }
        const size_t next = j < text.size() ? text.find('<', j) : std::string::npos;
        if (j < text.size()) {
            element.text =
                text.substr(j + 1, (next == std::string::npos ? text.size() : next) - j - 1);
        }
        elements.push_back(std::move(element));
        i = next;
    }
    return elements;
}

std::string decode_references(const std::string& text) {
    static const std::map<std::string, unsigned char> named = {
        {"nbsp", 0xA0},   {"iquest", 0xBF}, {"Aacute", 0xC1}, {"Eacute", 0xC9}, {"Iacute", 0xCD},
        {"Ntilde", 0xD1}, {"Oacute", 0xD3}, {"Uacute", 0xDA}, {"Uuml", 0xDC},   {"aacute", 0xE1},
        {"eacute", 0xE9}, {"iacute", 0xED}, {"ntilde", 0xF1}, {"oacute", 0xF3}, {"uacute", 0xFA},
        {"uuml", 0xFC},   {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semicolon = text.find(';', i);
        const std::string name =
            semicolon == std::string::npos ? text.substr(i) : text.substr(i + 1, semicolon - i - 1);
        const auto found = named.find(name);
        if (found == named.end()) {
            throw std::invalid_argument("unknown character reference &" + name);
        }
        out += static_cast<char>(found->second);
        i = semicolon;
    }
    return out;
}

std::vector<TemplateTag> find_template_tags(const std::string& text) {
    std::vector<TemplateTag> tags;
    size_t p = text.find_first_of("#%");
    while (p != std::string::npos) {
        const size_t end = tag_end(text, p);
        if (end == std::string::npos) {
            p = text.find_first_of("#%", p + 1);
            continue;
        }
        tags.push_back({text[p], trim(text.substr(p + 1, end - p - 1)), p});
        p = text.find_first_of("#%", end + 1);
    }
    return tags;
}

}  // namespace page
