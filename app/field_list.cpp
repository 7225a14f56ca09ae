#include "app/field_list.h"

#include "app/text.h"
#include "platform/wipe.h"

namespace app {

NameValue SplitLine(const std::string& line) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return {line, {}};
    return {line.substr(0, eq), line.substr(eq + 1)};
}

FieldList& FieldList::operator=(const FieldList& other) {
    if (this != &other)
        Assign(other.lines_);
    return *this;
}

FieldList& FieldList::operator=(FieldList&& other) noexcept {
    if (this != &other) {
        platform::WipeLines(lines_);
        lines_ = std::move(other.lines_);
        other.lines_.clear();
    }
    return *this;
}

FieldList::~FieldList() {
    platform::WipeLines(lines_);
}

void FieldList::SetLine(size_t index, const std::string& line) {
    std::string& stored = lines_.at(index);
    platform::WipeText(stored);
    stored = line;
}

void FieldList::Clear() {
    platform::WipeLines(lines_);
}

void FieldList::Assign(const std::vector<std::string>& lines) {
    if (&lines == &lines_)
        return;
    platform::WipeLines(lines_);
    lines_ = lines;
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
        if (i >= 0) {
            platform::WipeText(lines_[static_cast<size_t>(i)]);
            lines_.erase(lines_.begin() + i);
        }
        return;
    }
    if (i >= 0)
        SetLine(static_cast<size_t>(i), name + "=" + value);
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
