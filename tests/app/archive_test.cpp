#include "app/archive.h"

#include <gtest/gtest.h>

#include "tests/app/fixture.h"

namespace {

using app::Archive;
using app_test::ZipEntry;

TEST(ArchiveNames, LookupRules) {
    struct Case {
        const char* request;
        const char* stored;
        bool match;
    } cases[] = {
        {"index.htm", "index.htm", true},
        {"INDEX.HTM", "index.htm", true},
        {"Images\\pixel.gif", "Images/pixel.gif", true},
        {"images\\PIXEL.GIF", "Images/pixel.gif", true},
        {"Images/pixel.gif", "Images/pixel.gif", true},
        {"pixel.gif", "Images/pixel.gif", false},  // the full path is compared
        {"Images\\", "Images/", false},            // directories never match
        {"Images", "Images/", false},
        {"*.htm", "index.htm", true},
        {"*", "Images/pixel.gif", true},
        {"*", "Images/", false},
        {"Page?.htm", "Page2.htm", true},
        {"Page?.htm", "Page.htm", false},
        {"<.gif", "Images/pixel.gif", false},  // "<" stays within one folder
        {"Images\\<.gif", "Images/pixel.gif", true},
        {"\xC9XITO.HTM", "\xE9xito.htm", true},  // ISO-8859-1 letters fold too
        {"index.htm", "index.html", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::ArchiveNameMatches(c.request, c.stored), c.match)
            << c.request << " vs " << c.stored;
}

TEST(ArchiveNames, LongNamesStayCheap) {
    std::string name(2000, 'a');
    std::string pattern;
    for (int i = 0; i < 200; ++i)
        pattern += "*a";
    pattern += "b";
    EXPECT_FALSE(app::ArchiveNameMatches(pattern, name));
}

TEST(Archive, ExtractsNamedEntriesOnly) {
    testing_support::TempDir dir;
    const std::string big(100000, 'x');
    app_test::WriteZip(dir.file("a.zip"), {{"Images/", ""},
                                           {"Images/pixel.gif", "GIF89a", true},
                                           {"index.htm", big},
                                           {"INDEX.HTM", "second"},
                                           {"empty.txt", ""}});
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.file("a.zip"))) << archive.error();

    std::string out = "kept:";
    EXPECT_EQ(archive.Extract("images\\PIXEL.gif", out), Archive::Result::Extracted);
    EXPECT_EQ(out, "kept:GIF89a");  // appended

    out.clear();
    EXPECT_EQ(archive.Extract("Index.htm", out), Archive::Result::Extracted);
    EXPECT_EQ(out, big);  // deflated, and the first match in directory order

    out.clear();
    EXPECT_EQ(archive.Extract("empty.txt", out), Archive::Result::Extracted);
    EXPECT_EQ(out, "");
    EXPECT_EQ(archive.Extract("Images", out), Archive::Result::NotFound);
    EXPECT_EQ(archive.Extract("missing.htm", out), Archive::Result::NotFound);
    EXPECT_EQ(out, "");
}

TEST(Archive, RefusesWhatIsNotAZipAndReportsDamage) {
    testing_support::TempDir dir;
    Archive archive;
    testing_support::write_file(dir.file("text"), {'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(archive.Open(dir.file("text")));
    EXPECT_FALSE(archive.error().empty());
    EXPECT_FALSE(archive.Open(dir.file("absent.zip")));
    std::string out;
    EXPECT_EQ(archive.Extract("x", out), Archive::Result::NotFound);

    // A stored entry whose bytes were changed after writing fails its CRC.
    std::string zip = app_test::ZipBytes({{"a.txt", "abcdefgh", true}});
    size_t at = zip.find("abcdefgh");
    ASSERT_NE(at, std::string::npos);
    zip[at] = 'X';
    testing_support::write_file(dir.file("bad.zip"), std::vector<uint8_t>(zip.begin(), zip.end()));
    ASSERT_TRUE(archive.Open(dir.file("bad.zip")));
    out = "before";
    EXPECT_EQ(archive.Extract("a.txt", out), Archive::Result::Damaged);
    EXPECT_EQ(out, "before");
    EXPECT_FALSE(archive.AllEntriesIntact());

    // The start-up check reads every entry but the folders.
    zip =
        app_test::ZipBytes({{"Images/", ""}, {"b.txt", "sano", true}, {"a.txt", "abcdefgh", true}});
    testing_support::write_file(dir.file("good.zip"), std::vector<uint8_t>(zip.begin(), zip.end()));
    ASSERT_TRUE(archive.Open(dir.file("good.zip")));
    EXPECT_TRUE(archive.AllEntriesIntact());
    zip[zip.find("abcdefgh")] = 'X';
    testing_support::write_file(dir.file("bad.zip"), std::vector<uint8_t>(zip.begin(), zip.end()));
    ASSERT_TRUE(archive.Open(dir.file("bad.zip")));
    EXPECT_FALSE(archive.AllEntriesIntact());
}

TEST(Archive, EntriesAbove32MiBAreNotExtracted) {
    // Deflated, each of these takes a few tens of kilobytes in the archive.
    testing_support::TempDir dir;
    const size_t limit = 32u << 20;
    app_test::WriteZip(dir.file("big.zip"), {{"limit.htm", std::string(limit, 'a')},
                                             {"over.htm", std::string(limit + 1, 'b')},
                                             {"over.gif", std::string(2 * limit, 0)}});
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.file("big.zip"))) << archive.error();
    std::string out;
    EXPECT_EQ(archive.Extract("limit.htm", out), Archive::Result::Extracted);
    EXPECT_EQ(out.size(), limit);
    for (const char* name : {"over.htm", "over.gif"}) {
        out = "before";
        EXPECT_EQ(archive.Extract(name, out), Archive::Result::TooLarge) << name;
        EXPECT_EQ(out, "before") << name;
    }
    // Entries too large to extract are not read by the start-up check.
    EXPECT_TRUE(archive.AllEntriesIntact());
}

}  // namespace
