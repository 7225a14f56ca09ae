#include "app/template_filter.h"

#include <cstdint>

#include "app/text.h"

namespace app {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool OpensConditional(const std::string& upper) {
    return StartsWith(upper, "IF ") || StartsWith(upper, "IF(") || StartsWith(upper, "ELSEIF ") ||
           StartsWith(upper, "ELSEIF(");
}

bool IsBlank(char c) {
    return c == ' ';
}

std::string TrimBlanks(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

}  // namespace

std::string THttpMemoFilter::AsString() {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return PutString(text);
}

size_t THttpMemoFilter::FindStartVariable(const std::string& text, size_t from) {
    return text.find_first_of("#%", from);
}

// The characters of a tag, one by one, from just after the start character d.
// What may stand in a tag depends on whether the scan is inside parentheses
// and inside double quotes there; see the cases below.
size_t THttpMemoFilter::FindEndVariable(const std::string& text, size_t start) {
    const char d = text[start];
    const size_t limit = text.substr(start + 1, 63).find('(') != std::string::npos ? 1024 : 64;
    const size_t last = std::min(start + 1 + limit, text.size() - 1);
    int quotes = 0, opened = 0, closed = 0;
    size_t end = std::string::npos;
    for (size_t i = start + 1; i <= last && i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        const bool in_quotes = quotes % 2 == 1;
        if (c < 32)
            return std::string::npos;  // a tag never spans lines
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 127)
            continue;
        switch (c) {
            case '$':
            case ':':
            case ';':
            case '=':
            case '?':
            case '@':
            case '[':
            case ']':
            case '\\':
            case '^':
            case '_':
            case '`':
            case '{':
            case '|':
            case '}':
            case '~':
                continue;
            case '"':
                if (opened == 0)
                    return std::string::npos;
                ++quotes;
                continue;
            case ',':
            case '.':
                if (!in_quotes && opened == 0)
                    return std::string::npos;
                continue;
            case '(':
                if (!in_quotes)
                    ++opened;
                continue;
            case ')':
                if (in_quotes)
                    continue;
                if (opened == 0)
                    return std::string::npos;
                ++closed;
                continue;
            case ' ':
                if (in_quotes || opened != 0)
                    continue;
                if (OpensConditional(UpperCase(text.substr(start + 1, i - start))))
                    continue;
                return std::string::npos;
            case '<':
            case '>':
                if (opened == 0)
                    return std::string::npos;
                continue;
            default:  // ! # % & ' * + - /
                if (in_quotes)
                    continue;
                if (c == static_cast<uint8_t>(d))
                    end = i;
                break;
        }
        break;
    }
    if (end == std::string::npos || end < start + 2 || opened != closed)
        return std::string::npos;
    return end;
}

std::string THttpMemoFilter::NameOfEntry(const std::string& content) {
    size_t paren = content.find('(');
    if (paren == std::string::npos)
        return content;
    return TrimBlanks(content.substr(0, paren));
}

// Parameters are separated by commas outside double quotes. A parameter in
// double quotes loses them, and a doubled quote inside stands for one.
std::vector<std::string> THttpMemoFilter::ParamsOfEntry(const std::string& content) {
    std::vector<std::string> params;
    size_t open = content.find('(');
    if (open == std::string::npos || content.empty() || content.back() != ')')
        return params;
    if (open + 1 >= content.size() - 1)
        return params;
    const std::string text = content.substr(open + 1, content.size() - 1 - (open + 1));
    int quotes = 0;
    size_t cut = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            ++quotes;
        if (text[i] == ',' && quotes % 2 == 0) {
            params.push_back(TrimBlanks(text.substr(cut, i - cut)));
            cut = i + 1;
        } else if (i == text.size() - 1) {
            params.push_back(TrimBlanks(text.substr(cut)));
        }
    }
    // Only a quoted parameter is unquoted: it loses its outer quotes and
    // every run of quotes inside it shrinks to one. An unquoted parameter is
    // taken as written, quotes and all.
    for (std::string& p : params) {
        if (p.empty() || p.front() != '"')
            continue;
        p = p.size() >= 2 ? p.substr(1, p.size() - 2) : std::string();
        std::string squeezed;
        for (char c : p) {
            if (c == '"' && !squeezed.empty() && squeezed.back() == '"')
                continue;
            squeezed += c;
        }
        p = squeezed;
    }
    return params;
}

bool THttpMemoFilter::IsConditionalTag(const std::string& content) {
    const std::string upper = UpperCase(content);
    return OpensConditional(upper) || StartsWith(upper, "ELSE") || upper == "ENDIF";
}

std::string THttpMemoFilter::PutString(const std::string& text) {
    output_.clear();
    size_t p = 0;
    for (;;) {
        size_t s = FindStartVariable(text, p);
        if (s == std::string::npos) {
            output_.append(text, p, std::string::npos);
            break;
        }
        output_.append(text, p, s - p);
        size_t e = FindEndVariable(text, s);
        if (e == std::string::npos) {
            output_ += text[s];
            p = s + 1;
            continue;
        }
        const std::string content = Trim(text.substr(s + 1, e - s - 1));
        // Conditional sections produce nothing of their own and leave the text
        // around them visible.
        if (!IsConditionalTag(content)) {
            params_ = ParamsOfEntry(content);
            if (OnHttpEntry)
                OnHttpEntry(*this, NameOfEntry(content));
            params_.clear();
        }
        p = e + 1;
    }
    std::string result;
    result.swap(output_);
    return result;
}

}  // namespace app
