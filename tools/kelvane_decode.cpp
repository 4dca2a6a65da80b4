// kelvane-decode FILE.prn: what a customer settings file sets, one line per
// command, read with the editor's own command builders.
#include <cerrno>
#include <cstdio>
#include <string>

#include "device_output.hpp"
#include "settings_decode.hpp"

namespace {

const char* const Help =
    "usage: kelvane-decode FILE.prn\n"
    "Prints what a customer settings file (or any saved job) holds, one line per\n"
    "command: \"Memory Switch 3 = 0005 (bits 0, 2)\", the clear-all command, the\n"
    "closing command. Bytes that are no command are shown with their offset.\n"
    "\n"
    "  -h, --help  this text\n"
    "\n"
    "Exit status: 0 every byte is a command, 1 the file holds other bytes,\n"
    "2 bad usage or a file that cannot be read.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (argc != 2 || (argv[1][0] == '-' && argv[1][1] != '\0')) {
        std::fputs("usage: kelvane-decode FILE.prn\nTry 'kelvane-decode --help'.\n", stderr);
        return 2;
    }
    const std::string path = argv[1];
    std::string bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    int error = in ? 0 : errno;
    if (in) {
        char block[4096];
        std::size_t got = 0;
        while ((got = std::fread(block, 1, sizeof block, in)) > 0) bytes.append(block, got);
        if (std::ferror(in)) error = errno ? errno : EIO;
        std::fclose(in);
    }
    if (error != 0) {
        std::fprintf(stderr, "kelvane-decode: %s cannot be read: %s\n", path.c_str(),
                     kelvane::ErrorText(error).c_str());
        return 2;
    }

    bool foreign = false;
    for (const kelvane::DecodedCommand& command : kelvane::DecodeSettings(bytes)) {
        foreign = foreign || command.kind == kelvane::DecodedCommand::Kind::Unknown;
        std::printf("%s\n", kelvane::DescribeCommand(command).c_str());
    }
    if (bytes.empty()) std::printf("(empty file: nothing is sent)\n");
    std::fflush(stdout);
    return foreign ? 1 : 0;
}
