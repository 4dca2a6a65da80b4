#include "arguments.hpp"

#include <windows.h>

#include <shellapi.h>

#include "utf16_win32.hpp"

namespace tools {

Utf8Arguments::Utf8Arguments(int& argc, char**& argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    // Without the wide line the ANSI one is all there is.
    if (wide == nullptr) return;
    for (int i = 0; i < count; ++i) texts_.push_back(quarveld::Narrow(wide[i]));
    LocalFree(wide);
    for (std::string& text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
    argc = count;
    argv = pointers_.data();
}

}  // namespace tools
