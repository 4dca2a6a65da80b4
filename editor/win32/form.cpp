#include <windows.h>

#include <string>
#include <utility>

#include "app.hpp"
#include "resource.h"
#include "windows.hpp"

namespace kelvane::win {
namespace {

// Settings that could not be read, said once the window is up.
constexpr UINT UnreadSettings = WM_APP + 2;

}  // namespace

Form::~Form() {
    if (window_ && IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void Form::RegisterFormClass(const char* name) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, MAKEINTRESOURCEA(IDI_KELVANE2));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void Form::Create(const char* className, const char* caption, int width, int height) {
    RegisterFormClass(className);
    // A fixed size: the layout is laid out in twips, nothing stretches.
    window_ = CreateWindowExA(WS_EX_CONTROLPARENT, className, caption,
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                              100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetClientSize(window_, width, height);
}

void Form::FinishLoad(VexloComm& link, HWND firstFocus, std::string unread) {
    focus_ = firstFocus;
    loaded_ = true;
    try {
        link.LoadSettings(WindowSettingsName);
    } catch (const std::exception& e) {
        unread += (unread.empty() ? "" : "\n\n") + std::string(e.what());
    }
    // The window is not up yet: the message waits in its queue.
    unread_ = std::move(unread);
    if (!unread_.empty()) PostMessageA(window_, UnreadSettings, 0, 0);
}

void Form::Unload(VexloComm& link) {
    if (!loaded_) return;
    loaded_ = false;
    try {
        link.SaveSettings(WindowSettingsName);
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
    ShowWindow(window_, SW_HIDE);
}

void Form::present() {
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
}

LRESULT CALLBACK Form::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self) return self->handle(message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Form::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // Enter and Esc arrive as IDOK and IDCANCEL: no button takes them.
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(window_, focus)) focus_ = focus;
        } else if (focus_ && IsWindow(focus_)) {
            SetFocus(focus_);
            return 0;
        }
        return DefWindowProcA(window_, message, wParam, lParam);
    case UnreadSettings:
        ShowWarning(window_, unread_);
        return 0;
    case WM_CLOSE:
        close();
        return 0;
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

}  // namespace kelvane::win
