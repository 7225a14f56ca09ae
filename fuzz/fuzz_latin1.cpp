// The ISO-8859-1 <-> UTF-8 conversions of the bridge: any bytes in either
// direction, with the round trips that must hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/latin1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // As ISO-8859-1: always becomes well-formed UTF-8 and comes back whole.
    const std::string utf8 = platform::Latin1ToUtf8(bytes);
    fuzz::Check(platform::IsUtf8(utf8), "Latin1ToUtf8 gives UTF-8");
    const auto back = platform::Utf8ToLatin1Strict(utf8);
    fuzz::Check(back.has_value() && *back == bytes, "Latin-1 round trip");
    fuzz::Check(platform::Utf8ToLatin1(utf8) == bytes, "lenient Latin-1 round trip");

    // As UTF-8 from a page: the strict form either refuses or agrees with the
    // lenient one and converts back to the same text.
    const bool well_formed = platform::IsUtf8(bytes);
    const std::string lenient = platform::Utf8ToLatin1(bytes);
    fuzz::Check(lenient.size() <= bytes.size(), "one byte at most per input byte");
    const auto strict = platform::Utf8ToLatin1Strict(bytes);
    if (strict) {
        fuzz::Check(well_formed, "strict accepts only UTF-8");
        fuzz::Check(*strict == lenient, "strict and lenient agree");
        fuzz::Check(platform::Latin1ToUtf8(*strict) == bytes, "UTF-8 round trip");
    }
    return 0;
}
