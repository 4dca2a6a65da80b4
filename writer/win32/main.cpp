// QUARVELD.exe: the flash writer's main window. Its menu runs the Write and
// Port dialogs; leaving asks whether to save the port settings.
#include <windows.h>

#include <string>

#include "dialogs.hpp"
#include "resource.h"
#include "settings_file.hpp"

namespace quarveld::win32 {

HINSTANCE instance = nullptr;

DeviceMap SystemDevices() { return MachineDevices(); }

namespace {

// A bare name: the profile functions keep it in the Windows folder.
constexpr const char* IniFile = "TORWIN.INI";
constexpr const char* Caption = "Flarnex  Ver1.1.0.1";

PortSettings settings;

void SaveOnExit(HWND window) {
    std::string why;
    // The answer stands; but a save that failed is said, not passed over.
    if (!SavePortSettings(settings, IniFile, &why)) {
        const std::string text = std::string("The port settings could not be saved in ") + IniFile + ":\n" + why;
        MessageBoxA(window, text.c_str(), Caption, MB_OK | MB_ICONEXCLAMATION);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            LoadPortSettings(settings, IniFile);
            return 0;
        case WM_COMMAND:
            switch (wParam) {
                case IDM_WRITE:
                    RunWriteDialog(window, settings);
                    break;
                case IDM_PORT:
                    RunPortDialog(window, settings);
                    break;
                case IDM_EXIT:
                    PostMessageA(window, WM_CLOSE, 0, 0);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_CLOSE:
            switch (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_EXIT), window, NoticeDialogProc, 0)) {
                case IDYES:
                    SaveOnExit(window);
                    DestroyWindow(window);
                    break;
                case IDNO:
                    DestroyWindow(window);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace
}  // namespace quarveld::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showMode) {
    using namespace quarveld::win32;
    quarveld::win32::instance = instance;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_CHIP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    windowClass.lpszClassName = "QUARVELD";
    if (!RegisterClassA(&windowClass)) return 0;

    HWND window = CreateWindowExA(0, "QUARVELD", Caption, WS_OVERLAPPED | WS_SYSMENU | WS_MINIMIZEBOX, 20, 20,
                                  480, 80, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    ShowWindow(window, showMode);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
