// The template expansion of the form pages: any page text, with a handler
// that answers every tag the way the window does (its name, its parameters,
// nothing at all).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/template_filter.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    app::THttpMemoFilter filter;
    size_t calls = 0;
    filter.OnHttpEntry = [&calls](app::THttpMemoFilter& f, const std::string& name) {
        ++calls;
        switch (calls % 3) {
            case 0:
                f.Put(name);
                break;
            case 1:
                for (const std::string& param : f.GetEntryParams())
                    f.Put("[" + param + "]");
                break;
            default:
                break;  // an empty replacement
        }
    };
    filter.SetText(text);
    const std::string page = filter.AsString();
    (void)page;
    const std::string expanded = filter.PutString(text);
    (void)expanded;

    // The scan primitives on their own, from every start the scan would try.
    for (size_t at = app::THttpMemoFilter::FindStartVariable(text, 0); at != std::string::npos;
         at = app::THttpMemoFilter::FindStartVariable(text, at + 1)) {
        fuzz::Check(at < text.size(), "a start inside the text");
        const size_t end = app::THttpMemoFilter::FindEndVariable(text, at);
        if (end == std::string::npos)
            continue;
        fuzz::Check(end > at && end < text.size(), "an end after its start");
        const std::string content = text.substr(at + 1, end - at - 1);
        (void)app::THttpMemoFilter::NameOfEntry(content);
        (void)app::THttpMemoFilter::ParamsOfEntry(content);
        (void)app::THttpMemoFilter::IsConditionalTag(content);
    }
    return 0;
}
