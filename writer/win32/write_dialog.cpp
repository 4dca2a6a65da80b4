#include <windows.h>
#include <commdlg.h>
#include <cderr.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "dialogs.hpp"
#include "resource.h"
#include "srecord.hpp"
#include "transfer.hpp"
#include "utf16_win32.hpp"

namespace quarveld::win32 {
namespace {

// The file dialog's record lives as long as the program, so that the next run
// opens on the file and the filter chosen last. Paths may be as long as the
// system allows and in any script.
wchar_t imagePath[MAX_PATH];
wchar_t imageName[MAX_PATH];
OPENFILENAMEW imageDialog;

enum class Choice { Chosen, Cancelled, Failed };

// The dialog's own reason for a failure, CommDlgExtendedError's code.
std::string DialogFailure(DWORD code) {
    char text[96];
    const char* what = code == FNERR_BUFFERTOOSMALL     ? "the path is longer than it can take"
                       : code == FNERR_INVALIDFILENAME ? "the file name is not valid"
                                                       : "it could not be shown";
    std::snprintf(text, sizeof text, "the image cannot be chosen: %s (file dialog error 0x%04lx)", what,
                  static_cast<unsigned long>(code));
    return text;
}

// Owned by the main window, so that it has no taskbar button of its own and
// comes back with the main window. Windows makes the chosen folder the
// current one, whatever the flags say; it is set back, so that the folder
// (a USB stick) is not held while the program runs.
Choice ChooseImageFile(HWND owner, std::string& path, std::string& why) {
    if (imageDialog.lStructSize == 0) {
        imageDialog.lStructSize = sizeof imageDialog;
        imageDialog.lpstrFilter = L"S-Format File (*.MOT)\0*.MOT\0Other File (*.*)\0*.*\0";
        imageDialog.nFilterIndex = 1;
        imageDialog.lpstrFile = imagePath;
        imageDialog.nMaxFile = MAX_PATH;
        imageDialog.lpstrFileTitle = imageName;
        imageDialog.nMaxFileTitle = MAX_PATH;
        imageDialog.lpstrDefExt = L"MOT";
        imageDialog.Flags = OFN_NOCHANGEDIR;
    }
    imageDialog.hwndOwner = owner;
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetCurrentDirectoryW(MAX_PATH, folder.data()));
    const std::wstring previous = imagePath;
    const BOOL chosen = GetOpenFileNameW(&imageDialog);
    if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
    if (chosen) {
        path = Narrow(imagePath);
        return Choice::Chosen;
    }
    const DWORD code = CommDlgExtendedError();
    // A failure may leave the buffer holding anything (the size it wanted).
    wcsncpy(imagePath, previous.c_str(), MAX_PATH - 1);
    if (code == 0) return Choice::Cancelled;
    why = DialogFailure(code);
    return Choice::Failed;
}

// The counter's fixed font follows the display's dots per inch, and the
// dialog's units need not grow as much: at 144 dpi the box would show no
// digit at all. Where the widest count does not fit, the box grows to the
// right, "Byte" and the dialog's edge move with it and ABORT stays centred.
void FitCounter(HWND dialog, HWND counter) {
    HDC dc = GetDC(counter);
    if (dc == nullptr) return;
    const HGDIOBJ previous = SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
    SIZE text{};
    const BOOL measured = GetTextExtentPoint32A(dc, "88888888", 8, &text);
    SelectObject(dc, previous);
    ReleaseDC(counter, dc);
    RECT box{};
    GetWindowRect(counter, &box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    const long width = box.right - box.left, height = box.bottom - box.top;
    if (!measured || (text.cx <= width && text.cy <= height)) return;
    const long wider = text.cx > width ? text.cx - width : 0;
    SetWindowPos(counter, nullptr, box.left, box.top, width + wider, text.cy > height ? text.cy : height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (wider == 0) return;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place{};
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        const long move = GetDlgCtrlID(child) == IDABORT ? wider / 2 : place.left >= box.right ? wider : 0;
        if (child != counter && move != 0)
            SetWindowPos(child, nullptr, place.left + move, place.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame{};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + wider, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The notice says only that the run failed; this line says what failed.
void ReportFailure(const std::string& why) {
    std::fprintf(stderr, "QUARVELD: %s\n", why.c_str());
    std::fflush(stderr);
}

// Below the Write dialog, whose counter it must leave readable; below the
// main window when the run failed before the Write dialog was shown.
void RunNotice(HWND owner, int resource) {
    const HWND below = IsWindowVisible(owner) ? owner : GetWindow(owner, GW_OWNER);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(resource), owner, NoticeDialogProc,
                    reinterpret_cast<LPARAM>(below != nullptr ? below : owner));
}

// One write run, owned by the Write dialog.
class WriteDialog final : public WriteObserver {
public:
    explicit WriteDialog(const PortSettings& settings) : settings_(settings) {}

    // The worker's messages, each handled by the dialog before this returns.
    // The dialog may be gone once it has returned: touch nothing after it.
    void HandleWriteMessage(int message, int32_t lParam) override {
        SendMessageA(dialog_, static_cast<UINT>(message), 0, static_cast<LPARAM>(lParam));
    }

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            return reinterpret_cast<WriteDialog*>(lParam)->Start(dialog);
        }
        auto* self = reinterpret_cast<WriteDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
        return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
    }

private:
    // Runs before the dialog is first shown, so the file dialog comes first.
    INT_PTR Start(HWND dialog) {
        dialog_ = dialog;
        std::string path, why;
        const HWND owner = GetWindow(dialog, GW_OWNER);
        switch (ChooseImageFile(owner != nullptr ? owner : dialog, path, why)) {
            case Choice::Chosen: break;
            case Choice::Cancelled: EndDialog(dialog, 0); return TRUE;
            case Choice::Failed: Fail(why); return TRUE;
        }
        if (!OpenRunImage(run_, image_, path)) {
            Fail(run_.failure);
            return TRUE;
        }
        HWND counter = GetDlgItem(dialog, IDC_COUNTER);
        SendMessageA(counter, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)), FALSE);
        FitCounter(dialog, counter);
        SetCounter(0);

        port_ = OpenRunPort(run_, settings_, SystemDevices());
        if (!port_) {
            Fail(run_.failure);
            return TRUE;
        }
        run_.progressWindow = this;
        if (!StartWriteWorker(run_)) {
            // No worker will ever answer: end like a port that cannot be opened.
            Fail(run_.failure);
            return TRUE;
        }
        PostMessageA(dialog, UM_WRITE_PROGRESS, 0, 0);
        return TRUE;
    }

    void Fail(const std::string& why) {
        CloseRun();
        ReportFailure(why);
        RunNotice(dialog_, IDD_WRITE_ERROR);
        EndDialog(dialog_, 0);
    }

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case UM_WRITE_PROGRESS:
                // The start's posted 0 is taken after any total the worker
                // has already sent (sent messages come first): it must not
                // turn the counter back.
                if (InSendMessage()) {
                    workerTotalShown_ = true;
                } else if (workerTotalShown_) {
                    return TRUE;
                }
                SetCounter(static_cast<int32_t>(lParam));
                return TRUE;
            case UM_WRITE_END:
                CloseRun();
                RunNotice(dialog_, IDD_WRITE_END);
                EndDialog(dialog_, 1);
                return TRUE;
            case UM_WRITE_ERROR:
                Fail(run_.failure);
                return TRUE;
            case UM_WRITE_ABORTED:
                CloseRun();
                EndDialog(dialog_, 3);
                return TRUE;
            case WM_COMMAND:
                // ABORT only tells the worker; the dialog ends with its answer.
                // Escape and every other command do nothing.
                if (wParam == IDABORT) run_.writeRunning.store(0);
                return TRUE;
            default:
                return FALSE;
        }
    }

    void SetCounter(int32_t total) {
        char text[16];
        std::snprintf(text, sizeof text, "%8ld", static_cast<long>(total));
        SetDlgItemTextA(dialog_, IDC_COUNTER, text);
    }

    void CloseRun() {
        if (port_) ClosePort(port_);
        if (image_.file != nullptr) CloseImage(image_);
    }

    const PortSettings settings_;
    HWND dialog_ = nullptr;
    WriteRun run_;
    Image image_;
    std::unique_ptr<WritePort> port_;
    bool workerTotalShown_ = false;
};

}  // namespace

INT_PTR RunWriteDialog(HWND owner, const PortSettings& settings) {
    WriteDialog run(settings);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WRITE), owner, WriteDialog::Proc,
                           reinterpret_cast<LPARAM>(&run));
}

}  // namespace quarveld::win32
