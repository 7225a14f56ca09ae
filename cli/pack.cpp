// reqwiz-pack: the build's packing tool.
//
//   reqwiz-pack stamp <program>
//       writes the program file's own size into its bare-size record.
//   reqwiz-pack pack <program> <profile-folder> <output>
//       writes <output>: the stamped program's bytes followed by the ZIP
//       archive of the profile folder, executable.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "cli/bare_size.h"
#include "cli/profile_zip.h"
#include "platform/files.h"

namespace {

int Fail(const std::string& why) {
    std::fprintf(stderr, "reqwiz-pack: %s\n", why.c_str());
    return 1;
}

// Offset of the bare-size record in the program, or npos when the marker is
// missing or occurs more than once.
size_t FindRecord(const std::string& program) {
    const std::string marker(REQWIZ_BARE_SIZE_MARKER, kBareSizeMarkerLength);
    size_t at = program.find(marker);
    if (at == std::string::npos || program.find(marker, at + 1) != std::string::npos)
        return std::string::npos;
    if (at + kBareSizeRecordLength > program.size())
        return std::string::npos;
    return at;
}

uint64_t RecordedSize(const std::string& program, size_t at) {
    uint64_t size = 0;
    for (unsigned i = 0; i < 8; ++i)
        size |= static_cast<uint64_t>(static_cast<uint8_t>(program[at + kBareSizeMarkerLength + i]))
                << (8 * i);
    return size;
}

int Stamp(const std::string& path) {
    std::string program;
    if (!platform::ReadWholeFile(path, program))
        return Fail("cannot read " + path);
    size_t at = FindRecord(program);
    if (at == std::string::npos)
        return Fail("no single bare-size record in " + path);
    uint64_t size = program.size();
    for (unsigned i = 0; i < 8; ++i)
        program[at + kBareSizeMarkerLength + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    // Written in place, so the file keeps its mode.
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at + kBareSizeMarkerLength));
    out.write(program.data() + at + kBareSizeMarkerLength, 8);
    out.close();
    if (!out)
        return Fail("cannot write " + path);
    return 0;
}

int Pack(const std::string& program_path, const std::string& folder, const std::string& output) {
    std::string program;
    if (!platform::ReadWholeFile(program_path, program))
        return Fail("cannot read " + program_path);
    size_t at = FindRecord(program);
    if (at == std::string::npos || RecordedSize(program, at) != program.size())
        return Fail(program_path + " is not stamped with its own size");

    const std::string zip_path = output + ".zip.tmp";
    std::string error;
    if (!cli::WriteProfileZip(folder, zip_path, error)) {
        std::remove(zip_path.c_str());
        return Fail(error);
    }
    std::string archive;
    bool read = platform::ReadWholeFile(zip_path, archive);
    std::remove(zip_path.c_str());
    if (!read)
        return Fail("cannot read back " + zip_path);

    const std::string partial = output + ".tmp";
    if (!platform::WriteWholeFile(partial, program + archive) ||
        chmod(partial.c_str(), 0755) != 0 || std::rename(partial.c_str(), output.c_str()) != 0) {
        std::remove(partial.c_str());
        return Fail("cannot write " + output);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "stamp") == 0)
        return Stamp(argv[2]);
    if (argc == 5 && std::strcmp(argv[1], "pack") == 0)
        return Pack(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: reqwiz-pack stamp <program>\n"
                 "       reqwiz-pack pack <program> <profile-folder> <output>\n");
    return 2;
}
