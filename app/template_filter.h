// THttpMemoFilter: the template expansion of the form pages. A template is
// text with tags that start and end with "#" or "%" (#DN_O#,
// #SELECTED_DN_C(MX)#); each value tag is replaced by what the OnHttpEntry
// handler puts for its name. The scan is deliberately narrow, so that the
// "#" of a colour (#E7E7E7) or the "%" of a width (33%) in ordinary HTML is
// left alone: a tag never spans lines, stops at a double quote outside
// parentheses, and is at most 64 characters long (1,024 when a "(" follows
// the start closely).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace app {

using platform::SplitLines;

class THttpMemoFilter {
  public:
    // Called for every value tag with the tag's name; during the call
    // GetEntryParams gives its parameters and Put appends the replacement.
    using EntryHandler = std::function<void(THttpMemoFilter& filter, const std::string& name)>;
    EntryHandler OnHttpEntry;

    // Replaces the template by `text`, split into lines (SplitLines).
    void SetText(const std::string& text) { lines_ = SplitLines(text); }
    const std::vector<std::string>& Lines() const { return lines_; }

    // The template's lines, each followed by carriage return and line feed,
    // expanded by PutString.
    std::string AsString();

    // Expands the tags of `text` and returns the result. The handler's output
    // is not searched for tags again.
    std::string PutString(const std::string& text);

    // Inside OnHttpEntry: the parameters of the tag being expanded, in order.
    const std::vector<std::string>& GetEntryParams() const { return params_; }

    // Inside OnHttpEntry: appends `text` to the expansion (nothing for empty).
    void Put(const std::string& text) { output_ += text; }

    // The scan primitives, exposed for tests. Positions are 0-based.
    //
    // Position of the next "#" or "%" at or after `from`, or npos.
    static size_t FindStartVariable(const std::string& text, size_t from);
    // Position of the character that ends the tag starting at `start`, or
    // npos when there is no usable tag there.
    static size_t FindEndVariable(const std::string& text, size_t start);
    // The name of the tag whose trimmed content is `content`.
    static std::string NameOfEntry(const std::string& content);
    // The parameters of the tag whose trimmed content is `content`.
    static std::vector<std::string> ParamsOfEntry(const std::string& content);
    // True for the tags of conditional sections (IF, ELSEIF, ELSE…, ENDIF).
    static bool IsConditionalTag(const std::string& content);

  private:
    std::vector<std::string> lines_;
    std::vector<std::string> params_;
    std::string output_;
};

}  // namespace app
