#include "dialogs.hpp"
#include "notice_place.hpp"

namespace quarveld::win32 {
namespace {

ScreenBox BoxOf(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

// Centred below `owner`, on the screen that shows it.
void PlaceBelow(HWND dialog, HWND owner) {
    RECT ownerRect{}, own{};
    GetWindowRect(owner, &ownerRect);
    GetWindowRect(dialog, &own);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const ScreenBox place =
        NoticePlace(BoxOf(ownerRect), own.right - own.left, own.bottom - own.top, BoxOf(monitor.rcWork));
    SetWindowPos(dialog, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

INT_PTR CALLBACK NoticeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            if (lParam != 0) PlaceBelow(dialog, reinterpret_cast<HWND>(lParam));
            return TRUE;  // the default button takes the focus
        case WM_COMMAND:
            // The whole parameter: a notification from some other control is no answer.
            if (wParam >= 1 && wParam <= 7) {
                EndDialog(dialog, static_cast<INT_PTR>(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace quarveld::win32
