// Kelvane2.exe: the memory-switch editor as a native Win32 program. The
// simple window comes first; the advanced window is made when first needed.
#include <windows.h>
#include <commctrl.h>

#include "app.hpp"
#include "windows.hpp"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    kelvane::win::formSimple simple;
    simple.Load();
    simple.ShowAgain();
    return kelvane::win::RunMessageLoop();
}
