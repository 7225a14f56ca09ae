// The four shipped pages: their forms and controls with the attributes the
// wizard relies on (names, kinds, sizes, onClick codes, value tags), the frame
// every page shares, the images they show, the template tags of the two form
// pages and the country list of the data page.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/profile/gif_reader.h"
#include "tests/profile/page_reader.h"
#include "tests/profile/profile_files.h"

namespace {

using page::Element;

struct ExpectedControl {
    std::string name;
    std::string kind;  // the input's type, or "select"
    // Space-separated name=value pairs the control must carry; "!name" means
    // the attribute must be absent.
    std::string attributes;
};

struct ExpectedPage {
    std::string file;
    std::string form;  // the form's name; empty when the page has no form
    std::string action;
    std::vector<ExpectedControl> controls;  // in document order
};

ExpectedControl text(const std::string& name, int size, int maxlength) {
    std::ostringstream attributes;
    attributes << "size=" << size << " maxlength=" << maxlength << " value=#" << name << "#";
    return {name, "text", attributes.str()};
}

ExpectedControl image(const std::string& name, const std::string& picture, int code) {
    return {name, "image",
            "src=Images/" + picture + " width=62 height=15 onClick=" + std::to_string(code)};
}

const std::vector<ExpectedPage>& expected_pages() {
    static const std::vector<ExpectedPage> pages = {
        {"index.htm",
         "DATOS",
         "VALIDA_1",
         {
             text("DN_O", 50, 60),
             text("DN_OU", 20, 20),
             text("DN_CN_1", 24, 30),
             text("DN_CN_2", 24, 30),
             text("DN_CN_3", 24, 30),
             text("DN_UID_1", 6, 4),
             text("DN_UID_2", 8, 6),
             text("DN_UID_3", 5, 3),
             text("DN_STREET_1", 62, 60),
             text("DN_STREET_2", 5, 5),
             text("DN_STREET_3", 5, 5),
             text("DN_STREET_4", 24, 30),
             text("DN_L", 24, 30),
             text("DN_S", 24, 30),
             {"DN_C", "select", "size=1 !multiple"},
             text("DN_POSTALCODE", 8, 5),
             text("DN_PHONE", 30, 60),
             text("DN_FAX", 30, 46),
             text("DN_E", 30, 60),
             {"TIPO", "hidden", "value=30"},
             {"SISTEMA", "hidden", "value=001"},
             {"DN_T", "hidden", "value=#DN_T#"},
             image("Image2", "botoncontinuar.gif", 2),
             image("Image3", "botoncerrar.gif", 4),
         }},
        {"Page2.htm",
         "Generacion_de_Llaves",
         "VALIDA_2",
         {
             {"PWD", "password", "size=40 maxlength=13 value=%PWD%"},
             {"PWD2", "password", "size=40 maxlength=13 value=%PWD2%"},
             {"KEY", "text", "size=40 !maxlength value=%KEY%"},
             {"BTN_KEY", "button", "value=Seleccionar onClick=BTN_KEY"},
             {"REQ", "text", "size=40 !maxlength value=%REQ%"},
             {"BTN_REQ", "button", "value=Seleccionar onClick=BTN_REQ"},
             {"SIZE_KEY", "hidden", "value=2048 %SELECTED_SIZE_KEY(2048)%="},
             image("Image", "botonregresar.gif", 1),
             image("Image2", "botoncontinuar.gif", 3),
             image("Image3", "botoncerrar.gif", 4),
         }},
        {"Page3.htm", "", "", {}},
        {"Page4.htm", "", "", {image("Image2", "botoncerrar.gif", 4)}},
    };
    return pages;
}

bool is_control(const Element& e) {
    return e.tag == "input" || e.tag == "select" || e.tag == "textarea" || e.tag == "button";
}

std::string kind_of(const Element& e) {
    return e.tag == "input" ? e.get("type") : e.tag;
}

std::vector<Element> elements_of(const std::string& file) {
    return page::read_elements(profile::read(file));
}

TEST(ShippedPages, FormsAndControlsAreThoseTheWizardExpects) {
    for (const ExpectedPage& expected : expected_pages()) {
        SCOPED_TRACE(expected.file);
        const std::vector<Element> elements = elements_of(expected.file);

        std::vector<const Element*> forms;
        std::vector<const Element*> controls;
        int depth = 0;  // inside a form element
        for (const Element& e : elements) {
            if (e.tag == "form") {
                forms.push_back(&e);
                ++depth;
            } else if (e.tag == "/form") {
                --depth;
            } else if (is_control(e)) {
                controls.push_back(&e);
                // A page with a form keeps every control inside it, so that the
                // submission carries all of them with the form's action.
                EXPECT_EQ(depth, expected.form.empty() ? 0 : 1) << e.get("name");
            }
        }
        EXPECT_EQ(depth, 0);
        if (expected.form.empty()) {
            EXPECT_TRUE(forms.empty());
        } else {
            ASSERT_EQ(forms.size(), 1u);
            EXPECT_EQ(forms[0]->get("name"), expected.form);
            EXPECT_EQ(forms[0]->get("action"), expected.action);
            EXPECT_EQ(forms[0]->get("method"), "POST");
            EXPECT_EQ(forms[0]->get("enctype"), "x-www-form-encoded");
        }

        std::vector<std::string> names;
        std::vector<std::string> expected_names;
        for (const Element* c : controls) {
            names.push_back(c->get("name"));
        }
        for (const ExpectedControl& c : expected.controls) {
            expected_names.push_back(c.name);
        }
        ASSERT_EQ(names, expected_names);

        for (size_t i = 0; i < controls.size(); ++i) {
            const ExpectedControl& want = expected.controls[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(kind_of(*controls[i]), want.kind);
            std::istringstream pairs(want.attributes);
            for (std::string pair; pairs >> pair;) {
                if (pair[0] == '!') {
                    EXPECT_EQ(controls[i]->find(pair.substr(1)), nullptr) << pair;
                    continue;
                }
                // Split at the last "=": a bare attribute is written "name=".
                const size_t equals = pair.rfind('=');
                const std::string name = pair.substr(0, equals);
                const std::string* value = controls[i]->find(name);
                ASSERT_NE(value, nullptr) << "missing attribute " << name;
                EXPECT_EQ(*value, pair.substr(equals + 1)) << name;
            }
        }
    }
}

TEST(ShippedPages, ShareTheFrameAndShowExistingImagesAtTheirSize) {
    for (const ExpectedPage& expected : expected_pages()) {
        SCOPED_TRACE(expected.file);
        const std::vector<Element> elements = elements_of(expected.file);

        // The 620-pixel centred table, the logo on the grey header first.
        const auto table = std::find_if(elements.begin(), elements.end(),
                                        [](const Element& e) { return e.tag == "table"; });
        ASSERT_NE(table, elements.end());
        EXPECT_EQ(table->get("width"), "620");
        EXPECT_EQ(table->get("align"), "center");
        const auto logo = std::find_if(elements.begin(), elements.end(),
                                       [](const Element& e) { return e.tag == "img"; });
        ASSERT_NE(logo, elements.end());
        EXPECT_EQ(logo->get("src"), "Images/logotarsel.gif");
        EXPECT_EQ((logo - 1)->tag, "td");
        EXPECT_EQ((logo - 1)->get("bgcolor"), "#E7E7E7");

        // At least one blue title bar with white text.
        bool title_bar = false;
        for (size_t i = 0; i + 1 < elements.size(); ++i) {
            title_bar = title_bar ||
                        (elements[i].get("bgcolor") == "#336699" && elements[i + 1].tag == "font" &&
                         elements[i + 1].get("color") == "#FFFFFF");
        }
        EXPECT_TRUE(title_bar);

        const bool declares_latin1 = std::any_of(elements.begin(), elements.end(), [](auto& e) {
            return e.tag == "meta" && e.get("content") == "text/html; charset=iso-8859-1";
        });
        EXPECT_TRUE(declares_latin1);

        // Every picture is one of the profile's GIF files, shown at its own
        // size; only the spacer is stretched.
        for (const Element& e : elements) {
            if (e.tag != "img" && !(e.tag == "input" && e.get("type") == "image")) {
                continue;
            }
            const std::string src = e.get("src");
            SCOPED_TRACE(src);
            ASSERT_EQ(src.rfind("Images/", 0), 0u);
            gif::Info info;
            try {
                info = gif::read(profile::read(src));
            } catch (const std::exception& defect) {
                FAIL() << defect.what();
            }
            if (src != "Images/pixel.gif") {
                EXPECT_EQ(e.get("width"), std::to_string(info.width));
                EXPECT_EQ(e.get("height"), std::to_string(info.height));
            }
        }
    }
    const std::vector<Element> waiting = elements_of("Page3.htm");
    EXPECT_TRUE(std::any_of(waiting.begin(), waiting.end(), [](const Element& e) {
        return e.tag == "img" && e.get("src") == "Images/trabajando.gif";
    }));
}

// The tags the window expands are exactly the value tags of the controls and
// one selection tag per country, in document order; no other "#" or "%" of
// the pages forms a tag that would swallow page text. The waiting and final
// pages are shown as written, so they carry none.
TEST(ShippedPages, TemplateTagsAreExactlyTheFieldTags) {
    for (const ExpectedPage& expected : expected_pages()) {
        SCOPED_TRACE(expected.file);
        const std::string text = profile::read(expected.file);
        std::vector<std::string> wanted;
        for (const Element& e : page::read_elements(text)) {
            if (e.tag == "option") {
                wanted.push_back("#SELECTED_DN_C(" + e.get("value") + ")");
            } else if (e.get("name") == "SIZE_KEY") {
                wanted.push_back("%SELECTED_SIZE_KEY(2048)");
            } else if (is_control(e)) {
                const std::string value = e.get("value");
                if (!value.empty() && (value[0] == '#' || value[0] == '%')) {
                    wanted.push_back(value.substr(0, value.size() - 1));
                }
            }
        }
        std::vector<std::string> found;
        for (const page::TemplateTag& tag : page::find_template_tags(text)) {
            found.push_back(tag.delimiter + tag.content);
        }
        EXPECT_EQ(found, wanted);
    }
    EXPECT_EQ(page::find_template_tags(profile::read("index.htm")).size(), 19u + 198u);
    EXPECT_EQ(page::find_template_tags(profile::read("Page2.htm")).size(), 5u);
}

// Spanish alphabetical order: accents do not count, Ñ follows N.
std::string collation_key(const std::string& latin1) {
    std::string key;
    for (unsigned char c : latin1) {
        switch (c) {
            case 0xC1:
                key += 'A';
                break;
            case 0xC9:
                key += 'E';
                break;
            case 0xCD:
                key += 'I';
                break;
            case 0xD3:
                key += 'O';
                break;
            case 0xDA:
            case 0xDC:
                key += 'U';
                break;
            case 0xD1:
                key += "N\x7f";
                break;
            default:
                key += static_cast<char>(c);
        }
    }
    return key;
}

TEST(ShippedPages, CountryListHas198CountriesInSpanishOrder) {
    const std::vector<Element> elements = elements_of("index.htm");
    std::vector<std::string> codes;
    std::vector<std::string> labels;
    std::string selected_when_mx;
    for (const Element& e : elements) {
        if (e.tag != "option") {
            continue;
        }
        const std::string code = e.get("value");
        codes.push_back(code);
        labels.push_back(page::decode_references(e.text));
        // The selection tag names the option's own code.
        EXPECT_NE(e.find("#SELECTED_DN_C(" + code + ")#"), nullptr) << code;
        if (code == "MX") {
            selected_when_mx = labels.back();
        }
    }
    ASSERT_EQ(codes.size(), 198u);
    EXPECT_EQ(std::set<std::string>(codes.begin(), codes.end()).size(), 198u)
        << "repeated country code";
    EXPECT_EQ(selected_when_mx, "M\xC9XICO");
    for (size_t i = 0; i < codes.size(); ++i) {
        SCOPED_TRACE(codes[i] + " " + labels[i]);
        EXPECT_TRUE(codes[i].size() == 2 && std::isupper(static_cast<unsigned char>(codes[i][0])) &&
                    std::isupper(static_cast<unsigned char>(codes[i][1])));
        ASSERT_FALSE(labels[i].empty());
        for (unsigned char c : labels[i]) {
            // Capitals: no ASCII or ISO-8859-1 small letters.
            EXPECT_FALSE((c >= 'a' && c <= 'z') || c >= 0xDF) << "small letter in the label";
        }
        if (i > 0) {
            EXPECT_LT(collation_key(labels[i - 1]), collation_key(labels[i])) << "out of order";
        }
    }
}

}  // namespace
