// The configuration lookups over any document: parsing, then every lookup the
// wizard and the generation job make, for the names the document itself uses
// and for the profile's own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Unit_tthread_genreq.h"
#include "app/config_lookup.h"
#include "app/field_list.h"
#include "fuzz/fuzz_support.h"

namespace {

const char* const kProfileNames[] = {"FIELDS",
                                     "DN_O",
                                     "DN_CN",
                                     "DN_C",
                                     "DN_E",
                                     "SIZE_KEY",
                                     "KEY",
                                     "REQ",
                                     "TXT_FILE",
                                     "VALID_CHARS",
                                     "MSG_MISSING_PRIVKEY",
                                     "MSG_INVALID_CHARS_KEY",
                                     "CHARS_NAME",
                                     ""};

void LookUp(const app::ConfigDocument& config, const std::string& name) {
    (void)config.FindElement(name);
    (void)config.GetElementText(name);
    for (const char* attribute : {"DEFAULT", "CASE", "CONCATSTR", "VALID_CHARS_TABLE", "STR"})
        (void)config.GetElementAttribute(name, attribute);
    (void)config.IsMandatory(name);
    (void)config.GetDisplayText(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    app::ConfigDocument config;
    if (!config.Parse(std::string(reinterpret_cast<const char*>(data), size))) {
        fuzz::Check(!config.error().empty(), "a refused document says why");
        return 0;
    }
    fuzz::Check(config.loaded(), "a parsed document has a root");

    std::vector<std::string> names;
    for (pugi::xml_node child = config.Root().first_child(); child && names.size() < 64;
         child = child.next_sibling()) {
        if (child.type() == pugi::node_element)
            names.emplace_back(child.name());
    }
    for (const std::string& name : names)
        LookUp(config, name);
    for (const char* name : kProfileNames)
        LookUp(config, name);

    app::FieldList data_fields, key_fields;
    config.LoadFieldDefaults(data_fields, key_fields);
    (void)data_fields.Text();

    // The job's own reading of the document: letter case, separators, the
    // text trailer, and the components as it assembles them.
    app::TThread_GenReq job(config, data_fields, key_fields);
    bool mark = false;
    std::string text;
    job.GetTextFileMark(mark, text);
    for (uint32_t index = 0; index < names.size() && index < 20; ++index)
        job.FillComponent(index, names[index]);
    return 0;
}
