#include "cli/terminal.h"

#include <langinfo.h>

#include <cstring>

#include "platform/latin1.h"

namespace cli {

bool LocaleIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

std::string ForTerminal(const std::string& latin1) {
    return LocaleIsUtf8() ? platform::Latin1ToUtf8(latin1) : latin1;
}

}  // namespace cli
