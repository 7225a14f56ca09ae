// The layers of the tree: which folder's headers each folder may include.
// Every quoted include of every source and header of the product and the
// benchmarks is checked against the table; a folder the table does not know
// fails too, so a new folder is placed in the layers when it is made. The
// build enforces the same direction (each target sees only the folders of
// the targets it links); this table is where the intent is written down.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// folder -> the other folders it may include. A folder may always include
// its own headers.
const std::map<std::string, std::set<std::string>> kLayers = {
    {"crypto/common", {}},
    {"crypto/digest", {"crypto/common"}},
    {"crypto/mac", {"crypto/common", "crypto/digest"}},
    {"crypto/kdf", {"crypto/common", "crypto/digest", "crypto/mac"}},
    {"crypto/cipher", {"crypto/common"}},
    {"crypto/der", {"crypto/common"}},
    {"crypto/bignum", {"crypto/common"}},
    {"crypto/rsa", {"crypto/common", "crypto/bignum", "crypto/digest"}},
    {"crypto/request", {"crypto/common", "crypto/der", "crypto/digest", "crypto/rsa"}},
    {"crypto/keyfile",
     {"crypto/common", "crypto/der", "crypto/cipher", "crypto/digest", "crypto/rsa",
      "crypto/request"}},
    {"crypto/x509",
     {"crypto/common", "crypto/der", "crypto/digest", "crypto/rsa", "crypto/request"}},
    {"crypto/pkcs12",
     {"crypto/common", "crypto/der", "crypto/digest", "crypto/cipher", "crypto/mac", "crypto/kdf",
      "crypto/rsa", "crypto/request"}},
    {"platform", {}},
    {"app", {"platform", "crypto/common", "crypto/rsa", "crypto/request", "crypto/keyfile"}},
    {"viewer", {"platform"}},
    {"cli",
     {"app", "viewer", "platform", "crypto/common", "crypto/der", "crypto/rsa", "crypto/request",
      "crypto/keyfile", "crypto/x509", "crypto/pkcs12"}},
    {"bench", {"crypto/common", "crypto/bignum", "crypto/digest", "crypto/rsa"}},
    // The fuzz targets drive the surfaces they are named after.
    {"fuzz",
     {"app", "viewer", "platform", "cli", "crypto/common", "crypto/der", "crypto/rsa",
      "crypto/request", "crypto/keyfile"}},
};

// The folders whose files are checked: everything but the tests, which may
// include what they test.
const char* const kCheckedRoots[] = {"crypto", "platform", "app", "viewer", "cli", "bench", "fuzz"};

struct Include {
    std::string file;  // relative to the top of the tree
    int line;
    std::string target;
};

std::vector<Include> QuotedIncludes(const fs::path& top, const fs::path& file) {
    static const std::regex include_line(R"re(^\s*#\s*include\s+"([^"]+)")re");
    std::vector<Include> found;
    std::ifstream in(file);
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        std::smatch match;
        if (std::regex_search(text, match, include_line))
            found.push_back({fs::relative(file, top).generic_string(), line, match[1].str()});
    }
    return found;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

TEST(Layers, EveryIncludeFollowsTheTableOfLayers) {
    const fs::path top = REQWIZ_SOURCE_DIR;
    size_t checked = 0;
    for (const char* root : kCheckedRoots) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top / root)) {
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
                continue;
            const std::string folder = FolderOf(fs::relative(entry.path(), top).generic_string());
            auto layer = kLayers.find(folder);
            if (layer == kLayers.end()) {
                ADD_FAILURE() << folder << " is in no layer: add it to the table";
                continue;
            }
            for (const Include& include : QuotedIncludes(top, entry.path())) {
                ++checked;
                const std::string target = FolderOf(include.target);
                EXPECT_TRUE(target == folder || layer->second.count(target) != 0)
                    << include.file << ":" << include.line << " includes \"" << include.target
                    << "\": " << folder << " may not include " << (target.empty() ? "." : target);
            }
        }
    }
    EXPECT_GT(checked, 0u) << "no include found under " << top;
}

// The table itself has no cycle: a layer never reaches back to itself.
TEST(Layers, TheLayersHaveNoCycle) {
    for (const auto& [start, _] : kLayers) {
        std::set<std::string> seen;
        std::vector<std::string> todo{start};
        while (!todo.empty()) {
            const std::string folder = todo.back();
            todo.pop_back();
            auto layer = kLayers.find(folder);
            ASSERT_NE(layer, kLayers.end()) << folder << " is used but has no row";
            for (const std::string& next : layer->second) {
                EXPECT_NE(next, start) << start << " reaches itself through " << folder;
                if (seen.insert(next).second)
                    todo.push_back(next);
            }
        }
    }
}

}  // namespace
