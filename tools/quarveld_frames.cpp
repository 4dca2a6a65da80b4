// quarveld-frames IMAGE: the name the dry run had before quarveld-write
// took it in as --dry-run; both print the same.
#include <cstdio>
#include <cstring>

#include "dry_run.hpp"

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: quarveld-frames IMAGE\n"
                   "Prints every frame the S-record image IMAGE would be written as, one line of\n"
                   "hex each: the same as quarveld-write --dry-run IMAGE.\n"
                   "\n"
                   "Exit status: 0 the whole image reads, 1 it does not (the line on standard\n"
                   "error), 2 bad usage or an image that cannot be opened.\n",
                   stdout);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarveld-frames IMAGE (the same as quarveld-write --dry-run IMAGE)\n");
        return 2;
    }
    return tools::PrintFrames(argv[1]);
}
