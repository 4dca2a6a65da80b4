#include "dialogs.hpp"

namespace quarveld::win32 {

INT_PTR CALLBACK NoticeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
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
