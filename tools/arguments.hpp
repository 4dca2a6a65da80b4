#pragma once
// The command line as UTF-8 on every system. Windows hands a program's main
// its arguments in the ANSI code page, where a name in another script turns
// into "?"; the tools take theirs from the wide command line instead.
#include <string>
#include <vector>

namespace tools {

// Points argc and argv at UTF-8 copies of the arguments for as long as it
// lives (Linux: leaves them as they are).
class Utf8Arguments {
public:
    Utf8Arguments(int& argc, char**& argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

}  // namespace tools
