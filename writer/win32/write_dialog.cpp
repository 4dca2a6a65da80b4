#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <memory>
#include <string>

#include "dialogs.hpp"
#include "resource.h"
#include "srecord.hpp"
#include "transfer.hpp"

namespace quarveld::win32 {
namespace {

// The file dialog's record lives as long as the program, so that the next run
// opens on the file and the filter chosen last.
char imagePath[256];
char imageName[32];
OPENFILENAMEA imageDialog;

bool ChooseImageFile(std::string& path) {
    if (imageDialog.lStructSize == 0) {
        imageDialog.lStructSize = sizeof imageDialog;
        imageDialog.lpstrFilter = "S-Format File (*.MOT)\0*.MOT\0Other File (*.*)\0*.*\0";
        imageDialog.nFilterIndex = 1;
        imageDialog.lpstrFile = imagePath;
        imageDialog.nMaxFile = sizeof imagePath;
        imageDialog.lpstrFileTitle = imageName;
        imageDialog.nMaxFileTitle = sizeof imageName;
        imageDialog.lpstrDefExt = "MOT";
    }
    if (!GetOpenFileNameA(&imageDialog)) return false;
    path = imagePath;
    return true;
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
        std::string path;
        if (!ChooseImageFile(path)) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        if (!OpenRunImage(run_, image_, path)) {
            Fail(run_.failure);
            return TRUE;
        }
        HWND counter = GetDlgItem(dialog, IDC_COUNTER);
        SendMessageA(counter, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(SYSTEM_FIXED_FONT)), FALSE);
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
