#include "app/field_list.h"

#include "app/text.h"

namespace app {

NameValue SplitLine(const std::string& line) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return {line, {}};
    return {line.substr(0, eq), line.substr(eq + 1)};
}

int FieldList::IndexOfName(const std::string& name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        size_t eq = lines_[i].find('=');
        if (eq != std::string::npos && SameText(lines_[i].substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string FieldList::Value(const std::string& name) const {
    int i = IndexOfName(name);
    if (i < 0)
        return {};
    return lines_[static_cast<size_t>(i)].substr(lines_[static_cast<size_t>(i)].find('=') + 1);
}

void FieldList::SetValue(const std::string& name, const std::string& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0)
            lines_.erase(lines_.begin() + i);
        return;
    }
    if (i >= 0)
        lines_[static_cast<size_t>(i)] = name + "=" + value;
    else
        lines_.push_back(name + "=" + value);
}

std::string FieldList::Text() const {
    std::string out;
    for (const std::string& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

}  // namespace app
