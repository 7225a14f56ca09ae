// A validation library for the tests: it records every call as
// "name=value\n", rejects the value "RECHAZO", and upper-cases the values of
// DN_CN_1 in place.
#include <cstring>
#include <string>

namespace {
std::string calls;
}

extern "C" {

int Valida_Campos(const char* field, char* value) {
    calls += std::string(field) + "=" + value + "\n";
    if (std::strcmp(value, "RECHAZO") == 0)
        return 0;
    if (std::strcmp(field, "DN_CN_1") == 0) {
        for (char* p = value; *p != '\0'; ++p) {
            if (*p >= 'a' && *p <= 'z')
                *p = static_cast<char>(*p - 'a' + 'A');
        }
    }
    return 1;
}

const char* valida_calls() {
    return calls.c_str();
}

void valida_reset() {
    calls.clear();
}
}
