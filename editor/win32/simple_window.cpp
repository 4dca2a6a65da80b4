#include <algorithm>
#include <exception>

#include "app.hpp"
#include "controls.hpp"
#include "resource.h"
#include "windows.hpp"

namespace kelvane::win {

formSimple::formSimple() : parallelPort_(ReadParallelPort(EditorSettingsPath())) {
    Create("formSimple", "Kelvane - Simple Mode", 4920, 6135);

    // Frames first; the controls follow in tab order.
    MakeFrame(window_, "Settings", SimpleId("Frame1"), 120, 3600, 4695, 1935);
    Frame2 = MakeFrame(window_, "Bits", SimpleId("Frame2"), 120, 120, 2055, 3255);
    MakeFrame(window_, "Value to be set", SimpleId("Frame3"), 2280, 600, 2415, 1095);

    // The list drops below the field; the field keeps the table's height.
    cboMemSw = MakeControl(window_, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                           SimpleId("cboMemSw"), 2400, 120, 1815, 315 + 3000);
    MakeButton(window_, "Send to Printer", SimpleId("cmdSend2Prn"), 120, 5640, 1335, 375);
    MakeButton(window_, ">> Advanced >>", SimpleId("cmdAdv"), 1800, 5640, 1335, 375);
    MakeButton(window_, "E&xit", SimpleId("cmdCancel"), 3480, 5640, 1215, 375);
    MakeButton(window_, "Uncheck All", SimpleId("Uncheck_all"), 2640, 1800, 1815, 375);

    // Tab order runs from "Bit F:" down to "Bit 0:". The boxes lie in the
    // "Bits" frame at 120, 120.
    for (int i = 15; i >= 0; --i) {
        const bool left = i < 8;
        int width = left ? 1095 : 735;
        if (i == 3) width = 975;
        if (i == 7) width = 855;
        const char digit = "0123456789ABCDEF"[i];
        const std::string caption = std::string("Bit ") + digit + ":";
        Check1[i] = MakeControl(window_, "BUTTON", caption.c_str(), WS_TABSTOP | BS_AUTOCHECKBOX, Check1Id(i),
                                120 + (left ? 240 : 1320), 120 + 360 + 360 * (i % 8), width, 435);
    }

    VexloComm1 = std::make_unique<VexloComm>(window_, SimpleId("VexloComm1"), 600, 3840, 3825, 1560);
    VexloComm1->setShowSpooler(true);
    VexloComm1->setShowFile(true);

    // Inside "Value to be set" at 2280, 600.
    Label1 = MakeControl(window_, "STATIC", "", SS_LEFT | SS_NOPREFIX, SimpleId("Label1"), 2280 + 120, 600 + 360,
                         2055, 255);
    Label2 = MakeControl(window_, "STATIC", "", SS_LEFT | SS_NOPREFIX, SimpleId("Label2"), 2280 + 120, 600 + 720,
                         2055, 255);
    picture_ = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_IMAGE1), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    Image1 = MakeControl(window_, "STATIC", "", SS_OWNERDRAW, SimpleId("Image1"), 2520, 2280, 2100, 795);
}

formSimple::~formSimple() {
    advanced_.reset();
    if (picture_) DeleteObject(picture_);
}

void formSimple::Load() {
    FillSwitchSelector(cboMemSw);
    FinishLoad(*VexloComm1, cboMemSw, parallelPort_.problem);
}

void formSimple::Unload() { Form::Unload(*VexloComm1); }

void formSimple::Exit() {
    Unload();
    if (advanced_) advanced_->Unload();
    CheckProgramEnd();
}

void formSimple::ShowAgain() { present(); }

void formSimple::CheckProgramEnd() {
    if (loaded_ || (advanced_ && advanced_->isLoaded())) return;
    PostQuitMessage(0);
}

void formSimple::close() {
    // The close box ends the program as "E&xit" does; otherwise a hidden
    // advanced window would keep it running with nothing on screen.
    if (loaded_) Exit();
}

LRESULT formSimple::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        HWND box = reinterpret_cast<HWND>(lParam);
        const int i = GetDlgCtrlID(box) - Check1Id(0);
        if (GetParent(box) == window_ && i >= 0 && i < 16) {
            // The boxes of a column overlap (each is taller than the step
            // between them), and the bottom and right ones reach over the
            // "Bits" frame's line. A box paints its background, which is what
            // erases an old focus rectangle, only in its own part: inside the
            // line and up to the middle of each overlap, so that it never
            // wipes the line or a neighbour's focus rectangle.
            RECT own{}, place{}, next{};
            GetWindowRect(Frame2, &own);
            InflateRect(&own, -2, -2);
            GetWindowRect(box, &place);
            if (i % 8 != 0 && GetWindowRect(Check1[i - 1], &next)) own.top = std::max(own.top, (next.bottom + place.top) / 2);
            if (i % 8 != 7 && GetWindowRect(Check1[i + 1], &next))
                own.bottom = std::min(own.bottom, (place.bottom + next.top) / 2);
            MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&own), 2);
            IntersectClipRect(reinterpret_cast<HDC>(wParam), own.left, own.top, own.right, own.bottom);
        }
    }
    if (message == WM_DRAWITEM && wParam == static_cast<WPARAM>(SimpleId("Image1"))) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        BITMAP info{};
        if (picture_ && GetObjectA(picture_, sizeof info, &info)) {
            HDC source = CreateCompatibleDC(item->hDC);
            HGDIOBJ old = SelectObject(source, picture_);
            SetStretchBltMode(item->hDC, HALFTONE);
            const RECT& r = item->rcItem;
            // Stretched to its box.
            StretchBlt(item->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0, info.bmWidth,
                       info.bmHeight, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
        }
        return TRUE;
    }
    return Form::handle(message, wParam, lParam);
}

int32_t formSimple::cBinary(const std::string& BinaryString) {
    int32_t result = 0;
    int32_t weight = 1;
    for (size_t position = BinaryString.size(); position >= 1; --position) {
        const char c = BinaryString[position - 1];
        const int32_t digit = (c >= '0' && c <= '9') ? c - '0' : 0;
        result += digit * weight;
        weight *= 2;
    }
    return result;
}

void formSimple::UpdateValue() {
    std::string bits;
    for (int k = 0; k <= 15; ++k) {
        bits += SendMessageA(Check1[15 - k], BM_GETCHECK, 0, 0) == BST_CHECKED ? '1' : '0';
    }
    SetWindowTextA(Label1, ("Binary: " + bits).c_str());
    std::string hex;
    for (int i = 1; i <= 4; ++i) hex += "0123456789ABCDEF"[cBinary(bits.substr(4 * i - 4, 4))];
    SetWindowTextA(Label2, ("Hex:   " + hex).c_str());
    CurrentValue = hex;
}

void formSimple::command(int id, int code) {
    if (id >= Check1Id(0) && id <= Check1Id(15)) {
        if (code != BN_CLICKED) return;
        UpdateValue();
        // Drawn whole once more: the quick redraw of a tick can leave the
        // box's focus rectangle in pieces.
        InvalidateRect(GetDlgItem(window_, id), nullptr, FALSE);
        return;
    }
    if (code != BN_CLICKED) return;
    if (id == SimpleId("Uncheck_all")) Uncheck_all_Click();
    if (id == SimpleId("cmdSend2Prn")) cmdSend2Prn_Click();
    if (id == SimpleId("cmdAdv")) cmdAdv_Click();
    if (id == SimpleId("cmdCancel")) Exit();
}

void formSimple::Uncheck_all_Click() {
    // One at a time and in order: every box that changes recomputes before the next is set.
    for (HWND box : Check1) {
        if (SendMessageA(box, BM_GETCHECK, 0, 0) == BST_UNCHECKED) continue;
        SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);
        UpdateValue();
    }
}

void formSimple::cmdSend2Prn_Click() {
    const int16_t position = SelectedPosition(cboMemSw);
    if (position < 0) {
        // Number text "FFFF" would write the value into a switch nobody chose.
        ShowWarning(window_, "Choose a memory switch from the list before sending.");
        return;
    }
    // Before any box has changed the sixteen unticked boxes stand for 0000.
    const std::string value = CurrentValue.empty() ? "0000" : CurrentValue;
    try {
        CurrentSwitch = SimpleSend(*VexloComm1, position, value);
    } catch (const std::exception& e) {
        ShowFailure(window_, e.what());
    }
}

void formSimple::cmdAdv_Click() {
    ShowWindow(window_, SW_HIDE);
    if (!advanced_) {
        advanced_ = std::make_unique<formAdvanced>(this);
        advanced_->Load();
    }
    ShowWindow(advanced_->window(), SW_SHOW);
    SetForegroundWindow(advanced_->window());
}

}  // namespace kelvane::win
