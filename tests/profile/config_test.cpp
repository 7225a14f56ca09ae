// The shipped config.xml, read the way the wizard reads it: parsed under its
// declared ISO-8859-1 encoding with line ends kept as written, every direct
// child of FIELDS checked in order with its attributes and its text.
//
// This file is UTF-8: pugixml hands ISO-8859-1 input back as UTF-8, so the
// expected accented texts below are written as plain UTF-8 literals.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>
#include <utility>
#include <vector>

#include "tests/profile/profile_files.h"

namespace {

struct ExpectedElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in order
    std::string text;  // character data of the first child; empty when none
};

// Field elements: DISPLAY, MANDATORY, then CASE, CONCATSTR, DEFAULT when present.
ExpectedElement field(std::string name, std::string display, std::string mandatory,
                      std::vector<std::pair<std::string, std::string>> more = {}) {
    ExpectedElement e{std::move(name), {{"DISPLAY", display}, {"MANDATORY", mandatory}}, ""};
    e.attributes.insert(e.attributes.end(), more.begin(), more.end());
    return e;
}

ExpectedElement message(std::string name, std::vector<std::string> lines) {
    std::string text = "\r\n";
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return {std::move(name), {}, text};
}

const std::vector<ExpectedElement>& expected_children() {
    static const std::vector<std::string> invalid_chars = {
        "El nombre del archivo no puede contener acentos, ",
        " ñ o caracteres especiales.",
        "Por favor modifícalo.",
    };
    static const std::vector<ExpectedElement> table = {
        field("DN_O", "Proporciona el campo Razón SOcial", "TRUE"),
        field("DN_OU", "Proporciona el campo Area", "FALSE", {{"DEFAULT", ""}}),
        field("DN_CN_1", "Proporciona el campo Nombre", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", " "}}),
        field("DN_CN_2", "Proporciona el campo Primer Apellido", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", " "}}),
        field("DN_CN_3", "Proporciona el campo Segundo Apellido", "FALSE",
              {{"CASE", "UPPER"}, {"CONCATSTR", ""}}),
        field("DN_T", "Proporciona el campo CURP", "FALSE", {{"CASE", "UPPER"}, {"DEFAULT", ""}}),
        field("DN_STREET_1", "Proporciona el campo Calle", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", " "}}),
        field("DN_STREET_2", "Proporciona el campo Número exterior", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", " "}}),
        field("DN_STREET_3", "Proporciona el campo Número interior", "FALSE",
              {{"CASE", "UPPER"}, {"CONCATSTR", ". "}}),
        field("DN_STREET_4", "Proporciona el campo Colonia", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", ""}}),
        field("DN_POSTALCODE", "Proporciona el campo Código Postal", "TRUE", {{"CASE", "UPPER"}}),
        field("DN_C", "Proporciona el campo País", "TRUE", {{"DEFAULT", "MX"}}),
        field("DN_S", "Proporciona el campo Entidad Federativa", "TRUE", {{"CASE", "UPPER"}}),
        field("DN_L", "Proporciona el campo Delegación o Municipio", "TRUE", {{"CASE", "UPPER"}}),
        field("DN_UID_1", "Proporciona el campo RFC", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", ""}}),
        field("DN_UID_2", "Proporciona el campo RFC", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", ""}}),
        field("DN_UID_3", "Proporciona el campo RFC", "TRUE",
              {{"CASE", "UPPER"}, {"CONCATSTR", ""}}),
        field("DN_SN", "ID NOVADIR", "FALSE", {{"CASE", "UPPER"}}),
        field("DN_E", "Proporciona el campo Correo Electrónico", "FALSE", {{"CASE", "LOWER"}}),
        field("DN_PHONE", "Proporciona el campo Teléfono", "TRUE", {{"CASE", "UPPER"}}),
        field("DN_FAX", "Proporciona el campo Fax", "FALSE", {{"CASE", "UPPER"}}),
        field("EA_CHALLENGE", "Clave de Anulación", "FALSE", {{"DEFAULT", "CAMPANAS1987"}}),
        {"SIZE_KEY", {{"DEFAULT", "2048"}}, ""},
        {"TXT_FILE", {{"STR", "VERSION1.1"}}, ""},
        {"WINDOW", {{"WIDTH", "648"}, {"HEIGHT", "515"}}, ""},
        message("MSG_MOUSE",
                {"Para generar tus llaves mueve el ratón de manera aleatoria y continua.",
                 "Aparecerá una barra que te indicará el avance del proceso."}),
        message("VALID_CHARS",
                {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "0123456789", ".:\\"}),
        message("MSG_INVALID_CHARS_REQ", invalid_chars),
        message("MSG_INVALID_CHARS_KEY", invalid_chars),
        message("MSG_MISSING_PRIVKEY", {"Indica el archivo para guardar la llave privada"}),
        message("MSG_MISSING_REQFILE", {"Indica el archivo para guardar el requerimiento"}),
    };
    return table;
}

// Parsed as the wizard parses it: the declared encoding decides, and carriage
// returns stay in the texts (pugixml would fold CR LF to LF by default).
class ShippedConfig : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes_ = profile::read("config.xml");
        const unsigned options = (pugi::parse_default | pugi::parse_declaration) & ~pugi::parse_eol;
        const pugi::xml_parse_result result =
            doc_.load_buffer(bytes_.data(), bytes_.size(), options, pugi::encoding_auto);
        ASSERT_TRUE(result) << result.description() << " at byte " << result.offset;
        ASSERT_EQ(result.encoding, pugi::encoding_latin1);
    }

    std::string bytes_;
    pugi::xml_document doc_;
};

TEST_F(ShippedConfig, StartsWithTheLatin1Declaration) {
    EXPECT_EQ(bytes_.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n", 0), 0u);
    const pugi::xml_node declaration = doc_.first_child();
    ASSERT_EQ(declaration.type(), pugi::node_declaration);
    EXPECT_STREQ(declaration.attribute("version").value(), "1.0");
    EXPECT_STREQ(declaration.attribute("encoding").value(), "ISO-8859-1");
}

TEST_F(ShippedConfig, EveryLineEndsWithCarriageReturnAndLineFeed) {
    ASSERT_FALSE(bytes_.empty());
    EXPECT_EQ(bytes_.substr(bytes_.size() - 2), "\r\n");
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (bytes_[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes_[i - 1] == '\r') << "bare line feed at byte " << i;
        } else if (bytes_[i] == '\r') {
            ASSERT_TRUE(i + 1 < bytes_.size() && bytes_[i + 1] == '\n')
                << "bare carriage return at byte " << i;
        }
    }
}

TEST_F(ShippedConfig, FieldsHoldsTheProfileInOrder) {
    const pugi::xml_node root = doc_.document_element();
    ASSERT_STREQ(root.name(), "FIELDS");

    std::vector<pugi::xml_node> children;
    for (pugi::xml_node child : root.children()) {
        if (child.type() == pugi::node_element) {
            children.push_back(child);
        }
    }
    std::vector<std::string> names;
    for (pugi::xml_node child : children) {
        names.push_back(child.name());
    }
    std::vector<std::string> expected_names;
    for (const auto& e : expected_children()) {
        expected_names.push_back(e.name);
    }
    ASSERT_EQ(names, expected_names);

    for (size_t i = 0; i < children.size(); ++i) {
        const ExpectedElement& expected = expected_children()[i];
        SCOPED_TRACE(expected.name);
        std::vector<std::pair<std::string, std::string>> attributes;
        for (pugi::xml_attribute a : children[i].attributes()) {
            attributes.emplace_back(a.name(), a.value());
        }
        EXPECT_EQ(attributes, expected.attributes);
        // The wizard takes an element's text from its first child node.
        EXPECT_EQ(std::string(children[i].first_child().value()), expected.text);
        // Nothing is nested: every lookup by name finds these very elements,
        // and only direct children of FIELDS carry defaults.
        EXPECT_FALSE(children[i].find_child([](pugi::xml_node n) {
            return n.type() == pugi::node_element;
        })) << "nested element";
    }
}

}  // namespace
