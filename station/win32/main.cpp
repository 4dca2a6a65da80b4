// quarveld-station.exe: the flash station as a native Win32 program.
//   quarveld-station [--port DEVICE]... [IMAGE]
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "station_window.hpp"
#include "utf16_win32.hpp"

namespace {

// Unknown options are taken as an image's name: the window says what is wrong with it.
station::win::StartRequest ReadCommandLine() {
    station::win::StartRequest request;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr) return request;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = args[i];
        if (arg == L"--port" && i + 1 < count) {
            request.ports.push_back(quarveld::Narrow(args[++i]));
        } else if (arg.rfind(L"--port=", 0) == 0) {
            request.ports.push_back(quarveld::Narrow(arg.substr(7)));
        } else {
            request.image = quarveld::Narrow(arg);
        }
    }
    LocalFree(args);
    return request;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    station::win::StationWindow window(ReadCommandLine());
    if (window.window() == nullptr) return 1;
    return station::win::RunMessageLoop(window.window());
}
