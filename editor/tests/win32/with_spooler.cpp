// Runs a command beside a private print spooler with one raw queue,
// "kelvane-e2e", that is the default: CUPS_SERVER names the spooler and
// KELVANE_CAPTURE the folder where the queue's jobs land, one file each.
//   kelvane_with_spooler COMMAND [ARGS...]
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vexlo_cupsd.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvane_with_spooler COMMAND [ARGS...]\n");
        return 2;
    }
    vexlotest::PrivateCupsd cupsd;
    std::string why;
    if (!cupsd.Start(&why) || !cupsd.AddQueue("kelvane-e2e", true)) {
        std::fprintf(stderr, "the private spooler did not start: %s\n", why.c_str());
        return 1;
    }
    setenv("CUPS_SERVER", cupsd.socket().c_str(), 1);
    setenv("KELVANE_CAPTURE", (cupsd.dir() / "capture" / "kelvane-e2e").c_str(), 1);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
