#include "app/config_lookup.h"

#include <cstring>

#include "app/text.h"
#include "platform/latin1.h"

namespace app {

namespace {

// The encoding named by the XML declaration at the start of `bytes`, upper
// case, or empty when there is no declaration or it names none.
std::string DeclaredEncoding(const std::string& bytes) {
    if (bytes.compare(0, 5, "<?xml") != 0)
        return {};
    size_t end = bytes.find("?>");
    if (end == std::string::npos)
        return {};
    std::string decl = bytes.substr(0, end);
    size_t at = decl.find("encoding");
    if (at == std::string::npos)
        return {};
    size_t quote = decl.find_first_of("\"'", at);
    if (quote == std::string::npos)
        return {};
    size_t close = decl.find(decl[quote], quote + 1);
    if (close == std::string::npos)
        return {};
    return UpperCase(decl.substr(quote + 1, close - quote - 1));
}

}  // namespace

bool ConfigDocument::Parse(const std::string& bytes) {
    error_.clear();
    std::string encoding = DeclaredEncoding(bytes);
    pugi::xml_encoding enc =
        (encoding == "UTF-8" || encoding == "UTF8") ? pugi::encoding_utf8 : pugi::encoding_latin1;
    // Character data is kept as written: whitespace-only text nodes stay (the
    // first-child rule needs them) and line ends are not folded to "\n".
    unsigned options = (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol;
    pugi::xml_parse_result result = doc_.load_buffer(bytes.data(), bytes.size(), options, enc);
    if (!result) {
        error_ =
            std::string(result.description()) + " (byte " + std::to_string(result.offset) + ")";
        doc_.reset();
        return false;
    }
    if (Root().empty()) {
        error_ = "no root element";
        doc_.reset();
        return false;
    }
    return true;
}

// pugixml holds text as UTF-8 whatever the source encoding; the wizard works
// in ISO-8859-1.
std::string ConfigDocument::ToText(const char* utf8) const {
    return platform::Utf8ToLatin1(utf8 != nullptr ? utf8 : "");
}

pugi::xml_node ConfigDocument::FindElement(const std::string& name) const {
    std::string wanted = platform::Latin1ToUtf8(name);
    pugi::xml_node root = doc_.document_element();
    if (root.empty())
        return {};
    if (wanted == root.name())
        return root;
    return root.find_node([&wanted](pugi::xml_node node) {
        return node.type() == pugi::node_element && std::strcmp(node.name(), wanted.c_str()) == 0;
    });
}

std::string ConfigDocument::GetElementText(const std::string& name) const {
    pugi::xml_node element = FindElement(name);
    pugi::xml_node first = element.first_child();
    if (first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata)
        return {};
    return ToText(first.value());
}

std::string ConfigDocument::GetElementAttribute(const std::string& name,
                                                const std::string& attribute) const {
    pugi::xml_node element = FindElement(name);
    if (element.empty())
        return {};
    return ToText(element.attribute(platform::Latin1ToUtf8(attribute).c_str()).value());
}

bool ConfigDocument::IsMandatory(const std::string& name) const {
    return SameText(GetElementAttribute(name, "MANDATORY"), "TRUE");
}

std::string ConfigDocument::GetDisplayText(const std::string& name) const {
    return GetElementAttribute(name, "DISPLAY");
}

void ConfigDocument::LoadFieldDefaults(FieldList& data_fields, FieldList& key_fields) const {
    data_fields.Clear();
    for (pugi::xml_node child : Root().children()) {
        if (child.type() != pugi::node_element)
            continue;
        pugi::xml_attribute def = child.attribute("DEFAULT");
        if (!def.empty())
            data_fields.SetValue(ToText(child.name()), ToText(def.value()));
    }
    for (const char* name : {"SIZE_KEY", "KEY", "REQ"}) {
        pugi::xml_node element = FindElement(name);
        pugi::xml_attribute def = element.attribute("DEFAULT");
        if (!element.empty() && !def.empty())
            key_fields.SetValue(name, ToText(def.value()));
    }
}

}  // namespace app
