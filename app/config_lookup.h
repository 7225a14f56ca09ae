// The configuration document (config.xml) of a profile and the lookups the
// wizard makes in it. The document is ISO-8859-1; every text handed out is
// ISO-8859-1 too. Element and attribute names match exactly, case included.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "app/field_list.h"

namespace app {

class ConfigDocument {
  public:
    // Parses the document's bytes. The encoding is the one the XML
    // declaration names (ISO-8859-1 or UTF-8); without one, or with another,
    // the bytes are read as ISO-8859-1. Line breaks are kept as written.
    // False when the text is not well-formed XML or has no root element;
    // error() then says where.
    bool Parse(const std::string& bytes);

    void Free() { doc_.reset(); }
    bool loaded() const { return !Root().empty(); }
    const std::string& error() const { return error_; }

    // The root element (FIELDS in a profile); empty before a successful parse.
    pugi::xml_node Root() const { return doc_.document_element(); }

    // First element, in document order anywhere in the document, whose tag
    // name equals `name` exactly; an empty node when there is none.
    pugi::xml_node FindElement(const std::string& name) const;

    // The character data of the element's first child node, unaltered
    // (leading and trailing line breaks and blanks included); empty when the
    // element is absent or its first child is not text.
    std::string GetElementText(const std::string& name) const;

    // The attribute's value; empty when the element or attribute is absent.
    std::string GetElementAttribute(const std::string& name, const std::string& attribute) const;

    // True when the element exists and its MANDATORY value is "TRUE" in any
    // letter case.
    bool IsMandatory(const std::string& name) const;

    // The element's DISPLAY value, or empty.
    std::string GetDisplayText(const std::string& name) const;

    // Fills the two lists with the profile's defaults: `data_fields` is
    // cleared and gets the DEFAULT of every direct child element of the root,
    // in document order (by the FieldList rules an empty default stores
    // nothing and a later one replaces an earlier one); `key_fields` gets the
    // DEFAULT of SIZE_KEY, KEY and REQ when those elements carry one.
    void LoadFieldDefaults(FieldList& data_fields, FieldList& key_fields) const;

  private:
    std::string ToText(const char* utf8) const;

    pugi::xml_document doc_;
    std::string error_;
};

}  // namespace app
