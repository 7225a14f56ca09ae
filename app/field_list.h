// FieldList: the name=value lines of a page form, in the order the form
// submits them, looked up by name without regard to letter case.
#pragma once

#include <string>
#include <vector>

namespace app {

// The key page's list carries the access password: every line is wiped
// before its storage is released or reused (replaced, removed, cleared, or
// the list destroyed).
class FieldList {
  public:
    FieldList() = default;
    explicit FieldList(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    FieldList(const FieldList&) = default;
    FieldList(FieldList&&) = default;
    FieldList& operator=(const FieldList& other);
    FieldList& operator=(FieldList&& other) noexcept;
    ~FieldList();

    // The value of the first line whose name (the text before its first "=")
    // equals `name` without regard to letter case; empty when there is none.
    // A line without "=" has no name and is never found.
    std::string Value(const std::string& name) const;

    // A non-empty value replaces the first line of that name by name=value,
    // or appends such a line; an empty value removes the first line of that
    // name, if any. So setting never stores an empty value.
    void SetValue(const std::string& name, const std::string& value);

    // Index of the first line with that name, or -1.
    int IndexOfName(const std::string& name) const;

    size_t Count() const { return lines_.size(); }
    const std::string& Line(size_t index) const { return lines_.at(index); }
    void SetLine(size_t index, const std::string& line);
    void Add(const std::string& line) { lines_.push_back(line); }
    void Clear();

    // Replaces every line by the lines of `lines`, in order.
    void Assign(const std::vector<std::string>& lines);
    const std::vector<std::string>& Lines() const { return lines_; }

    // Every line followed by carriage return and line feed.
    std::string Text() const;

  private:
    std::vector<std::string> lines_;
};

// The name and value of a line split at its first "="; a line without "="
// is all name and an empty value.
struct NameValue {
    std::string name;
    std::string value;
};
NameValue SplitLine(const std::string& line);

}  // namespace app
