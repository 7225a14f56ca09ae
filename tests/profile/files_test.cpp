// The profile folder as a whole: which files it holds, their text encoding,
// and the images against the script that draws them.

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/profile/gif_reader.h"
#include "tests/profile/page_reader.h"
#include "tests/profile/profile_files.h"
#include "tests/support/process.h"

namespace {

const std::vector<std::string> kPages = {"index.htm", "Page2.htm", "Page3.htm", "Page4.htm"};

TEST(ShippedProfile, HoldsThePagesImagesConfigurationAndImageScript) {
    const std::vector<std::string> expected = {
        "Images/botoncerrar.gif",
        "Images/botoncontinuar.gif",
        "Images/botonregresar.gif",
        "Images/logotarsel.gif",
        "Images/pixel.gif",
        "Images/trabajando.gif",
        "Page2.htm",
        "Page3.htm",
        "Page4.htm",
        "config.xml",
        "index.htm",
        "make-images.py",
    };
    EXPECT_EQ(profile::all_files(), expected);
}

// ISO-8859-1 text: no byte sequence that reads as a UTF-8 multi-byte
// character (a sign that the file was saved in the wrong encoding), no C1
// control byte, and on the pages every character reference is one we know.
TEST(ShippedProfile, TextFilesAreIso88591) {
    std::vector<std::string> files = kPages;
    files.push_back("config.xml");
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string bytes = profile::read(file);
        for (size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            ASSERT_FALSE(c >= 0x80 && c <= 0x9F) << "C1 control byte at " << i;
            const bool lead = c >= 0xC2 && c <= 0xF4;
            const bool continued =
                i + 1 < bytes.size() && (static_cast<unsigned char>(bytes[i + 1]) & 0xC0) == 0x80;
            ASSERT_FALSE(lead && continued) << "UTF-8 sequence at " << i;
        }
        if (file != "config.xml") {
            EXPECT_NO_THROW(page::decode_references(bytes));
        }
    }
    // The configuration carries its accented letters as single bytes.
    EXPECT_NE(profile::read("config.xml").find("Raz\xF3n"), std::string::npos);
}

TEST(ShippedProfile, ImagesAreValidGifsOfTheGivenSizes) {
    struct Expected {
        std::string file;
        int width, height;
        bool animated;
    };
    const std::vector<Expected> images = {
        {"Images/logotarsel.gif", 177, 74, false},    {"Images/pixel.gif", 1, 1, false},
        {"Images/botoncontinuar.gif", 62, 15, false}, {"Images/botonregresar.gif", 62, 15, false},
        {"Images/botoncerrar.gif", 62, 15, false},    {"Images/trabajando.gif", 162, 19, true},
    };
    for (const Expected& image : images) {
        SCOPED_TRACE(image.file);
        gif::Info info;
        try {
            info = gif::read(profile::read(image.file));
        } catch (const std::exception& defect) {
            FAIL() << defect.what();
        }
        EXPECT_TRUE(info.version == "GIF89a" || info.version == "GIF87a");
        EXPECT_EQ(info.width, image.width);
        EXPECT_EQ(info.height, image.height);
        EXPECT_EQ(info.frames > 1, image.animated);
    }
}

#ifdef REQWIZ_PYTHON3
// The committed images are what the script draws today, byte for byte.
TEST(ShippedProfile, ImagesMatchTheirScript) {
    testing_support::TempDir dir;
    const testing_support::RunResult run =
        testing_support::run({REQWIZ_PYTHON3, profile::path("make-images.py"), dir.path()});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (const char* name : {"logotarsel.gif", "pixel.gif", "botoncontinuar.gif",
                             "botonregresar.gif", "botoncerrar.gif", "trabajando.gif"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> drawn = testing_support::read_file(dir.file(name));
        const std::string committed = profile::read(std::string("Images/") + name);
        EXPECT_EQ(std::string(drawn.begin(), drawn.end()), committed)
            << "run data/make-images.py again";
    }
}
#endif

}  // namespace
