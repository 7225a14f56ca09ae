# Writes a C++ source that holds the shim's script and style sheet as raw
# string literals. The script is written in several files (SCRIPTS, a list
# separated by "|", in the order they are joined); they share one strict-mode
# function scope. Called with -DSCRIPTS=... -DSTYLE=... -DICON=... -DOUTPUT=...
string(REPLACE "|" ";" script_files "${SCRIPTS}")
set(script_text "(function() {\n'use strict';\n")
foreach(script_file IN LISTS script_files)
    file(READ "${script_file}" part_text)
    string(APPEND script_text "${part_text}")
endforeach()
string(APPEND script_text "})();\n")
file(READ "${STYLE}" style_text)
file(READ "${ICON}" icon_text)
string(CONCAT all_text "${script_text}" "${style_text}" "${icon_text}")
string(FIND "${all_text}" ")reqwiz_shim\"" delimiter_at)
if(NOT delimiter_at EQUAL -1)
    message(FATAL_ERROR "the shim contains the raw string delimiter")
endif()
if(all_text MATCHES "[^\t\n\r -~]")
    message(FATAL_ERROR "the shim must be ASCII only (pages are ISO-8859-1)")
endif()
file(WRITE "${OUTPUT}.tmp"
"// Generated from viewer/shim/ by embed_shim.cmake. Do not edit.\n"
"#include \"viewer/shim_text.h\"\n\n"
"namespace viewer {\n\n"
"const char kShimScript[] = R\"reqwiz_shim(${script_text})reqwiz_shim\";\n\n"
"const char kShimStyle[] = R\"reqwiz_shim(${style_text})reqwiz_shim\";\n\n"
"const char kWindowIcon[] = R\"reqwiz_shim(${icon_text})reqwiz_shim\";\n\n"
"}  // namespace viewer\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
