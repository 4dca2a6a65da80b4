#pragma once
// Outside programs run through the shell, for the tests that compare with them.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

namespace quarveld::test {

inline std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Runs a shell command line; the program's exit status, or -1.
inline int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quarveld::test
