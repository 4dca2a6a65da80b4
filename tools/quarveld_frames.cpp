// quarveld-frames IMAGE: the name the dry run had before quarveld-write
// took it in as --dry-run; both print the same.
#include <cstdio>
#include <string>

#include "dry_run.hpp"

namespace {
const char* const Help =
    "usage: quarveld-frames IMAGE\n"
    "Prints every frame the S-record image IMAGE would send to the printer, one\n"
    "line of hex pairs per frame in send order; nothing is sent. The same as\n"
    "quarveld-write --dry-run IMAGE.\n"
    "\n"
    "  -h, --help  this text\n"
    "\n"
    "Exit status: 0 at the image's termination record, 1 for a damaged line or an\n"
    "image that ends too early (the reason on standard error), 2 bad usage or an\n"
    "image that cannot be opened.\n";
}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::fputs(Help, stdout);
        return 0;
    }
    // An image whose name starts with '-' is given as ./-NAME.
    if (argc != 2 || (first.size() > 1 && first[0] == '-')) {
        std::fprintf(stderr, "usage: quarveld-frames IMAGE (the same as quarveld-write --dry-run IMAGE)\n"
                             "Try 'quarveld-frames --help'.\n");
        return 2;
    }
    return tools::PrintFrames(first);
}
