#include "viewer/launch_page.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/text.h"

namespace viewer {
namespace {

// The first usable place for a private folder: the user's runtime folder
// (only the user may enter it, and it is emptied at logout), else the
// temporary folder.
std::vector<std::string> Bases() {
    std::vector<std::string> bases;
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] == '/')
            bases.emplace_back(value);
    }
    bases.emplace_back("/tmp");
    return bases;
}

// `text` as a JavaScript string literal that can sit inside a <script>.
std::string ScriptString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '.' || c == ':' || c == '/' || c == '?' || c == '=' || c == '-' || c == '_') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out + "\"";
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string ForwardingPage(const std::string& url) {
    // The script replaces this page in the history, so the wizard's address
    // is the window's only entry (which lets the wizard close its window);
    // the refresh serves a browser without scripts.
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
           "<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<title>reqwiz</title>\n"
           "<script>location.replace(" +
           ScriptString(url) +
           ");</script>\n"
           "<noscript><meta http-equiv=\"refresh\" content=\"0;url=" +
           platform::HtmlEscape(url, platform::HtmlQuotes::DoubleAndSingle) +
           "\"></noscript>\n"
           "</head><body></body></html>\n";
}

LaunchPage::~LaunchPage() {
    Remove();
}

bool LaunchPage::Create(const std::string& url) {
    Remove();
    const std::string page = ForwardingPage(url);
    for (const std::string& base : Bases()) {
        // mkdtemp makes the folder with mode 0700 under a name nobody could
        // have prepared.
        std::string folder = base + "/reqwiz-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr)
            continue;
        const std::string file = folder + "/open.html";
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            S_IRUSR | S_IWUSR);
        bool written = fd >= 0 && WriteAll(fd, page);
        if (fd >= 0)
            written = close(fd) == 0 && written;
        if (!written) {
            unlink(file.c_str());
            rmdir(folder.c_str());
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        folder_ = folder;
        file_ = file;
        return true;
    }
    return false;
}

std::string LaunchPage::FileUrl() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_.empty())
        return std::string();
    // The folder's name is ours (letters, digits, '-', '/', '_', '.') but
    // the base comes from the environment: escape anything else.
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (char c : file_) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += c;
        } else {
            url += '%';
            url += kHex[u >> 4];
            url += kHex[u & 15];
        }
    }
    return url;
}

void LaunchPage::Remove() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (folder_.empty())
        return;
    unlink(file_.c_str());
    rmdir(folder_.c_str());
    folder_.clear();
    file_.clear();
}

}  // namespace viewer
