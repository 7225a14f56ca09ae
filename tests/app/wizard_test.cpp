// The wizard driven through a scripted viewer: pages served from the archive,
// clicks, submissions, validation of both pages and the moves between them.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "app/Unit_main.h"
#include "app/messages.h"
#include "tests/app/fixture.h"

namespace {

namespace fs = std::filesystem;
using platform::MessageIcon;
using testing_support::TempDir;

const std::vector<std::string> kDataControls = {
    "DN_O", "DN_OU", "DN_CN_1", "DN_POSTALCODE", "DN_FAX", "DN_C", "DN_T", "Image2", "Image3"};
const std::vector<std::string> kKeyControls = {"PWD",     "PWD2",     "KEY",   "BTN_KEY", "REQ",
                                               "BTN_REQ", "SIZE_KEY", "Image", "Image2",  "Image3"};

// A data-page submission in document order: valid values, with `changes`.
std::vector<std::string> DataLines(const std::map<std::string, std::string>& changes = {}) {
    std::vector<std::pair<std::string, std::string>> fields = {
        {"DN_O", "ACME"}, {"DN_OU", ""},  {"DN_CN_1", "Juan"}, {"DN_POSTALCODE", "12345"},
        {"DN_FAX", ""},   {"DN_C", "MX"}, {"DN_T", ""},        {"Image2.x", "10"},
        {"Image2.y", "5"}};
    std::vector<std::string> lines;
    for (auto& [name, value] : fields) {
        auto it = changes.find(name);
        lines.push_back(name + "=" + (it != changes.end() ? it->second : value));
    }
    return lines;
}

std::vector<std::string> KeyLines(const std::string& pwd, const std::string& pwd2,
                                  const std::string& key, const std::string& req) {
    return {"PWD=" + pwd,    "PWD2=" + pwd2, "KEY=" + key, "REQ=" + req,
            "SIZE_KEY=2048", "Image2.x=3",   "Image2.y=4"};
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

class Wizard : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TMPDIR", temp.path().c_str(), 1); }
    void TearDown() override {
        window.reset();
        unsetenv("TMPDIR");
    }

    void Start(const std::vector<app_test::ZipEntry>& extra = {}) {
        app_test::WriteProfileArchive(dir.file("profile.zip"), extra);
        window = std::make_unique<app::Tfrm_req>(loop, app::ProgramImage{dir.file("none"), 1});
        ASSERT_FALSE(window->FormCreate({"/ZIP", dir.file("profile.zip")}));
        window->AttachViewer(&viewer);
        window->FormShow();
        viewer.SetControls(kDataControls, {"DN_T"});
        viewer.input_loop = &loop;
        viewer.collection_input = 500;
    }

    // Runs the window's loop until the generation job has ended and its end
    // notification has run.
    void FinishGeneration() {
        ASSERT_TRUE(loop.RunModal([this] { return !window->GenerationRunning(); }));
    }

    void Click(const std::string& on_click, const std::string& control = "Image2") {
        window->ObjectClick(viewer, control, on_click);
    }
    void Submit(const std::string& action, const std::vector<std::string>& lines) {
        window->FormSubmit(viewer, action, "", "x-www-form-encoded", "POST", lines);
    }
    void Forget() {
        viewer.loads.clear();
        viewer.boxes.clear();
        viewer.focused.clear();
        viewer.shown.clear();
    }
    // Reaches the key page through a valid data page.
    void GoToKeyPage() {
        Click("2");
        Submit("VALIDA_1", DataLines());
        ASSERT_EQ(viewer.loads.back(), "Page2.htm");
        viewer.SetControls(kKeyControls);
        Forget();
    }
    std::string Page(const std::string& name) { return Join(window->StringsRequest(name)); }

    TempDir temp, dir;
    platform::MessageLoop loop;
    app_test::FakeViewer viewer;
    std::unique_ptr<app::Tfrm_req> window;
};

TEST_F(Wizard, ServesPagesAndImagesFromTheArchive) {
    Start();
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"INDEX.HTM"}));
    for (const char* name : {"INDEX.HTM", "index.htm", "/index.htm", "Index.Htm"}) {
        std::string page = Page(name);
        EXPECT_NE(page.find("<option value=\"MX\" SELECTED>"), std::string::npos) << name;
        EXPECT_NE(page.find("<option value=\"AR\" >"), std::string::npos) << name;
        EXPECT_NE(page.find("bgcolor=\"#E7E7E7\""), std::string::npos) << name;
        EXPECT_NE(page.find("width=\"33%\""), std::string::npos) << name;
        EXPECT_NE(page.find("M\xC9XICO"), std::string::npos) << name;  // ISO-8859-1 kept
    }
    for (const char* name : {"Page2.htm", "PAGE2.HTM"})
        EXPECT_NE(Page(name).find("value=\"2048\" SELECTED>"), std::string::npos) << name;
    EXPECT_EQ(Page("Page3.htm"), "<html><body>Espera #DN_O#</body></html>\n");  // verbatim
    EXPECT_EQ(Page("Page9.htm"), "");

    const std::string gif = app_test::ReadText(APP_TEST_PROFILE_DIR "/Images/pixel.gif");
    for (const char* name : {"Images/pixel.gif", "/images/PIXEL.GIF", "Images\\pixel.gif"})
        EXPECT_EQ(std::string(window->ImageRequest(name).begin(), window->ImageRequest(name).end()),
                  gif)
            << name;
    EXPECT_TRUE(window->ImageRequest("Images/none.gif").empty());
}

TEST_F(Wizard, ValuesAreEscapedInThePage) {
    Start();
    window->DataFields.SetValue("DN_O", "A\"B<C>&D");
    EXPECT_NE(Page("index.htm").find("value=\"A&quot;B&lt;C&gt;&amp;D\""), std::string::npos);
}

// "ACME™" could only arrive as "ACME?": the page is not taken, not stored,
// and the field named.
TEST_F(Wizard, ADataValueIsoLatin1CannotHoldIsRefused) {
    Start();
    Click("2");
    window->FormSubmit(viewer, "VALIDA_1", "", "x-www-form-encoded", "POST",
                       DataLines({{"DN_O", "ACME?"}}), {"DN_O"});
    ASSERT_EQ(viewer.boxes.size(), 1u);
    EXPECT_EQ(viewer.boxes[0].text, app::msg::NotLatin1("DN_O"));
    EXPECT_EQ(viewer.boxes[0].icon, MessageIcon::Warning);
    EXPECT_EQ(viewer.focused, (std::vector<std::string>{"DN_O"}));
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"INDEX.HTM"}));
    EXPECT_EQ(window->DataFields.Value("DN_O"), "");
    // Cerrar still closes.
    Click("4");
    window->FormSubmit(viewer, "VALIDA_1", "", "x-www-form-encoded", "POST",
                       DataLines({{"DN_O", "ACME?"}}), {"DN_O"});
    EXPECT_TRUE(window->closed());
}

TEST_F(Wizard, DataPageRulesInDocumentOrder) {
    Start();
    struct Case {
        std::map<std::string, std::string> changes;
        std::string message;
        std::string focus;
    } cases[] = {
        {{{"DN_O", ""}, {"DN_CN_1", ""}}, "Proporciona el campo Raz\xF3n SOcial", "DN_O"},
        {{{"DN_O", " \t "}}, "Proporciona el campo Raz\xF3n SOcial", "DN_O"},
        {{{"DN_CN_1", ""}}, "Proporciona el campo Nombre", "DN_CN_1"},
        {{{"DN_POSTALCODE", ""}},
         "Proporciona el campo C\xF3"
         "digo Postal",
         "DN_POSTALCODE"},
        {{{"DN_POSTALCODE", "12a45"}},
         "El C\xF3"
         "digo Postal s\xF3lo lleva d\xEDgitos",
         "DN_POSTALCODE"},
        {{{"DN_POSTALCODE", "12345 "}},
         "El C\xF3"
         "digo Postal s\xF3lo lleva d\xEDgitos",
         "DN_POSTALCODE"},  // the value as submitted, not trimmed
        {{{"DN_FAX", "  "}}, "El Fax s\xF3lo lleva d\xEDgitos", "DN_FAX"},
        {{{"DN_T", "X1"}}, "La CURP no es v\xE1lida", "DN_T"},
    };
    for (const Case& c : cases) {
        Forget();
        viewer.SetControls(kDataControls, {"DN_T"});
        Click("2");
        Submit("VALIDA_1", DataLines(c.changes));
        ASSERT_EQ(viewer.boxes.size(), 1u) << c.message;
        EXPECT_EQ(viewer.boxes[0].title, "Aviso");
        EXPECT_EQ(viewer.boxes[0].text, c.message);
        EXPECT_EQ(viewer.boxes[0].icon, MessageIcon::Warning);
        EXPECT_EQ(viewer.focused, (std::vector<std::string>{c.focus}));
        // A hidden control is made visible before it gets the focus.
        EXPECT_EQ(viewer.shown, c.focus == "DN_T" ? std::vector<std::string>{"DN_T"}
                                                  : std::vector<std::string>{});
        EXPECT_TRUE(viewer.loads.empty());
        EXPECT_EQ(window->DataFields.Lines(), DataLines(c.changes));  // stored all the same
    }
    Forget();
    Submit("VALIDA_1", DataLines());
    EXPECT_TRUE(viewer.boxes.empty());
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page2.htm"}));
}

TEST_F(Wizard, ButtonCodeOfTheLastClickIsReused) {
    Start();
    // A failed Continuar; Enter in a field reached with Tab validates again.
    Click("2");
    Submit("VALIDA_1", DataLines({{"DN_O", ""}}));
    Submit("VALIDA_1", DataLines({{"DN_O", ""}}));
    EXPECT_EQ(viewer.boxes.size(), 2u);
    // A click into a text field (no onClick) sets code 0: Enter only stores.
    Forget();
    Click("", "DN_O");
    EXPECT_EQ(window->ButtonCode, 0);
    Submit("VALIDA_1", DataLines({{"DN_O", "Nueva"}}));
    EXPECT_TRUE(viewer.boxes.empty());
    EXPECT_TRUE(viewer.loads.empty());
    EXPECT_EQ(window->DataFields.Value("DN_O"), "Nueva");
    // An onClick that is not a number changes nothing.
    Click("2");
    Click("continuar");
    EXPECT_EQ(window->ButtonCode, 2);
    // Another action stores in neither list.
    Click("", "DN_O");
    Submit("OTRA", {"DN_O=otra"});
    EXPECT_EQ(window->DataFields.Value("DN_O"), "Nueva");
}

TEST_F(Wizard, BackAndForthKeepsBothPages) {
    Start();
    GoToKeyPage();
    Click("1", "Image");
    Submit("VALIDA_2", KeyLines("clave123", "clave124", "/x/k.key", "r.req"));
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"index.htm"}));
    EXPECT_TRUE(viewer.boxes.empty());  // going back validates nothing
    EXPECT_NE(Page("index.htm").find("value=\"ACME\""), std::string::npos);
    EXPECT_NE(Page("index.htm").find("value=\"Juan\""), std::string::npos);

    viewer.SetControls(kDataControls, {"DN_T"});
    GoToKeyPage();
    const std::string page = Page("Page2.htm");
    for (const char* shown : {"name=\"PWD\" value=\"clave123\"", "name=\"PWD2\" value=\"clave124\"",
                              "name=\"KEY\" value=\"/x/k.key\"", "name=\"REQ\" value=\"r.req\"",
                              "value=\"2048\" SELECTED"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
}

TEST_F(Wizard, KeyPageRulesInOrder) {
    Start();
    const std::string d = dir.path();
    fs::create_directory(dir.file("mi carpeta"));
    const std::string ok_key = d + "/clave.key", ok_req = d + "/solicitud.req";
    const std::string invalid_key =
        "\r\nEl nombre del archivo de la llave no puede contener acentos\r\n";
    const std::string invalid_req =
        "\r\nEl nombre del archivo del requerimiento no puede contener acentos\r\n";
    struct Case {
        std::vector<std::string> lines;
        std::string message;
        std::string focus;
    } cases[] = {
        {KeyLines("abc1234", "otra", ok_key, ok_req), app::msg::kPasswordTooShort, "PWD"},
        {KeyLines("abcd1234", "abcd1235", ok_key, ok_req), app::msg::kPasswordsDiffer, "PWD2"},
        {KeyLines("abcdefgh", "abcdefgh", ok_key, ok_req), app::msg::kPasswordNeedsDigitsAndLetters,
         "PWD"},
        {KeyLines("12345678", "12345678", ok_key, ok_req), app::msg::kPasswordNeedsDigitsAndLetters,
         "PWD"},
        {KeyLines("\xE1\xE9\xED\xF3\xFA"
                  "123",
                  "\xE1\xE9\xED\xF3\xFA"
                  "123",
                  ok_key, ok_req),
         app::msg::kPasswordNeedsDigitsAndLetters, "PWD"},
        {KeyLines("abcd1234", "abcd1234", "  ", ok_req),
         "\r\nIndica el archivo para guardar la llave privada\r\n", "KEY"},
        {KeyLines("abcd1234", "abcd1234", ok_key, ""),
         std::string(app::msg::kRequestFileMissing) + "\r\n", "REQ"},
        {KeyLines("abcd1234", "abcd1234", "clave.key", ok_req), app::msg::kKeyPathInvalid, "KEY"},
        {KeyLines("abcd1234", "abcd1234", d + "/no/clave.key", ok_req), app::msg::kKeyPathInvalid,
         "KEY"},
        {KeyLines("abcd1234", "abcd1234", d + "/", ok_req), app::msg::kKeyFileMissing, "KEY"},
        {KeyLines("abcd1234", "abcd1234", ok_key, "solicitud.req"), app::msg::kRequestPathInvalid,
         "REQ"},
        {KeyLines("abcd1234", "abcd1234", ok_key, d + "/"), app::msg::kRequestFileMissing, "REQ"},
        {KeyLines("abcd1234", "abcd1234", d + "/mi clave.key", ok_req), invalid_key, "KEY"},
        {KeyLines("abcd1234", "abcd1234", d + "/mi-clave.key", ok_req), invalid_key, "KEY"},
        {KeyLines("abcd1234", "abcd1234", d + "/mi_clave.key", ok_req), invalid_key, "KEY"},
        {KeyLines("abcd1234", "abcd1234", d + "/cl\xE1ve.key", ok_req), invalid_key, "KEY"},
        {KeyLines("abcd1234", "abcd1234", ok_key,
                  d + "/sol\xED"
                      "citud.req"),
         invalid_req, "REQ"},
    };
    GoToKeyPage();
    for (const Case& c : cases) {
        Forget();
        Click("3");
        Submit("VALIDA_2", c.lines);
        ASSERT_EQ(viewer.boxes.size(), 1u) << c.message;
        EXPECT_EQ(viewer.boxes[0].title, "Aviso");
        EXPECT_EQ(viewer.boxes[0].text, c.message);
        EXPECT_EQ(viewer.boxes[0].icon, MessageIcon::Error);
        EXPECT_EQ(viewer.focused, (std::vector<std::string>{c.focus})) << c.message;
        EXPECT_TRUE(viewer.loads.empty());
    }
    EXPECT_EQ(viewer.collections_started, 0);

    // Trimmed names, and a folder whose own name has characters that file
    // names may not: only the file-name part is held against VALID_CHARS.
    // Each goes on to the mouse message and the generation.
    for (const auto& lines :
         {KeyLines("abcd1234", "abcd1234", " " + ok_key + " ", ok_req),
          KeyLines("abcd1234", "abcd1234", d + "/mi carpeta/clave", d + "/mi carpeta/REQ.1")}) {
        Forget();
        Submit("VALIDA_2", lines);
        FinishGeneration();
        ASSERT_EQ(viewer.boxes.size(), 1u);
        EXPECT_EQ(viewer.boxes[0].text, app::msg::kMouseMessage);
    }
    EXPECT_EQ(viewer.collections_started, 2);
    EXPECT_EQ(window->KeyFields.Value("KEY"), d + "/mi carpeta/clave.key");
    EXPECT_TRUE(fs::exists(ok_key));
    EXPECT_TRUE(fs::exists(d + "/mi carpeta/REQ.1"));
}

TEST_F(Wizard, SaveDialogFillsTheFileControls) {
    Start();
    GoToKeyPage();
    Click("3");
    viewer.save_answer = "/home/ana/clave.key";
    Click("BTN_KEY", "BTN_KEY");
    viewer.save_answer = "/home/ana/solicitud.req";
    Click("btn_req", "BTN_REQ");
    viewer.save_answer.reset();
    Click("BTN_OTHER", "BTN_OTHER");  // any other BTN_ text is the request file's button
    ASSERT_EQ(viewer.saves.size(), 3u);
    EXPECT_EQ(viewer.saves[0].filter, "Llave Privada (*.key)|*.key");
    EXPECT_EQ(viewer.saves[0].extension, ".key");
    EXPECT_EQ(viewer.saves[0].initial, "");
    EXPECT_EQ(viewer.saves[1].filter, "Requerimiento (*.req)|*.req");
    EXPECT_EQ(viewer.saves[1].extension, ".req");
    EXPECT_EQ(viewer.saves[2].filter, "Requerimiento (*.req)|*.req");
    EXPECT_EQ(viewer.control_texts,
              (std::map<std::string, std::string>{{"KEY", "/home/ana/clave.key"},
                                                  {"REQ", "/home/ana/solicitud.req"}}));
    EXPECT_EQ(window->ButtonCode, 3);               // the file buttons leave the code
    EXPECT_EQ(window->KeyFields.Value("KEY"), "");  // only a submission stores it
}

TEST_F(Wizard, ValidationLibrarySeesPassedLinesAndRewritesThem) {
    Start({{"REQ_DLL.DLL", app_test::ReadText(APP_TEST_VALIDA_RECORDER)}});
    ASSERT_TRUE(window->ValidationLoaded);
    void* lib = dlopen(window->ValidationLibPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    auto calls = reinterpret_cast<const char* (*)()>(dlsym(lib, "valida_calls"));
    auto reset = reinterpret_cast<void (*)()>(dlsym(lib, "valida_reset"));
    ASSERT_TRUE(calls && reset);

    // A rejection shows nothing, moves no focus and stays on the page.
    Click("2");
    Submit("VALIDA_1", DataLines({{"DN_O", "  RECHAZO "}}));
    EXPECT_EQ(std::string(calls()), "DN_O=RECHAZO\n");
    EXPECT_TRUE(viewer.boxes.empty());
    EXPECT_TRUE(viewer.focused.empty());
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"INDEX.HTM"}));

    // A line that fails the configured checks never reaches the library.
    reset();
    Submit("VALIDA_1", DataLines({{"DN_POSTALCODE", "1a"}}));
    EXPECT_EQ(std::string(calls()), "DN_O=ACME\nDN_OU=\nDN_CN_1=Juan\n");

    // A value too long for the 255-byte buffer fails with a message.
    reset();
    Forget();
    Submit("VALIDA_1", DataLines({{"DN_OU", std::string(255, 'a')}}));
    EXPECT_EQ(std::string(calls()), "DN_O=ACME\n");
    ASSERT_EQ(viewer.boxes.size(), 1u);
    EXPECT_EQ(viewer.boxes[0].text,
              std::string(app::msg::kValueTooLongHead) + "DN_OU" + app::msg::kValueTooLongTail);
    EXPECT_EQ(viewer.focused, (std::vector<std::string>{"DN_OU"}));

    // Every passed line, trimmed, hidden fields and the button's lines too;
    // the rewritten values are what the list keeps.
    reset();
    Forget();
    Submit("VALIDA_1", DataLines({{"DN_O", " ACME "},
                                  {"DN_CN_1", "juan p\xE9rez "},
                                  {"DN_OU", std::string(254, 'a')}}));
    EXPECT_EQ(std::string(calls()), "DN_O=ACME\nDN_OU=" + std::string(254, 'a') +
                                        "\nDN_CN_1=juan p\xE9rez\nDN_POSTALCODE=12345\nDN_FAX=\n"
                                        "DN_C=MX\nDN_T=\nImage2.x=10\nImage2.y=5\n");
    EXPECT_EQ(viewer.loads, (std::vector<std::string>{"Page2.htm"}));
    EXPECT_EQ(window->DataFields.Value("DN_O"), "ACME");
    EXPECT_EQ(window->DataFields.Value("DN_CN_1"), "JUAN P\xE9REZ");

    // Enter on the key page before any click there still carries code 2: the
    // key page's lines are stored, and the data page is neither validated
    // with them nor overwritten.
    reset();
    viewer.SetControls(kKeyControls);
    Submit("VALIDA_2", KeyLines("abcd1234", "abcd1234", "", ""));
    EXPECT_EQ(std::string(calls()), "");
    EXPECT_EQ(window->DataFields.Value("DN_O"), "ACME");
    EXPECT_EQ(window->KeyFields.Value("PWD"), "abcd1234");

    // The key page's values are not given to the library: they stay as typed.
    reset();
    Click("3");
    Submit("VALIDA_2",
           KeyLines("abcd1234", "abcd1234", dir.file("k.key") + " ", dir.file("r.req")));
    FinishGeneration();
    EXPECT_EQ(viewer.collections_started, 1);
    EXPECT_EQ(std::string(calls()), "");
    // Stored as typed; the hand-over then uses the name trimmed.
    EXPECT_EQ(window->KeyFields.Value("KEY"), dir.file("k.key"));
    EXPECT_TRUE(fs::exists(dir.file("k.key")));
    dlclose(lib);
}

TEST_F(Wizard, WithoutLibraryValuesStayAsTyped) {
    Start();
    Click("2");
    Submit("VALIDA_1", DataLines({{"DN_CN_1", " juan "}}));
    EXPECT_EQ(window->DataFields.Value("DN_CN_1"), " juan ");
}

TEST_F(Wizard, CloseStoresThePageFirst) {
    Start();
    Click("4", "Image3");
    Submit("VALIDA_1", DataLines({{"DN_O", "Salida"}}));
    EXPECT_EQ(window->DataFields.Value("DN_O"), "Salida");
    EXPECT_TRUE(viewer.closed);
    EXPECT_TRUE(window->closed());
    EXPECT_EQ(loop.Run(), 0);  // the loop has been told to end
}

TEST_F(Wizard, CloseWaitsForTheGenerationJob) {
    Start();
    GoToKeyPage();
    Click("3");
    Submit("VALIDA_2", KeyLines("abcd1234", "abcd1234", dir.file("k.key"), dir.file("r.req")));
    ASSERT_TRUE(window->GenerationRunning());
    // The close button, pressed while the job runs (the close box does the
    // same): Close returns only after the job has ended.
    Click("4");
    Submit("", {"Image2.x=1", "Image2.y=1"});
    EXPECT_TRUE(viewer.closed);
    EXPECT_TRUE(fs::exists(dir.file("k.key")));
    EXPECT_TRUE(fs::exists(dir.file("r.req")));
    EXPECT_EQ(window->KeyFields.Value("PWD"), "");  // the job has wiped it
    EXPECT_EQ(loop.Run(), 0);  // the end notification does not run after the close
    EXPECT_EQ(viewer.loads.back(), "Page3.htm");
}

TEST_F(Wizard, LinksOpenWithTheDesktop) {
    Start();
    std::vector<std::string> opened;
    window->OpenUrl = [&opened](const std::string& url) {
        opened.push_back(url);
        return true;
    };
    EXPECT_TRUE(window->HotSpotTargetClick("_blank", "https://example.org/ayuda"));
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/ayuda"}));
}

}  // namespace
