#include "station_window.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#include <algorithm>
#include <cstdio>

#include "controls.hpp"
#include "resource.h"
#include "serial_ports.hpp"
#include "settings_file.hpp"
#include "station_places.hpp"
#include "utf16_win32.hpp"

namespace station::win {
namespace {

constexpr const wchar_t* Title = L"QUARVELD Station";
constexpr const wchar_t* RowsClass = L"QuarveldStationRows";
constexpr UINT_PTR PollTimer = 1, WatchTimer = 2, DevicesTimer = 3;
constexpr int PollMs = 100;
constexpr int RowHeight = 14;  // dialog units
constexpr double DefaultSilenceSeconds = 10;

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

// "0:07", "12:30"
std::string Clock(double seconds) {
    const long whole = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string Thousands(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// The reason without the port's name in front: the row already names it.
std::string WithoutLabel(const std::string& reason, const std::string& label) {
    if (reason.rfind(label + ": ", 0) == 0) return reason.substr(label.size() + 2);
    return reason;
}

std::wstring SettingsFile() {
    const std::string folder = SettingsFolder();
    return folder.empty() ? L"" : quarveld::Widen(folder + "\\station.ini");
}

std::wstring ReadSetting(const wchar_t* key, const wchar_t* fallback = L"") {
    const std::wstring file = SettingsFile();
    wchar_t value[4096] = {};
    if (file.empty()) return fallback;
    GetPrivateProfileStringW(L"Station", key, fallback, value, 4096, file.c_str());
    return value;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('|', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) items.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return items;
}

std::string JoinList(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : "|") + item;
    return text;
}

bool SameDevice(const std::string& a, const std::string& b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, quarveld::Widen(a).c_str(), -1,
                          quarveld::Widen(b).c_str(), -1) == CSTR_EQUAL;
}

bool FileStamp(const std::string& path, FILETIME& stamp, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(quarveld::Widen(path).c_str(), GetFileExInfoStandard, &data)) return false;
    stamp = data.ftLastWriteTime;
    size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// The folder `path` goes in, when it is missing (the per-user one at first).
void MakeParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0) CreateDirectoryW(quarveld::Widen(path.substr(0, slash)).c_str(), nullptr);
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
    // The line as QUARVELD last kept it, until the station keeps its own.
    quarveld::PortSettings line;
    quarveld::LoadPortSettings(line, "TORWIN.INI");
    line.BaudRate = static_cast<int32_t>(GetPrivateProfileIntW(L"Station", L"BaudRate", line.BaudRate,
                                                              SettingsFile().c_str()));
    line.BitLength = static_cast<int32_t>(GetPrivateProfileIntW(L"Station", L"BitLength", line.BitLength,
                                                               SettingsFile().c_str()));
    line.Parity =
        static_cast<int32_t>(GetPrivateProfileIntW(L"Station", L"Parity", line.Parity, SettingsFile().c_str()));
    FillChoices(GetDlgItem(dialog_, StationId("cboBaudRate")), BaudRates, line.BaudRate);
    FillChoices(GetDlgItem(dialog_, StationId("cboBitLength")), BitLengths, line.BitLength);
    FillChoices(GetDlgItem(dialog_, StationId("cboParity")), Parities, line.Parity);
    SetDlgItemTextW(dialog_, StationId("txtSilence"), ReadSetting(L"Silence", L"10").c_str());
    SetDlgItemTextW(dialog_, StationId("txtBatch"), ReadSetting(L"Batch").c_str());
    std::wstring record = ReadSetting(L"Record");
    if (record.empty()) record = quarveld::Widen(DefaultRecordPath());
    SetDlgItemTextW(dialog_, StationId("txtRecord"), record.c_str());

    remembered_ = SplitList(quarveld::Narrow(ReadSetting(L"Ticked")));
    for (const std::string& device : SplitList(quarveld::Narrow(ReadSetting(L"Devices")))) AddDevice(device, false);
    if (!request.ports.empty()) remembered_.clear();
    FindPorts();
    for (const std::string& device : request.ports) AddDevice(device, true);
    if (!request.image.empty()) TakeImage(request.image);
    UpdateTotals();
    UpdateButtons();
    SetFocus(GetDlgItem(dialog_, StationId(imageGood_ ? "cmdStart" : "txtImage")));
}

void StationWindow::Save() const {
    const std::wstring file = SettingsFile();
    if (file.empty()) return;
    MakeParentFolder(quarveld::Narrow(file));
    const quarveld::PortSettings line = LineSettings();
    auto put = [&](const wchar_t* key, const std::wstring& value) {
        WritePrivateProfileStringW(L"Station", key, value.c_str(), file.c_str());
    };
    put(L"BaudRate", std::to_wstring(line.BaudRate));
    put(L"BitLength", std::to_wstring(line.BitLength));
    put(L"Parity", std::to_wstring(line.Parity));
    put(L"Silence", Text(GetDlgItem(dialog_, StationId("txtSilence"))));
    put(L"Batch", Text(GetDlgItem(dialog_, StationId("txtBatch"))));
    // Today's file is the default: only a path of the user's own is kept.
    const std::wstring record = Text(GetDlgItem(dialog_, StationId("txtRecord")));
    put(L"Record", record == quarveld::Widen(DefaultRecordPath()) ? L"" : record);
    std::vector<std::string> ticked, byHand;
    for (const Row& row : portRows_) {
        if (row.ticked) ticked.push_back(row.device);
        if (row.byHand) byHand.push_back(row.device);
    }
    // Ticked ports that are not plugged in now stay remembered.
    for (const std::string& device : remembered_) {
        const bool shown = std::any_of(portRows_.begin(), portRows_.end(),
                                       [&](const Row& row) { return SameDevice(row.device, device); });
        if (!shown) ticked.push_back(device);
    }
    put(L"Ticked", quarveld::Widen(JoinList(ticked)));
    put(L"Devices", quarveld::Widen(JoinList(byHand)));
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
    imagePath_ = path;
    imageGood_ = false;
    std::string why;
    bool opened = false;
    FileStamp(path, imageStamp_, imageBytes_);
    if (path.empty()) {
        imageFacts_ = "Choose the image to write.";
    } else if (!CountImage(path, count_, why, opened)) {
        imageFacts_ = why;
    } else if (!FileSha256Hex(path, imageSha256_, why)) {
        imageFacts_ = path + ": the image cannot be read: " + why;
    } else {
        imageGood_ = true;
        imageFacts_ = Thousands(imageBytes_) + " bytes, " + Thousands(count_.dataBytes) + " data bytes in " +
                      Thousands(static_cast<uint64_t>(count_.frames)) + " frames, SHA-256 " +
                      imageSha256_.substr(0, 16) + "...";
    }
    SetItemText(dialog_, StationId("lblImage"), imageFacts_);
    UpdateButtons();
}

void StationWindow::WatchImage() {
    if (!imageGood_) return;
    FILETIME stamp{};
    uint64_t bytes = 0;
    const bool there = FileStamp(imagePath_, stamp, bytes);
    const bool changed = !there || CompareFileTime(&stamp, &imageStamp_) != 0 || bytes != imageBytes_;
    SetItemText(dialog_, StationId("lblImage"),
                changed ? imageFacts_ + "\nThe file has changed on disk: choose it again to take the new one."
                        : imageFacts_);
}

// ---- The ports

void StationWindow::FindPorts() {
    if (Running()) return;
    const std::vector<SerialPort> found = FindSerialPorts();
    std::vector<Row> rows;
    for (Row& row : portRows_) {
        if (row.byHand) rows.push_back(std::move(row));
    }
    for (const SerialPort& port : found) {
        auto same = std::find_if(portRows_.begin(), portRows_.end(),
                                 [&](const Row& row) { return !row.byHand && SameDevice(row.device, port.device); });
        Row row;
        if (same != portRows_.end()) {
            row = std::move(*same);
        } else {
            row.ticked = std::any_of(remembered_.begin(), remembered_.end(),
                                     [&](const std::string& device) { return SameDevice(device, port.device); });
        }
        row.device = port.device;
        row.name = port.name;
        // A port found by the system and added by hand is one row.
        auto byHand = std::find_if(rows.begin(), rows.end(),
                                   [&](const Row& r) { return r.byHand && SameDevice(r.device, port.device); });
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
                             [&](const Row& row) { return SameDevice(row.device, device); });
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

// The row's bar, words and counts from its run (or "ready" without one).
void StationWindow::ShowRow(Row& row) {
    std::string words = "ready";
    int colour = Grey;
    double done = 0;
    if (row.run) {
        const RunState state = row.run->State();
        const double total = count_.dataBytes > 0 ? static_cast<double>(count_.dataBytes) : 1.0;
        done = std::min(1.0, static_cast<double>(state.bytes) / total);
        const auto now = Clock::now();
        switch (state.result) {
            case RunResult::Running: {
                const double silent = std::chrono::duration<double>(now - state.lastAnswer).count();
                const double spent = std::chrono::duration<double>(now - state.started).count();
                if (silent >= 2.0) {
                    words = "no answer for " + Clock(silent);
                    colour = Amber;
                } else {
                    char percent[16];
                    std::snprintf(percent, sizeof percent, "%d %%", static_cast<int>(done * 100));
                    words = std::string("writing ") + percent;
                    if (done > 0.02) words += " (" + Clock(spent / done - spent) + " left)";
                    colour = Blue;
                }
                break;
            }
            case RunResult::Written:
                words = "written in " + Clock(std::chrono::duration<double>(state.ended - state.started).count());
                colour = Green;
                break;
            case RunResult::Error:
                words = "error: " + WithoutLabel(row.run->Reason(), row.run->Port().label);
                colour = Red;
                break;
            case RunResult::Aborted:
                words = "aborted";
                colour = Amber;
                break;
        }
    }
    SendMessageW(row.bar, PBM_SETPOS, static_cast<WPARAM>(done * 1000), 0);
    SetText(row.state, words);
    SetText(row.counts, std::to_string(row.written) + " / " + std::to_string(row.failed));
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

bool StationWindow::Running() const { return running_; }

void StationWindow::Start() {
    if (Running() || !imageGood_) return;
    std::vector<Row*> chosen;
    for (Row& row : portRows_) {
        if (row.ticked) chosen.push_back(&row);
    }
    if (chosen.empty()) return;
    // The record first: a unit is never written without it.
    const std::string record = ItemText(dialog_, StationId("txtRecord"));
    MakeParentFolder(record);
    std::string why;
    if (!log_.Open(record, why)) {
        MessageBoxW(dialog_, quarveld::Widen("The record cannot be written, so nothing was started.\n\n" + record +
                                             ":\n" + why).c_str(),
                    Title, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ++unit_;
    running_ = true;
    const quarveld::PortSettings line = LineSettings();
    const quarveld::DeviceMap devices;
    for (Row* row : chosen) {
        quarveld::NamedPort port;
        // On Windows every COMn and every path is a device of the system's own.
        if (!quarveld::NamePort(row->device, false, devices, port, why)) {
            port.written = port.device = port.label = row->device;
        }
        row->run = std::make_unique<PortRun>(port, count_.frames, board_);
        row->logged = false;
        row->run->Start(imagePath_, line);
        ShowRow(*row);
    }
    UpdateButtons();
    SetTimer(dialog_, PollTimer, PollMs, nullptr);
    SetFocus(GetDlgItem(dialog_, StationId("cmdAbort")));
}

void StationWindow::Abort() {
    for (Row& row : portRows_) {
        if (row.run) row.run->Stop();
    }
}

void StationWindow::Poll() {
    const std::wstring silenceText = Text(GetDlgItem(dialog_, StationId("txtSilence")));
    const double silence = silenceText.empty() ? DefaultSilenceSeconds : _wtof(silenceText.c_str());
    bool all = true, recordFailed = false;
    for (Row& row : portRows_) {
        if (!row.run) continue;
        const RunState state = row.run->State();
        if (state.result == RunResult::Running && silence > 0 &&
            std::chrono::duration<double>(Clock::now() - state.lastAnswer).count() > silence) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g s", silence);
            row.run->Stop(row.run->Port().label + ": no answer from the printer for " + seconds + " at frame " +
                          std::to_string(state.frames + 1) + " of " + std::to_string(count_.frames));
        }
        if (!row.run->Ended()) {
            all = false;
        } else if (!row.logged) {
            row.logged = true;
            const RunResult result = row.run->State().result;
            (result == RunResult::Written ? row.written : row.failed) += 1;
            (result == RunResult::Written ? written_ : failed_) += 1;
            recordFailed |= !LogRun(row);
        }
        ShowRow(row);
    }
    UpdateTotals();
    if (recordFailed) {
        // Never a unit written and not recorded: the rest stop too.
        Abort();
    }
    if (all) RunEnded();
}

bool StationWindow::LogRun(Row& row) {
    const PortRun& run = *row.run;
    const RunState state = run.State();
    const char* result = state.result == RunResult::Written ? "written"
                         : state.result == RunResult::Aborted ? "aborted"
                                                              : "error";
    const nlohmann::json record = {
        {"started", UtcTimestamp(run.StartedAt())},
        {"ended", UtcTimestamp(run.EndedAt())},
        {"port", run.Port().written},
        {"device", run.Port().device},
        {"image", imagePath_},
        {"image_bytes", imageBytes_},
        {"image_sha256", imageSha256_},
        {"frames_sent", state.frames},
        {"frames_total", count_.frames},
        {"bytes_sent", state.bytes},
        {"result", result},
        {"reason", run.Reason()},
        {"unit", unit_},
        {"batch", ItemText(dialog_, StationId("txtBatch"))},
        {"station", HostName()},
        {"host", HostName()},
        {"tool_version", ToolVersion()},
    };
    std::string why;
    if (log_.Append(record, why)) return true;
    const std::string text = "The record cannot be written, so the station stopped.\n\n" +
                             ItemText(dialog_, StationId("txtRecord")) + ":\n" + why;
    MessageBoxW(dialog_, quarveld::Widen(text).c_str(), Title, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void StationWindow::RunEnded() {
    KillTimer(dialog_, PollTimer);
    running_ = false;
    UpdateButtons();
    if (closing_) {
        Save();
        DestroyWindow(dialog_);
        return;
    }
    SetFocus(GetDlgItem(dialog_, StationId("cmdStart")));
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

void StationWindow::UpdateButtons() {
    const bool any = std::any_of(portRows_.begin(), portRows_.end(), [](const Row& row) { return row.ticked; });
    const bool running = Running();
    EnableWindow(GetDlgItem(dialog_, StationId("cmdStart")), imageGood_ && any && !running);
    EnableWindow(GetDlgItem(dialog_, StationId("cmdAbort")), running);
    for (const char* name : {"cmdImage", "txtImage", "cmdFindPorts", "cmdAddDevice", "txtDevice", "cboBaudRate",
                             "cboBitLength", "cboParity", "txtSilence", "txtBatch", "txtRecord", "cmdRecord"})
        EnableWindow(GetDlgItem(dialog_, StationId(name)), !running);
    for (const Row& row : portRows_) EnableWindow(row.check, !running);
}

void StationWindow::UpdateTotals() {
    SetItemText(dialog_, StationId("lblTotals"), "Since the window opened: " + std::to_string(written_) +
                                                     " written, " + std::to_string(failed_) + " failed");
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
