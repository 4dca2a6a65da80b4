// quarveld-frames IMAGE: the name the dry run had before quarveld-write
// took it in as --dry-run; both print the same.
#include <cstdio>

#include "dry_run.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarveld-frames IMAGE (the same as quarveld-write --dry-run IMAGE)\n");
        return 2;
    }
    return tools::PrintFrames(argv[1]);
}
