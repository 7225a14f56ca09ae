#include "platform/wipe.h"

#include <string.h>

namespace platform {

void WipeText(std::string& text) {
    // The whole capacity: a shorter text may have left older bytes behind
    // the current end.
    if (text.capacity() > 0)
        explicit_bzero(text.data(), text.capacity());
    text.clear();
}

void WipeLines(std::vector<std::string>& lines) {
    for (std::string& line : lines)
        WipeText(line);
    lines.clear();
}

WipeOnExit::~WipeOnExit() {
    for (std::string* text : texts_)
        WipeText(*text);
    for (std::vector<std::string>* lines : lists_)
        WipeLines(*lines);
}

}  // namespace platform
