#include <windows.h>
#include <commdlg.h>
#include <cderr.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app.hpp"
#include "controls.hpp"
#include "settings_files.hpp"
#include "utf16_win32.hpp"
#include "windows.hpp"

namespace kelvane::win {
namespace {

// Both dialogs offer these two choices, the first selected.
constexpr wchar_t SettingFilesFilter[] = L"Setting Files (*.prn)\0*.prn\0All Files (*.*)\0*.*\0";

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Upper-cases the box's text, leaving the caret and selection where they were.
void UpperCase(HWND box) {
    const std::string text = ControlText(box);
    const std::string upper = Upper(text);
    if (upper == text) return;
    DWORD start = 0, end = 0;
    SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetWindowTextA(box, upper.c_str());
    SendMessageA(box, EM_SETSEL, start, end);
}

std::string ClipboardText(HWND owner) {
    std::string text;
    if (!OpenClipboard(owner)) return text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace

formAdvanced::formAdvanced(formSimple* simple) : simple_(simple) {
    Create("formAdvanced", "Kelvane - Advanced Mode", 5115, 7260);

    MakeFrame(window_, "Memory Switch", AdvancedId("Frame3"), 240, 120, 3015, 2655);
    MakeFrame(window_, "Hex Value", AdvancedId("Frame4"), 3360, 120, 1455, 2655);
    MakeFrame(window_, "Reset", AdvancedId("frnReset"), 240, 2880, 2775, 735);
    MakeFrame(window_, "Setting Session", AdvancedId("Frame2"), 240, 3720, 4575, 855);
    MakeFrame(window_, "Settings", AdvancedId("Frame1"), 240, 4680, 4575, 1935);

    // The controls in tab order: each row's value box, then its selector.
    for (int i = 0; i < RowCount; ++i) {
        Text1[i] = MakeControl(window_, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, Text1Id(i), 3480, 360 + 480 * i,
                               1215, 315, WS_EX_CLIENTEDGE);
        SendMessageA(Text1[i], EM_LIMITTEXT, 4, 0);
        SetWindowLongPtrA(Text1[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        textProc_[i] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(Text1[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ValueBoxProc)));
        Combo1[i] = MakeControl(window_, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                Combo1Id(i), 360, 360 + 480 * i, 2775, 315 + 3000);
    }
    MakeButton(window_, "Send to Printer", AdvancedId("cmdSndPrn"), 240, 6720, 1335, 375);
    // Inside "Reset" at 240, 2880.
    MakeButton(window_, "Reset All Memory Switches", AdvancedId("cmdReset"), 240 + 240, 2880 + 240, 2295, 375);
    MakeButton(window_, "Exit", AdvancedId("cmdExit"), 3600, 6720, 1215, 375);
    MakeButton(window_, "<< Simple Mode <<", AdvancedId("cmdSimple"), 1800, 6720, 1575, 375);
    VexloComm1 = std::make_unique<VexloComm>(window_, AdvancedId("VexloComm1"), 600, 4920, 3825, 1560);
    VexloComm1->setShowSpooler(true);
    VexloComm1->setShowFile(true);
    MakeButton(window_, "Clear All", AdvancedId("Uncheck(0)"), 3480, 3120, 1215, 375);
    // Inside "Setting Session" at 240, 3720.
    MakeButton(window_, "Start Session", AdvancedId("Start_Session"), 240 + 360, 3720 + 360, 1215, 255);
    HWND save = MakeButton(window_, "Save Switches", AdvancedId("Save_switches"), 240 + 1680, 3720 + 360, 1215, 255);
    HWND load = MakeButton(window_, "Load Switches", AdvancedId("Load_Switches"), 240 + 3000, 3720 + 360, 1335, 255);
    AddTooltip(window_, save, "Save Customer Specific Settings");
    AddTooltip(window_, load, "Load Customer Specific Settings");
}

formAdvanced::~formAdvanced() {
    for (int i = 0; i < RowCount; ++i) {
        if (IsWindow(Text1[i])) SetWindowLongPtrA(Text1[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(textProc_[i]));
    }
}

void formAdvanced::Load() {
    session_.Load();
    for (HWND selector : Combo1) FillSwitchSelector(selector);
    FinishLoad(*VexloComm1, Text1[0]);
}

void formAdvanced::Unload() { Form::Unload(*VexloComm1); }

std::string formAdvanced::LimitTextInput(int keyCode) {
    static const char allowed[] = "0123456789ABCDEFabcdef";
    if (keyCode == 8) return std::to_string(keyCode);
    if (keyCode > 0 && keyCode < 0x80 && std::strchr(allowed, keyCode)) return std::to_string(keyCode);
    return "0";
}

LRESULT CALLBACK formAdvanced::ValueBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<formAdvanced*>(GetWindowLongPtrA(box, GWLP_USERDATA));
    const int index = GetDlgCtrlID(box) - Text1Id(0);
    WNDPROC original = self->textProc_[index];
    if (message == WM_CHAR) {
        const int keyCode = self->Text1_KeyPress(index, static_cast<int>(wParam));
        if (keyCode == 0) return 0;
        wParam = static_cast<WPARAM>(keyCode);
    } else if (message == WM_PASTE) {
        if (!self->Text1_Paste(index)) return 0;
    }
    return CallWindowProcA(original, box, message, wParam, lParam);
}

int formAdvanced::Text1_KeyPress(int /*index*/, int keyCode) {
    keyCode = std::stoi(LimitTextInput(keyCode));
    for (HWND box : Text1) {
        SendMessageA(box, EM_LIMITTEXT, 4, 0);
        UpperCase(box);
    }
    return keyCode == 8 ? keyCode : std::toupper(keyCode);
}

bool formAdvanced::Text1_Paste(int index) {
    // Pasted text passes no key filter: it is taken only when the box then
    // holds up to four hex digits.
    HWND box = Text1[index];
    const std::string pasted = ClipboardText(window_);
    std::string text = ControlText(box);
    DWORD start = 0, end = 0;
    SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start > text.size() || end > text.size() || start > end) start = end = static_cast<DWORD>(text.size());
    text.replace(start, end - start, pasted);
    if (pasted.empty() || text.size() > 4) return false;
    for (char c : text) {
        if (!IsHexDigit(c)) return false;
    }
    SendMessageA(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Upper(pasted).c_str()));
    return false;
}

void formAdvanced::command(int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == AdvancedId("Uncheck(0)")) Uncheck_Click(0);
    if (id == AdvancedId("cmdSndPrn")) cmdSndPrn_Click();
    if (id == AdvancedId("cmdReset")) cmdReset_Click();
    if (id == AdvancedId("Start_Session")) Start_Session_Click();
    if (id == AdvancedId("Save_switches")) Save_switches_Click();
    if (id == AdvancedId("Load_Switches")) Load_Switches_Click();
    if (id == AdvancedId("cmdSimple")) cmdSimple_Click();
    if (id == AdvancedId("cmdExit")) cmdExit_Click();
}

void formAdvanced::Uncheck_Click(int /*index*/) {
    for (int i = 0; i < RowCount; ++i) {
        SetWindowTextA(Text1[i], "");
        SendMessageA(Combo1[i], CB_SETCURSEL, 0, 0);
    }
}

void formAdvanced::cmdSndPrn_Click() {
    std::array<Row, RowCount> rows;
    for (int r = 0; r < RowCount; ++r) {
        rows[r].listPosition = SelectedPosition(Combo1[r]);
        rows[r].valueText = ControlText(Text1[r]);
        // Number text "FFFF" would write the value into a switch nobody chose.
        if (!rows[r].valueText.empty() && rows[r].listPosition < 0) {
            const std::string row = std::to_string(r + 1);
            ShowWarning(window_, "Row " + row + " has a value but no memory switch. Choose a memory switch from the list of row " + row + " before sending.");
            return;
        }
    }
    try {
        AdvancedSend(*VexloComm1, rows, session_);
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
}

void formAdvanced::cmdReset_Click() {
    try {
        ResetAllMemorySwitches(*VexloComm1, [this](const std::string& prompt) { return AskConfirm(window_, prompt); });
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
}

void formAdvanced::Start_Session_Click() {
    try {
        StartSession(*VexloComm1, session_, [this](const std::string& prompt) { return AskConfirm(window_, prompt); });
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
}

std::string formAdvanced::RunFileDialog(bool save) {
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = SettingFilesFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = dialogFileName_.data();
    dialog.nMaxFile = static_cast<DWORD>(dialogFileName_.size());
    dialog.lpstrInitialDir = L"C:\\";
    dialog.lpstrTitle = save ? L"Save" : L"Open";
    // A save replaces an existing file only after the user confirms; an open
    // takes only a file that is there.
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    // The name chosen last is offered again, by either button.
    const std::array<wchar_t, MAX_PATH> previous = dialogFileName_;
    // The open dialog makes the chosen folder the current one whatever the
    // flags say; set back, it does not hold the folder (a USB stick).
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetCurrentDirectoryW(MAX_PATH, folder.data()));
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
    if (!chosen) {
        const DWORD code = CommDlgExtendedError();
        dialogFileName_ = previous;
        // Cancel is no failure; anything else is said, never taken for Cancel.
        if (code != 0) {
            char number[16];
            std::snprintf(number, sizeof number, "0x%04lx", static_cast<unsigned long>(code));
            ShowFailure(window_, std::string(code == FNERR_BUFFERTOOSMALL
                                                 ? "The path chosen is longer than the file dialog can take"
                                             : code == FNERR_INVALIDFILENAME ? "The file name is not valid"
                                                                             : "The file dialog could not be shown") +
                                     " (file dialog error " + number + ").");
        }
        return {};
    }
    const std::string path = Narrow(dialogFileName_.data());
    // A wildcard is a filter the user typed, never a file name.
    if (path.find_first_of("*?") != std::string::npos) {
        dialogFileName_ = previous;
        return {};
    }
    return path;
}

void formAdvanced::Save_switches_Click() {
    if (!session_.SessionHasValues) {
        ShowWarning(window_, NoSessionMessage);
        return;
    }
    // A cancel ends the save: writing to the previous name would replace that file.
    const std::string path = RunFileDialog(true);
    if (path.empty()) return;
    try {
        SaveSessionToFile(*VexloComm1, session_, path);
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
}

void formAdvanced::Load_Switches_Click() {
    // A cancel ends the load: the previous file would go to the printer again.
    const std::string path = RunFileDialog(false);
    if (path.empty()) return;
    std::exception_ptr failure;
    RunKeepingPainted([&] {
        try {
            ReplayFile(path, simple_->parallelPort());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
}

void formAdvanced::cmdSimple_Click() {
    ShowWindow(window_, SW_HIDE);
    simple_->ShowAgain();
}

void formAdvanced::cmdExit_Click() {
    Unload();
    simple_->Unload();
    simple_->CheckProgramEnd();
}

void formAdvanced::close() {
    // The close box ends the program as "Exit" does; otherwise the hidden
    // simple window would keep it running with nothing on screen.
    if (loaded_) cmdExit_Click();
}

}  // namespace kelvane::win
