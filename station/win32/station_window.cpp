#include "station_window.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#include <algorithm>
#include <cstdio>

#include "controls.hpp"
#include "machine.hpp"
#include "resource.h"
#include "run_log.hpp"
#include "settings_file.hpp"
#include "utf16_win32.hpp"

namespace station::win {
namespace {

constexpr const wchar_t* Title = L"QUARVELD Station";
constexpr const wchar_t* RowsClass = L"QuarveldStationRows";
constexpr UINT_PTR PollTimer = 1, WatchTimer = 2, DevicesTimer = 3;
constexpr int PollMs = 100;
constexpr int RowHeight = 14;  // dialog units

// The line's choices, as QUARVELD's "Port" dialog offers them.
struct Choice {
    const wchar_t* text;
    int32_t id;
};
constexpr Choice BaudRates[] = {{L"19200bps", quarveld::ID_19200}, {L"9600bps", quarveld::ID_9600},
                                {L"4800bps", quarveld::ID_4800}, {L"2400bps", quarveld::ID_2400}};
constexpr Choice BitLengths[] = {{L"8bit", quarveld::ID_8BIT}, {L"7bit", quarveld::ID_7BIT}};
constexpr Choice Parities[] = {{L"None", quarveld::ID_NONE}, {L"Odd", quarveld::ID_ODD},
                               {L"Even", quarveld::ID_EVEN}};

// A row's mark beside its words: colour is never the only sign.
enum Colour { Grey, Blue, Amber, Green, Red };
constexpr COLORREF Colours[] = {RGB(0xA0, 0xA0, 0xA0), RGB(0x20, 0x60, 0xD0), RGB(0xE0, 0x90, 0x10),
                                RGB(0x20, 0xA0, 0x30), RGB(0xD0, 0x20, 0x20)};

std::wstring Text(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

std::string ItemText(HWND dialog, int id) { return quarveld::Narrow(Text(GetDlgItem(dialog, id))); }

void SetItemText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, quarveld::Widen(text).c_str());
}

void SetText(HWND control, const std::string& text) {
    // Unchanged text is not set again: a row redrawn ten times a second would flicker.
    const std::wstring wide = quarveld::Widen(text);
    if (Text(control) != wide) SetWindowTextW(control, wide.c_str());
}

template <std::size_t N>
void FillChoices(HWND combo, const Choice (&choices)[N], int32_t chosen) {
    int selected = 0;
    for (std::size_t i = 0; i < N; ++i) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choices[i].text));
        if (choices[i].id == chosen) selected = static_cast<int>(i);
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

template <std::size_t N>
int32_t Chosen(HWND combo, const Choice (&choices)[N]) {
    const LRESULT at = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return at >= 0 && static_cast<std::size_t>(at) < N ? choices[at].id : choices[0].id;
}

std::string Thousands(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// Port names match in any case, as Windows takes them.
bool SamePortName(const std::string& a, const std::string& b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, quarveld::Widen(a).c_str(), -1,
                          quarveld::Widen(b).c_str(), -1) == CSTR_EQUAL;
}

// The folder `path` goes in, when it is missing (the per-user one at first).
void MakeParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0) CreateDirectoryW(quarveld::Widen(path.substr(0, slash)).c_str(), nullptr);
}

// Today's record in the user's data folder, as Windows writes paths.
std::string TodaysRecord() {
    std::string path = DailyLogPath(StationDataFolder(), std::chrono::system_clock::now());
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A dialog-unit rectangle in the window's pixels.
RECT Units(HWND dialog, int left, int top, int width, int height) {
    RECT rect{left, top, left + width, top + height};
    MapDialogRect(dialog, &rect);
    return rect;
}

}  // namespace

StationWindow::StationWindow(const StartRequest& request) {
    WNDCLASSW rows{};
    rows.lpfnWndProc = RowsProc;
    rows.hInstance = GetModuleHandleW(nullptr);
    rows.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    rows.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    rows.lpszClassName = RowsClass;
    RegisterClassW(&rows);
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_STATION), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) return;
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_STATION));
    SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    rows_ = GetDlgItem(dialog_, StationId("picRows"));
    SetWindowLongPtrW(rows_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Load(request);
    ShowWindow(dialog_, SW_SHOW);
    // With an image from the command line, Enter writes at once.
    Focus(image_ ? "cmdStart" : "txtImage");
    SetTimer(dialog_, WatchTimer, 1000, nullptr);
}

StationWindow::~StationWindow() {
    if (dialog_ != nullptr && IsWindow(dialog_)) DestroyWindow(dialog_);
}

INT_PTR CALLBACK StationWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<StationWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK StationWindow::RowsProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<StationWindow*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            // The rows are the window's controls: their clicks and colours are its.
            return SendMessageW(GetParent(panel), message, wParam, lParam);
        case WM_VSCROLL:
            if (self != nullptr) self->ScrollRows(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL:
            if (self != nullptr) self->ScrollRows(GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
            return 0;
        default:
            return DefWindowProcW(panel, message, wParam, lParam);
    }
}

INT_PTR StationWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_TIMER:
            if (wParam == PollTimer) Poll();
            if (wParam == WatchTimer) WatchImage();
            if (wParam == DevicesTimer) {
                KillTimer(dialog_, DevicesTimer);
                if (Running()) {
                    refreshPending_ = true;
                } else {
                    FindPorts();
                }
            }
            return TRUE;
        case WM_DEVICECHANGE:
            // Several arrive for one adapter: the list is read once they settle.
            if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)
                SetTimer(dialog_, DevicesTimer, 500, nullptr);
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            HBRUSH brush = MarkBrush(reinterpret_cast<HWND>(lParam));
            if (brush == nullptr) return FALSE;
            return reinterpret_cast<INT_PTR>(brush);
        }
        case WM_CLOSE:
            if (Running()) {
                const int answer = MessageBoxW(dialog_, L"Printers are being written. Abort them and close?", Title,
                                               MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
                if (answer != IDYES || !Running()) {
                    if (answer == IDYES) PostMessageW(dialog_, WM_CLOSE, 0, 0);
                    return TRUE;
                }
                // The runs end and are recorded first; Poll closes the window then.
                closing_ = true;
                Abort();
                return TRUE;
            }
            Save();
            DestroyWindow(dialog_);
            return TRUE;
        case WM_DESTROY:
            KillTimer(dialog_, PollTimer);
            KillTimer(dialog_, WatchTimer);
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

void StationWindow::Command(int id, int code) {
    if (id == IDOK) {
        // Enter in a text box takes what it holds; elsewhere it starts.
        const HWND focus = GetFocus();
        if (focus == GetDlgItem(dialog_, StationId("txtImage"))) {
            TakeImage(ItemText(dialog_, StationId("txtImage")));
        } else if (focus == GetDlgItem(dialog_, StationId("txtDevice"))) {
            Command(StationId("cmdAddDevice"), BN_CLICKED);
        } else {
            wchar_t className[16] = {};
            if (focus != nullptr) GetClassNameW(focus, className, 16);
            if (lstrcmpiW(className, L"Edit") != 0) Start();
        }
        return;
    }
    if (id == IDCANCEL) {
        // Esc aborts; it never closes the window.
        Abort();
        return;
    }
    if (id >= chkPortId(0) && id < chkPortId(MaxRows)) {
        const std::size_t index = static_cast<std::size_t>(id - chkPortId(0));
        if (index >= portRows_.size()) return;
        if (code == BN_SETFOCUS) {
            EnsureRowVisible(static_cast<int>(index));
        } else if (code == BN_CLICKED) {
            Row& row = portRows_[index];
            row.ticked = SendMessageW(row.check, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (!Running()) ShowRow(row);
            UpdateButtons();
        }
        return;
    }
    if (code != BN_CLICKED && code != 0) return;
    if (id == StationId("cmdImage")) {
        ChooseImage();
    } else if (id == StationId("cmdRecord")) {
        ChooseRecord();
    } else if (id == StationId("cmdFindPorts")) {
        FindPorts();
    } else if (id == StationId("cmdAddDevice")) {
        const std::string device = ItemText(dialog_, StationId("txtDevice"));
        if (!device.empty() && !Running()) {
            AddDevice(device, true);
            SetItemText(dialog_, StationId("txtDevice"), "");
        }
    } else if (id == StationId("cmdStart")) {
        Start();
    } else if (id == StationId("cmdAbort")) {
        Abort();
    }
}

void StationWindow::Load(const StartRequest& request) {
    // The line as QUARVELD keeps it in TORWIN.INI, until the station has its own.
    settings_ = LoadStationSettings(StationSettingsPath(), quarveld::SettingsFilePath());
    FillChoices(GetDlgItem(dialog_, StationId("cboBaudRate")), BaudRates, settings_.line.BaudRate);
    FillChoices(GetDlgItem(dialog_, StationId("cboBitLength")), BitLengths, settings_.line.BitLength);
    FillChoices(GetDlgItem(dialog_, StationId("cboParity")), Parities, settings_.line.Parity);
    SetItemText(dialog_, StationId("txtSilence"), std::to_string(static_cast<long>(settings_.silenceSeconds)));
    SetItemText(dialog_, StationId("txtBatch"), settings_.batch);
    SetItemText(dialog_, StationId("txtRecord"), settings_.logPath.empty() ? TodaysRecord() : settings_.logPath);

    for (const std::string& device : settings_.added) AddDevice(device, false);
    // Ports named on the command line are the ones ticked, not those of last time.
    if (!request.ports.empty()) settings_.ticked.clear();
    FindPorts();
    for (const std::string& device : request.ports) AddDevice(device, true);
    if (!request.image.empty()) TakeImage(request.image);
    UpdateTotals();
    UpdateButtons();
}

void StationWindow::Save() {
    settings_.line = LineSettings();
    settings_.silenceSeconds = GetDlgItemInt(dialog_, StationId("txtSilence"), nullptr, FALSE);
    settings_.batch = ItemText(dialog_, StationId("txtBatch"));
    // Today's file is the default: only a path of the user's own is kept.
    const std::string record = ItemText(dialog_, StationId("txtRecord"));
    settings_.logPath = record == TodaysRecord() ? "" : record;
    std::vector<std::string> ticked;
    settings_.added.clear();
    for (const Row& row : portRows_) {
        if (row.ticked) ticked.push_back(row.device);
        if (row.byHand) settings_.added.push_back(row.device);
    }
    // Ticked ports that are not plugged in now stay remembered.
    for (const std::string& device : settings_.ticked) {
        const bool shown = std::any_of(portRows_.begin(), portRows_.end(),
                                       [&](const Row& row) { return SamePortName(row.device, device); });
        if (!shown) ticked.push_back(device);
    }
    settings_.ticked = ticked;
    std::string why;
    if (!SaveStationSettings(settings_, StationSettingsPath(), &why))
        MessageBoxW(dialog_, quarveld::Widen("The settings could not be kept in " + StationSettingsPath() + ":\n" + why).c_str(),
                    Title, MB_OK | MB_ICONEXCLAMATION);
}

quarveld::PortSettings StationWindow::LineSettings() const {
    quarveld::PortSettings line;
    line.BaudRate = Chosen(GetDlgItem(dialog_, StationId("cboBaudRate")), BaudRates);
    line.BitLength = Chosen(GetDlgItem(dialog_, StationId("cboBitLength")), BitLengths);
    line.Parity = Chosen(GetDlgItem(dialog_, StationId("cboParity")), Parities);
    return line;
}

// ---- The image

void StationWindow::ChooseImage() {
    wchar_t file[MAX_PATH] = {};
    const std::wstring current = Text(GetDlgItem(dialog_, StationId("txtImage")));
    lstrcpynW(file, current.c_str(), MAX_PATH);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // what every Windows takes
    dialog.hwndOwner = dialog_;
    dialog.lpstrFilter = L"S-Format File (*.MOT)\0*.MOT\0Other File (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = L"MOT";
    if (GetOpenFileNameW(&dialog)) TakeImage(quarveld::Narrow(file));
}

void StationWindow::TakeImage(const std::string& path) {
    SetItemText(dialog_, StationId("txtImage"), path);
    image_.reset();
    auto held = std::make_shared<HeldImage>();
    std::string why;
    bool opened = false;
    if (path.empty()) {
        imageFacts_ = "Choose the image to write.";
    } else if (!HoldImage(path, *held, why, opened)) {
        imageFacts_ = why;
    } else {
        imageFacts_ = Thousands(held->bytes.size()) + " bytes, " + Thousands(held->count.dataBytes) +
                      " data bytes in " + Thousands(static_cast<uint64_t>(held->count.frames)) + " frames, SHA-256 " +
                      held->sha256.substr(0, 16) + "...";
        image_ = std::move(held);
    }
    SetItemText(dialog_, StationId("lblImage"), imageFacts_);
    UpdateButtons();
}

void StationWindow::WatchImage() {
    // What is written stays what was checked; a new file is taken only when chosen again.
    if (!image_) return;
    SetText(GetDlgItem(dialog_, StationId("lblImage")),
            ChangedOnDisk(*image_) ? imageFacts_ + "\nThe file has changed on disk: choose it again to take the new one."
                                   : imageFacts_);
}

// ---- The ports

void StationWindow::FindPorts() {
    if (Running()) return;
    const std::vector<FoundPort> found = FindSerialPorts();
    std::vector<Row> rows;
    for (Row& row : portRows_) {
        if (row.byHand) rows.push_back(std::move(row));
    }
    for (const FoundPort& port : found) {
        auto same = std::find_if(portRows_.begin(), portRows_.end(),
                                 [&](const Row& row) { return !row.byHand && SamePortName(row.device, port.device); });
        Row row;
        if (same != portRows_.end()) {
            row = std::move(*same);
        } else {
            row.ticked = std::any_of(settings_.ticked.begin(), settings_.ticked.end(),
                                     [&](const std::string& device) { return SamePortName(device, port.device); });
        }
        row.device = port.device;
        row.name = port.name;
        // A port found by the system and added by hand is one row.
        auto byHand = std::find_if(rows.begin(), rows.end(),
                                   [&](const Row& r) { return r.byHand && SamePortName(r.device, port.device); });
        if (byHand != rows.end()) {
            byHand->name = port.name;
            continue;
        }
        rows.push_back(std::move(row));
    }
    // Found ports first, in the system's order; those added by hand after them.
    std::stable_partition(rows.begin(), rows.end(), [](const Row& row) { return !row.byHand; });
    if (rows.size() > static_cast<std::size_t>(MaxRows)) rows.resize(MaxRows);
    portRows_ = std::move(rows);
    RebuildRows();
}

void StationWindow::AddDevice(const std::string& device, bool tick) {
    auto same = std::find_if(portRows_.begin(), portRows_.end(),
                             [&](const Row& row) { return SamePortName(row.device, device); });
    if (same == portRows_.end()) {
        if (portRows_.size() >= static_cast<std::size_t>(MaxRows)) return;
        Row row;
        row.device = row.name = device;
        row.byHand = true;
        portRows_.push_back(std::move(row));
        same = portRows_.end() - 1;
    }
    if (tick) same->ticked = true;
    RebuildRows();
}

void StationWindow::RebuildRows() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog_, WM_GETFONT, 0, 0));
    for (int i = 0; i < MaxRows; ++i) {
        for (int id : {chkPortId(i), picMarkId(i), barPortId(i), lblStateId(i), lblCountsId(i)}) {
            if (HWND control = GetDlgItem(rows_, id)) DestroyWindow(control);
        }
    }
    auto make = [&](const wchar_t* className, const std::wstring& text, DWORD style, int id) {
        HWND control = CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 1, 1, rows_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    for (std::size_t i = 0; i < portRows_.size(); ++i) {
        Row& row = portRows_[i];
        const int n = static_cast<int>(i);
        // Tab order is creation order: each row's tick box after the previous one.
        row.check = make(L"BUTTON", quarveld::Widen(row.name),
                         BS_AUTOCHECKBOX | BS_NOTIFY | WS_TABSTOP | (n == 0 ? WS_GROUP : 0), chkPortId(n));
        SendMessageW(row.check, BM_SETCHECK, row.ticked ? BST_CHECKED : BST_UNCHECKED, 0);
        row.mark = make(L"STATIC", L"", SS_NOTIFY, picMarkId(n));
        row.bar = make(PROGRESS_CLASSW, L"", 0, barPortId(n));
        SendMessageW(row.bar, PBM_SETRANGE32, 0, 1000);
        row.state = make(L"STATIC", L"", SS_NOPREFIX | SS_ENDELLIPSIS, lblStateId(n));
        row.counts = make(L"STATIC", L"", SS_RIGHT | SS_NOPREFIX, lblCountsId(n));
        ShowRow(row);
    }
    firstRow_ = 0;
    PlaceRows();
    UpdateButtons();
}

void StationWindow::PlaceRows() {
    RECT client{};
    GetClientRect(rows_, &client);
    const RECT one = Units(dialog_, 0, 0, 4, RowHeight);
    const int rowPixels = one.bottom - one.top;
    const int visible = std::max(1, static_cast<int>(client.bottom / std::max(1L, static_cast<long>(rowPixels))));
    const int count = static_cast<int>(portRows_.size());
    firstRow_ = std::clamp(firstRow_, 0, std::max(0, count - visible));
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = std::max(0, count - 1);
    info.nPage = static_cast<UINT>(visible);
    info.nPos = firstRow_;
    SetScrollInfo(rows_, SB_VERT, &info, TRUE);
    HDWP placing = BeginDeferWindowPos(count * 5);
    for (int i = 0; i < count; ++i) {
        Row& row = portRows_[static_cast<std::size_t>(i)];
        const int top = (i - firstRow_) * RowHeight;
        const struct {
            HWND control;
            RECT where;
        } parts[] = {{row.check, Units(dialog_, 2, top + 2, 102, 10)},
                     {row.mark, Units(dialog_, 106, top + 3, 8, 8)},
                     {row.bar, Units(dialog_, 118, top + 3, 56, 8)},
                     {row.state, Units(dialog_, 178, top + 3, 154, 8)},
                     {row.counts, Units(dialog_, 334, top + 3, 42, 8)}};
        for (const auto& part : parts) {
            if (placing != nullptr)
                placing = DeferWindowPos(placing, part.control, nullptr, part.where.left, part.where.top,
                                         part.where.right - part.where.left, part.where.bottom - part.where.top,
                                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (placing != nullptr) EndDeferWindowPos(placing);
    InvalidateRect(rows_, nullptr, TRUE);
}

void StationWindow::ScrollRows(int code, int position) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(rows_, SB_VERT, &info);
    int first = firstRow_;
    switch (code) {
        case SB_LINEUP: --first; break;
        case SB_LINEDOWN: ++first; break;
        case SB_PAGEUP: first -= static_cast<int>(info.nPage); break;
        case SB_PAGEDOWN: first += static_cast<int>(info.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: first = position; break;
        case SB_TOP: first = 0; break;
        case SB_BOTTOM: first = info.nMax; break;
        default: return;
    }
    if (first == firstRow_) return;
    firstRow_ = first;
    PlaceRows();
}

void StationWindow::EnsureRowVisible(int index) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_PAGE;
    GetScrollInfo(rows_, SB_VERT, &info);
    const int page = std::max(1, static_cast<int>(info.nPage));
    if (index < firstRow_) {
        firstRow_ = index;
    } else if (index >= firstRow_ + page) {
        firstRow_ = index - page + 1;
    } else {
        return;
    }
    PlaceRows();
}

const PortStatus* StationWindow::StatusOf(const Row& row) const {
    for (const PortStatus& status : station_.Ports()) {
        if (status.port.written == row.device) return &status;
    }
    return nullptr;
}

// The row's bar, words and counts as the station has them.
void StationWindow::ShowRow(Row& row) {
    const PortStatus* status = StatusOf(row);
    int colour = Grey;
    switch (status != nullptr ? status->phase : PortPhase::Ready) {
        case PortPhase::Ready: colour = Grey; break;
        case PortPhase::Writing: colour = Blue; break;
        case PortPhase::Silent:
        case PortPhase::Aborted: colour = Amber; break;
        case PortPhase::Written: colour = Green; break;
        case PortPhase::Refused:
        case PortPhase::Gone:
        case PortPhase::Failed: colour = Red; break;
    }
    const double done = status != nullptr ? std::clamp(status->fraction, 0.0, 1.0) : 0.0;
    SendMessageW(row.bar, PBM_SETPOS, static_cast<WPARAM>(done * 1000), 0);
    // A port left out of the unit is not "ready": it will not be written, and
    // shows no bar.
    SetText(row.state, status != nullptr ? status->words : row.ticked ? "ready" : "");
    const int shown = status != nullptr || row.ticked ? SW_SHOWNA : SW_HIDE;
    ShowWindow(row.mark, shown);
    ShowWindow(row.bar, shown);
    const PortCount count = status != nullptr ? station_.CountAt(status->port.device) : PortCount{};
    // A port's count is kept by the device it opened; a row not in this unit keeps what it showed.
    if (status != nullptr || Text(row.counts).empty())
        SetText(row.counts, std::to_string(count.written) + " / " + std::to_string(count.failed));
    if (row.colour != colour) {
        row.colour = colour;
        InvalidateRect(row.mark, nullptr, TRUE);
    }
}

HBRUSH StationWindow::MarkBrush(HWND control) {
    static HBRUSH brushes[5] = {};
    for (const Row& row : portRows_) {
        if (row.mark != control) continue;
        if (brushes[row.colour] == nullptr) brushes[row.colour] = CreateSolidBrush(Colours[row.colour]);
        return brushes[row.colour];
    }
    return nullptr;
}

// ---- A unit

void StationWindow::Start() {
    if (Running() || !image_) return;
    std::vector<quarveld::NamedPort> ports;
    const quarveld::DeviceMap devices = quarveld::MachineDevices();
    std::string why;
    for (const Row& row : portRows_) {
        if (!row.ticked) continue;
        quarveld::NamedPort port;
        if (!quarveld::NamePort(row.device, false, devices, port, why)) {
            MessageBoxW(dialog_, quarveld::Widen(why).c_str(), Title, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        ports.push_back(port);
    }
    StationOptions options;
    options.line = LineSettings();
    options.silenceSeconds = GetDlgItemInt(dialog_, StationId("txtSilence"), nullptr, FALSE);
    options.logPath = ItemText(dialog_, StationId("txtRecord"));
    options.batch = ItemText(dialog_, StationId("txtBatch"));
    options.station = HostName();
    MakeParentFolder(options.logPath);
    // A record that cannot be kept starts nothing: never a unit written and not recorded.
    if (!station_.Start(image_, ports, options, why)) {
        MessageBoxW(dialog_, quarveld::Widen("Nothing was started: " + why + ".").c_str(), Title,
                    MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    stopShown_ = false;
    for (Row& row : portRows_) ShowRow(row);
    UpdateButtons();
    SetTimer(dialog_, PollTimer, PollMs, nullptr);
    Focus("cmdAbort");
}

void StationWindow::Abort() { station_.Abort(); }

void StationWindow::Poll() {
    const bool running = station_.Poll();
    for (Row& row : portRows_) ShowRow(row);
    UpdateTotals();
    if (!station_.Stopped().empty() && !stopShown_) {
        // Said once; the timer goes on meanwhile and ends the unit.
        stopShown_ = true;
        MessageBoxW(dialog_, quarveld::Widen(station_.Stopped()).c_str(), Title, MB_OK | MB_ICONEXCLAMATION);
    }
    if (!running && IsWindow(dialog_) && !Running()) RunEnded();
}

void StationWindow::RunEnded() {
    KillTimer(dialog_, PollTimer);
    UpdateButtons();
    if (closing_) {
        closing_ = false;
        Save();
        DestroyWindow(dialog_);
        return;
    }
    Focus("cmdStart");
    if (refreshPending_) {
        refreshPending_ = false;
        FindPorts();
    }
}

void StationWindow::ChooseRecord() {
    wchar_t file[MAX_PATH] = {};
    lstrcpynW(file, Text(GetDlgItem(dialog_, StationId("txtRecord"))).c_str(), MAX_PATH);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = dialog_;
    dialog.lpstrFilter = L"Record (*.jsonl)\0*.jsonl\0Other File (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    // Records are added to: an existing file is the usual choice.
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = L"jsonl";
    if (GetSaveFileNameW(&dialog)) SetDlgItemTextW(dialog_, StationId("txtRecord"), file);
}

// As the dialog manager moves the focus, so the default button follows it.
void StationWindow::Focus(const char* name) {
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, StationId(name))), TRUE);
}

void StationWindow::UpdateButtons() {
    const bool any = std::any_of(portRows_.begin(), portRows_.end(), [](const Row& row) { return row.ticked; });
    const bool running = Running();
    EnableWindow(GetDlgItem(dialog_, StationId("cmdStart")), image_ != nullptr && any && !running);
    EnableWindow(GetDlgItem(dialog_, StationId("cmdAbort")), running);
    for (const char* name : {"cmdImage", "txtImage", "cmdFindPorts", "cmdAddDevice", "txtDevice", "cboBaudRate",
                             "cboBitLength", "cboParity", "txtSilence", "txtBatch", "txtRecord", "cmdRecord"})
        EnableWindow(GetDlgItem(dialog_, StationId(name)), !running);
    for (const Row& row : portRows_) EnableWindow(row.check, !running);
}

void StationWindow::UpdateTotals() {
    const PortCount total = station_.Total();
    SetItemText(dialog_, StationId("lblTotals"), "Since the window opened: " + std::to_string(total.written) +
                                                     " written, " + std::to_string(total.failed) + " failed");
}

int RunMessageLoop(HWND window) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsWindow(window) && IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace station::win
