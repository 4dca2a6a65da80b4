#include "app.hpp"

#include <commctrl.h>

#include <atomic>
#include <thread>

#include "commands.hpp"
#include "send_session.hpp"
#include "utf16_win32.hpp"

namespace kelvane::win {

int Twips(int twips) {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return MulDiv(twips, dpi, 1440);
}

HFONT WindowFont() {
    // The font the layout was made for: 8 points of MS Sans Serif.
    static const HFONT font = CreateFontA(-MulDiv(8, Twips(1440), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                          ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    return font;
}

HWND MakeControl(HWND parent, const char* className, const char* text, DWORD style, int id, int left, int top,
                 int width, int height, DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, Widen(className).c_str(), Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, Twips(left), Twips(top),
                                   Twips(width), Twips(height), parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                   nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont()), FALSE);
    return control;
}

HWND MakeButton(HWND parent, const char* text, int id, int left, int top, int width, int height) {
    // Never BS_DEFPUSHBUTTON: no button reacts to Enter by default.
    return MakeControl(parent, "BUTTON", text, WS_TABSTOP | BS_PUSHBUTTON, id, left, top, width, height);
}

HWND MakeFrame(HWND parent, const char* text, int id, int left, int top, int width, int height) {
    return MakeControl(parent, "BUTTON", text, BS_GROUPBOX, id, left, top, width, height);
}

void SetClientSize(HWND window, int width, int height) {
    RECT rect{0, 0, Twips(width), Twips(height)};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void AddTooltip(HWND window, HWND control, const char* text) {
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    TOOLINFOA info{};
    // The size that every version of the common controls takes.
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = window;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text);
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void ShowFailure(HWND owner, const std::string& reason) {
    MessageBoxW(owner, Widen(reason).c_str(), Widen(AppTitle).c_str(), MB_OK | MB_ICONSTOP);
}

void ShowWarning(HWND owner, const std::string& text) {
    MessageBoxW(owner, Widen(text).c_str(), Widen(AppTitle).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool AskConfirm(HWND owner, const std::string& prompt) {
    return MessageBoxW(owner, Widen(prompt).c_str(), Widen(ConfirmTitle).c_str(),
                       MB_OKCANCEL | MB_ICONSTOP | MB_DEFBUTTON1) == IDOK;
}

void FillSwitchSelector(HWND selector) {
    for (int n = 0; n < SwitchCount; ++n) {
        SendMessageA(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SwitchName(n).c_str()));
    }
    SendMessageA(selector, CB_SETCURSEL, 0, 0);
}

std::string ControlText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return Narrow(text);
}

void SetControlText(HWND control, const std::string& text) { SetWindowTextW(control, Widen(text).c_str()); }

LRESULT AddComboItem(HWND combo, const std::string& text) {
    return SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

int16_t SelectedPosition(HWND selector) {
    // Typed text keeps the old selection in the list: the text decides.
    const std::string text = ControlText(selector);
    const LRESULT found = SendMessageW(selector, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(Widen(text).c_str()));
    return found == CB_ERR ? int16_t{-1} : static_cast<int16_t>(found);
}

void RunKeepingPainted(const std::function<void()>& work) {
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        // Painting and sent messages only: a click, posted or typed, must not
        // start a second workflow meanwhile; it waits in the queue.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_PAINT | QS_SENDMESSAGE);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) DispatchMessageA(&msg);
    }
    worker.join();
    SetCursor(previous);
}

int RunMessageLoop() {
    MSG msg;
    // Wide, so that a character typed into a box reaches it whole.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        HWND active = GetActiveWindow();
        if (active && IsDialogMessageW(active, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace kelvane::win
