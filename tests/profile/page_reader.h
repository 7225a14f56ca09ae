// Small readers for the profile's pages in tests: the HTML start and end tags
// with their attributes, named character references, and the template tags
// (#NAME#, %NAME(PARAMS)%) the window replaces before a page is shown.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace page {

struct Element {
    std::string tag;  // lower case; an end tag keeps its slash: "/form"
    // Attributes as written: name (letter case kept) and value (quotes removed,
    // references not decoded). A bare attribute has an empty value.
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // the text after the tag up to the next "<", as written

    // Value of the first attribute of that name, compared without regard to
    // letter case; nullptr when absent.
    const std::string* find(const std::string& name) const;
    std::string get(const std::string& name) const;
};

// The page's elements in document order. Comments and declarations are skipped.
std::vector<Element> read_elements(const std::string& text);

// Replaces the named character references an ISO-8859-1 page uses (&aacute;,
// &Ntilde;, &nbsp;, &amp; ...) by their single-byte characters. Throws
// std::invalid_argument on a reference it does not know.
std::string decode_references(const std::string& text);

struct TemplateTag {
    char delimiter;       // '#' or '%'
    std::string content;  // between the delimiters, blanks trimmed
    std::size_t offset;   // position of the opening delimiter
};

// Every template tag of a page as the window's expansion finds them: a tag
// starts and ends with the same delimiter on one line, holds only name
// characters (and a parenthesised parameter list), and a delimiter that does
// not open such a tag is plain text.
std::vector<TemplateTag> find_template_tags(const std::string& text);

}  // namespace page
