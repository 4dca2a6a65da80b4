#include "dialogs.hpp"
#include "resource.h"

namespace quarveld::win32 {
namespace {

// The baud-rate, bit-length and parity buttons mean nothing on LPT1.
void EnableSerialButtons(HWND dialog, BOOL enable) {
    for (int id = IDC_19200; id <= IDC_EVEN; ++id) EnableWindow(GetDlgItem(dialog, id), enable);
}

INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            const PortSettings& settings = *reinterpret_cast<PortSettings*>(lParam);
            CheckRadioButton(dialog, IDC_19200, IDC_2400, settings.BaudRate);
            CheckRadioButton(dialog, IDC_8BIT, IDC_7BIT, settings.BitLength);
            CheckRadioButton(dialog, IDC_NONE, IDC_EVEN, settings.Parity);
            CheckRadioButton(dialog, IDC_COM1, IDC_LPT1, settings.Port);
            if (IsDlgButtonChecked(dialog, IDC_LPT1) == BST_CHECKED) EnableSerialButtons(dialog, FALSE);
            return TRUE;
        }
        case WM_COMMAND:
            switch (wParam) {
                case IDC_COM1:
                case IDC_COM2:
                    EnableSerialButtons(dialog, TRUE);
                    return FALSE;
                case IDC_LPT1:
                    EnableSerialButtons(dialog, FALSE);
                    return FALSE;
                case IDOK: {
                    // Disabled buttons are read too: the serial choices survive LPT1.
                    PortSettings& settings = *reinterpret_cast<PortSettings*>(GetWindowLongPtrA(dialog, DWLP_USER));
                    for (int id = IDC_19200; id <= IDC_LPT1; ++id) {
                        if (IsDlgButtonChecked(dialog, id) != BST_CHECKED) continue;
                        if (id <= IDC_2400) settings.BaudRate = id;
                        else if (id <= IDC_7BIT) settings.BitLength = id;
                        else if (id <= IDC_EVEN) settings.Parity = id;
                        else settings.Port = id;
                    }
                    EndDialog(dialog, IDOK);
                    return TRUE;
                }
                case IDCANCEL:
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR RunPortDialog(HWND owner, PortSettings& settings) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PORT), owner, PortDialogProc,
                           reinterpret_cast<LPARAM>(&settings));
}

}  // namespace quarveld::win32
