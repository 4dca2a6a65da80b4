// Kelvane2.exe's windows driven in-process under Wine: real controls, real
// character messages, real message boxes and file dialogs answered from a
// second thread, jobs delivered to files.
#include <windows.h>
#include <commctrl.h>
// windows.h renames the link's function of the same name.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app.hpp"
#include "controls.hpp"
#include "editor_paths.hpp"
#include "utf16_win32.hpp"
#include "vexlo_delivery.hpp"
#include "windows.hpp"

using namespace kelvane;
using namespace kelvane::win;

namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TempPath(const std::string& name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "kelvane2_test_" + name;
    DeleteFileA(path.c_str());
    return path;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

void Click(HWND form, int id) {
    SendMessageA(form, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(form, id)));
}

std::string Text(HWND form, int id) { return ControlText(GetDlgItem(form, id)); }

void Type(HWND box, const std::string& keys) {
    for (char c : keys) SendMessageA(box, WM_CHAR, static_cast<unsigned char>(c), 1);
}

// The whole screen as a PNG in the build's screenshot folder.
void Screenshot(const std::string& name) {
    const std::string file = std::string(SCREENSHOT_DIR) + "/" + name + ".png";
    CreateDirectoryA(("Z:" + std::string(SCREENSHOT_DIR)).c_str(), nullptr);
    DeleteFileA(("Z:" + file).c_str());
    std::string command = "/usr/bin/import -window root " + file;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The Unix program's end is not reported: wait until the file stops growing.
    DWORD last = 0;
    for (int i = 0; i < 100; ++i) {
        Sleep(100);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const DWORD size = GetFileAttributesExA(("Z:" + file).c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
        if (size != 0 && size == last) return;
        last = size;
    }
}

struct Seen {
    std::string title;
    std::string text;  // every child's text, one per line
    bool found = false;
};

BOOL CALLBACK CollectText(HWND child, LPARAM data) {
    const std::string text = ControlText(child);
    if (!text.empty()) *reinterpret_cast<std::string*>(data) += text + "\n";
    return TRUE;
}

struct FindDialog {
    const char* title;
    const char* has;  // a part of some child's text
    HWND found;
};

BOOL CALLBACK FindOurDialog(HWND window, LPARAM data) {
    auto* find = reinterpret_cast<FindDialog*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (process != GetCurrentProcessId() || std::string(cls) != "#32770" || !IsWindowVisible(window)) return TRUE;
    if (find->title && ControlText(window) != find->title) return TRUE;
    if (find->has) {
        std::string text;
        EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&text));
        if (text.find(find->has) == std::string::npos) return TRUE;
    }
    find->found = window;
    return FALSE;
}

// Answers the next dialog of this process from another thread, while the
// window under test sits in its modal loop: `act` fills it in and presses
// a button. A screenshot of it is saved first.
class Answer {
public:
    Answer(std::string shot, std::function<void(HWND)> act, const char* title = nullptr, const char* has = nullptr)
        : thread_([this, shot, act, title, has] {
              for (int i = 0; i < 200 && !stop_; ++i) {
                  FindDialog find{title, has, nullptr};
                  EnumWindows(FindOurDialog, reinterpret_cast<LPARAM>(&find));
                  if (find.found) {
                      Sleep(300);
                      seen_.title = ControlText(find.found);
                      EnumChildWindows(find.found, CollectText, reinterpret_cast<LPARAM>(&seen_.text));
                      seen_.found = true;
                      if (!shot.empty()) Screenshot(shot);
                      act(find.found);
                      return;
                  }
                  Sleep(50);
              }
          }) {}
    ~Answer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    const Seen& seen() {
        if (thread_.joinable()) thread_.join();
        return seen_;
    }

private:
    std::atomic<bool> stop_{false};
    Seen seen_;
    std::thread thread_;
};

std::function<void(HWND)> Press(int button) {
    return [button](HWND box) { PostMessageA(box, WM_COMMAND, button, 0); };
}

// The file dialog's name field is there once the dialog has laid itself out.
std::function<void(HWND)> ChooseFile(const std::string& path) {
    return [path](HWND dialog) {
        HWND name = nullptr;
        for (int i = 0; i < 100 && !(name = GetDlgItem(dialog, 0x47c)); ++i) Sleep(50);
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(path).c_str()));
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
}

BOOL CALLBACK CollectTips(HWND window, LPARAM data) {
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) != TOOLTIPS_CLASSA) return TRUE;
    const LRESULT count = SendMessageA(window, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        TOOLINFOA info{};
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.lpszText = text;
        if (SendMessageA(window, TTM_ENUMTOOLSA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info)))
            reinterpret_cast<std::vector<std::pair<int, std::string>>*>(data)->emplace_back(
                GetDlgCtrlID(reinterpret_cast<HWND>(info.uId)), text);
    }
    return TRUE;
}

// Captions that do not fit their control in the control's own font: beside
// the mark of a tick box or radio button, inside a button's border, below a
// frame's corner; labels as they wrap in their box.
BOOL CALLBACK CollectClipped(HWND control, LPARAM data) {
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    const std::string text = ControlText(control);
    const bool button = std::string(cls) == "Button";
    if (!IsWindowVisible(control) || text.empty() || (!button && std::string(cls) != "Static")) return TRUE;
    RECT box{};
    GetClientRect(control, &box);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const LONG kind = style & BS_TYPEMASK;
    int room = box.right;
    if (button && (kind == BS_AUTOCHECKBOX || kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON))
        room -= 13 + 4;  // the mark and the gap after it
    else if (button && kind == BS_GROUPBOX)
        room -= 2 * 8;  // the corner on either side
    else if (button)
        room -= 2 * 3;  // the border
    RECT need{0, 0, room, 0};
    UINT format = DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK);
    if (!button && (style & SS_NOPREFIX)) format |= DT_NOPREFIX;
    DrawTextA(dc, text.c_str(), -1, &need, format);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (need.right > room || (button ? metrics.tmHeight : need.bottom) > box.bottom)
        *reinterpret_cast<std::string*>(data) += "\"" + text + "\" needs " + std::to_string(need.right) + " x " +
                                                  std::to_string(need.bottom) + ", has " + std::to_string(room) +
                                                  " x " + std::to_string(box.bottom) + "\n";
    return TRUE;
}

std::string ClippedCaptions(HWND window) {
    std::string clipped;
    EnumChildWindows(window, CollectClipped, reinterpret_cast<LPARAM>(&clipped));
    return clipped;
}

// The height of a drop-down selector's field, in pixels.
int FieldHeight(HWND selector) {
    RECT field{};
    GetWindowRect(selector, &field);
    return field.bottom - field.top;
}

// What the window shows in `area` (client pixels), children included.
std::vector<COLORREF> Pixels(HWND window, const RECT& area) {
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(window);
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x) pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(window, dc);
    return pixels;
}

// The control's place in its window's client area.
RECT PlaceOf(HWND window, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        // No test sees the printer choice another one stored.
        DeleteFileA(VexloLink::DefaultSettingsPath().c_str());
        simple = std::make_unique<formSimple>();
        simple->Load();
        simple->ShowAgain();
        Pump();
    }
    // The advanced window, opened as ">> Advanced >>" does.
    HWND Advanced() {
        Click(simple->window(), SimpleId("cmdAdv"));
        Pump();
        return FindWindowA("formAdvanced", "Kelvane - Advanced Mode");
    }
    // Jobs of `link` go to a file from now on.
    static std::string ToFile(VexloComm& link, const std::string& name) {
        const std::string path = TempPath(name);
        link.link().choose(LinkDestination::Kind::Device, "", path);
        return path;
    }
    std::unique_ptr<formSimple> simple;
};

const std::string Closing = Bytes({0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00});
const std::string ClearAll = Bytes({0x1B, 0x1D, 0x23, 0x40, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00});

TEST_F(Windows, SimpleWindowLayoutAndCaptions) {
    HWND w = simple->window();
    EXPECT_EQ(ControlText(w), "Kelvane - Simple Mode");
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, Twips(4920));
    EXPECT_EQ(client.bottom, Twips(6135));
    // Check1(7) sits in the "Bits" frame at 240, 2880: 360, 3000 in the window.
    RECT box{};
    GetWindowRect(GetDlgItem(w, Check1Id(7)), &box);
    POINT at{box.left, box.top};
    ScreenToClient(w, &at);
    EXPECT_EQ(at.x, Twips(360));
    EXPECT_EQ(at.y, Twips(3000));
    EXPECT_EQ(box.right - box.left, Twips(855));
    EXPECT_EQ(Text(w, Check1Id(10)), "Bit A:");
    EXPECT_EQ(Text(w, SimpleId("cmdCancel")), "E&xit");
    EXPECT_EQ(Text(w, SimpleId("cboMemSw")), "Memory Switch 0");
    EXPECT_EQ(Text(w, SimpleId("Label1")), "");
    // Tab order: selector, the bottom buttons, "Uncheck All", "Bit F:" down to "Bit 0:".
    std::vector<int> order;
    HWND at_ = GetDlgItem(w, SimpleId("cboMemSw"));
    for (int i = 0; i < 21; ++i) {
        order.push_back(GetDlgCtrlID(at_));
        at_ = GetNextDlgTabItem(w, at_, FALSE);
    }
    std::vector<int> expected = {1001, 1002, 1003, 1004, 1005};
    for (int i = 15; i >= 0; --i) expected.push_back(1100 + i);
    EXPECT_EQ(order, expected);
    // No button takes Enter.
    EXPECT_EQ(GetWindowLongA(GetDlgItem(w, SimpleId("cmdSend2Prn")), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
    Screenshot("win32_formSimple");
}

TEST_F(Windows, TicksShowTheWordAndUncheckAllClearsIt) {
    HWND w = simple->window();
    SendMessageA(GetDlgItem(w, Check1Id(0)), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(w, Check1Id(2)), BM_CLICK, 0, 0);
    EXPECT_EQ(Text(w, SimpleId("Label1")), "Binary: 0000000000000101");
    EXPECT_EQ(Text(w, SimpleId("Label2")), "Hex:   0005");
    SendMessageA(GetDlgItem(w, Check1Id(15)), BM_CLICK, 0, 0);
    EXPECT_EQ(simple->currentValue(), "8005");
    Click(w, SimpleId("Uncheck_all"));
    EXPECT_EQ(Text(w, SimpleId("Label1")), "Binary: 0000000000000000");
    EXPECT_EQ(simple->currentValue(), "0000");
}

TEST_F(Windows, FocusRectanglesLeaveTheTickBoxesAndTheFrameKeepsItsLine) {
    HWND w = simple->window();
    // Clicked with the mouse, each box takes the focus; Tab moves it on to "Bit 1:".
    for (int i : {0, 2}) {
        HWND box = GetDlgItem(w, Check1Id(i));
        SendMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        SendMessageA(box, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        Pump();
    }
    MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {}};
    EXPECT_TRUE(IsDialogMessageA(w, &tab));
    Pump();
    EXPECT_EQ(GetFocus(), GetDlgItem(w, Check1Id(1)));
    // Space ticks it and keeps its rectangle whole.
    SendMessageA(GetFocus(), WM_KEYDOWN, VK_SPACE, 0x00390001);
    SendMessageA(GetFocus(), WM_KEYUP, VK_SPACE, 0xC0390001);
    Pump();
    EXPECT_EQ(Text(w, SimpleId("Label2")), "Hex:   0007");
    Screenshot("win32_tick_box_focus");
    const RECT bits = PlaceOf(w, GetDlgItem(w, SimpleId("Frame2")));
    const std::vector<COLORREF> shown = Pixels(w, bits);

    // The same frame drawn afresh: one focus rectangle, on "Bit 1:".
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    const std::vector<COLORREF> fresh = Pixels(w, bits);
    ASSERT_EQ(shown.size(), fresh.size());
    int differ = 0;
    for (size_t i = 0; i < shown.size(); ++i) differ += shown[i] != fresh[i];
    EXPECT_EQ(differ, 0) << "pixels of the \"Bits\" frame that differ from a fresh drawing (focus rectangles)";

    // Where the bottom and right boxes reach the frame's edge, its line is
    // as it is where no box lies.
    const RECT corner = PlaceOf(w, GetDlgItem(w, Check1Id(15)));
    const LONG clearX = bits.left + 4, clearY = bits.top + 16;
    EXPECT_EQ(Pixels(w, {corner.left + 4, bits.bottom - 2, corner.left + 5, bits.bottom}),
              Pixels(w, {clearX, bits.bottom - 2, clearX + 1, bits.bottom}));
    EXPECT_EQ(Pixels(w, {bits.right - 2, corner.top + 4, bits.right, corner.top + 5}),
              Pixels(w, {bits.right - 2, clearY, bits.right, clearY + 1}));
}

TEST_F(Windows, SimpleSendDeliversOneJobAndRefusesTypedSwitch) {
    HWND w = simple->window();
    const std::string out = ToFile(simple->link(), "simple.bin");
    SendMessageA(GetDlgItem(w, SimpleId("cboMemSw")), CB_SETCURSEL, 3, 0);
    SendMessageA(GetDlgItem(w, Check1Id(0)), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(w, Check1Id(2)), BM_CLICK, 0, 0);
    Click(w, SimpleId("cmdSend2Prn"));
    EXPECT_EQ(ReadAll(out), Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00}) + Closing);

    // Typed text that names no switch: a warning, nothing sent.
    SetWindowTextA(GetDlgItem(w, SimpleId("cboMemSw")), "Memory Switch X");
    Answer warning("win32_no_switch_warning", Press(IDOK));
    Click(w, SimpleId("cmdSend2Prn"));
    EXPECT_EQ(warning.seen().title, "Kelvane v2.1");
    EXPECT_EQ(ReadAll(out).size(), 22u);
}

TEST_F(Windows, AdvancedWindowLayoutTabOrderAndToggle) {
    HWND a = Advanced();
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(IsWindowVisible(simple->window()));
    EXPECT_EQ(GetFocus(), GetDlgItem(a, Text1Id(0)));
    RECT client{};
    GetClientRect(a, &client);
    EXPECT_EQ(client.right, Twips(5115));
    EXPECT_EQ(client.bottom, Twips(7260));
    std::vector<int> order;
    HWND at = GetDlgItem(a, Text1Id(0));
    for (int i = 0; i < 14; ++i) {
        order.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(a, at, FALSE);
    }
    const std::vector<int> expected = {2010, 2000, 2011, 2001, 2012, 2002, 2013, 2003, 2014, 2004,
                                       2031, 2023, 2033, 2032};
    EXPECT_EQ(order, expected);
    // The session buttons' tooltips.
    std::vector<std::pair<int, std::string>> tips;
    EnumThreadWindows(GetCurrentThreadId(), CollectTips, reinterpret_cast<LPARAM>(&tips));
    EXPECT_NE(std::find(tips.begin(), tips.end(), std::make_pair(2027, std::string("Save Customer Specific Settings"))),
              tips.end());
    EXPECT_NE(std::find(tips.begin(), tips.end(), std::make_pair(2028, std::string("Load Customer Specific Settings"))),
              tips.end());
    Screenshot("win32_formAdvanced");

    SetWindowTextA(GetDlgItem(a, Text1Id(2)), "12");
    Click(a, AdvancedId("cmdSimple"));
    EXPECT_TRUE(IsWindowVisible(simple->window()));
    EXPECT_EQ(Advanced(), a);
    EXPECT_EQ(Text(a, Text1Id(2)), "12");
}

TEST_F(Windows, CaptionsFitInMsSansSerifAndSelectorsHaveTheirHeight) {
    // Wine's own fonts (fonts-wine) give the face the layouts were drawn for.
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, WindowFont());
    char face[LF_FACESIZE] = {};
    GetTextFaceA(screen, sizeof face, face);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    ASSERT_STREQ(face, "MS Sans Serif") << "install fonts-wine (scripts/setup --windows)";

    HWND w = simple->window();
    // The labels at their widest.
    for (int i = 0; i < 16; ++i) SendMessageA(GetDlgItem(w, Check1Id(i)), BM_CLICK, 0, 0);
    EXPECT_EQ(ClippedCaptions(w), "");
    EXPECT_EQ(FieldHeight(GetDlgItem(w, SimpleId("cboMemSw"))), Twips(315));
    HWND a = Advanced();
    EXPECT_EQ(ClippedCaptions(a), "");
    for (int i = 0; i < RowCount; ++i) EXPECT_EQ(FieldHeight(GetDlgItem(a, Combo1Id(i))), Twips(315)) << i;
}

TEST_F(Windows, ValueBoxesTakeHexDigitsFromCharacterMessages) {
    HWND a = Advanced();
    HWND box = GetDlgItem(a, Text1Id(0));
    Type(box, "0g x-");
    Type(box, "0ff");
    EXPECT_EQ(ControlText(box), "00FF");
    Type(box, "1");  // a fifth character
    Type(box, "\r\x1b\x03\x16");
    EXPECT_EQ(ControlText(box), "00FF");
    Type(box, "\b\b");
    EXPECT_EQ(ControlText(box), "00");
    // Lower case that came another way turns upper at the next key in any box.
    HWND other = GetDlgItem(a, Text1Id(4));
    SetWindowTextA(other, "ab");
    Type(box, "z");
    EXPECT_EQ(ControlText(other), "AB");

    // Paste: taken only when the box then holds up to four hex digits.
    auto paste = [&](const char* text) {
        OpenClipboard(a);
        EmptyClipboard();
        HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, std::strlen(text) + 1);
        std::memcpy(GlobalLock(data), text, std::strlen(text) + 1);
        GlobalUnlock(data);
        SetClipboardData(CF_TEXT, data);
        CloseClipboard();
        SendMessageA(box, EM_SETSEL, 2, 2);
        SendMessageA(box, WM_PASTE, 0, 0);
    };
    paste("1x");
    EXPECT_EQ(ControlText(box), "00");
    paste("abc");
    EXPECT_EQ(ControlText(box), "00");
    paste("ab");
    EXPECT_EQ(ControlText(box), "00AB");
}

TEST_F(Windows, SessionSendsSaveAndConfirmations) {
    HWND a = Advanced();
    formAdvanced* form = simple->advanced();
    // The advanced window's own link.
    const std::string printer = ToFile(form->link(), "advanced.bin");
    {
        Answer cancel("win32_confirm_start_session", Press(IDCANCEL));
        Click(a, AdvancedId("Start_Session"));
        EXPECT_EQ(cancel.seen().title, "Are you sure");
        EXPECT_NE(cancel.seen().text.find("This will clear all memory switches"), std::string::npos);
        EXPECT_EQ(ReadAll(printer), "");
        EXPECT_FALSE(form->session().SessionOpen);
    }

    // Save before anything was recorded: the warning, no dialog.
    {
        Answer warning("win32_no_session_warning", Press(IDOK));
        Click(a, AdvancedId("Save_switches"));
        EXPECT_NE(warning.seen().text.find("There are no open sessions, start a session first!"), std::string::npos);
    }
    {
        Answer ok("", Press(IDOK));
        Click(a, AdvancedId("Start_Session"));
        ASSERT_TRUE(ok.seen().found);
    }
    EXPECT_EQ(ReadAll(printer), ClearAll + Closing);
    EXPECT_TRUE(form->session().SessionOpen);

    SendMessageA(GetDlgItem(a, Combo1Id(0)), CB_SETCURSEL, 10, 0);
    SetWindowTextA(GetDlgItem(a, Text1Id(0)), "8000");
    SendMessageA(GetDlgItem(a, Combo1Id(1)), CB_SETCURSEL, 2, 0);
    SetWindowTextA(GetDlgItem(a, Text1Id(1)), "0123");
    Click(a, AdvancedId("cmdSndPrn"));
    const std::string rows = Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x41, 0x38, 0x30, 0x30, 0x30, 0x0A, 0x00}) +
                             Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x32, 0x30, 0x31, 0x32, 0x33, 0x0A, 0x00}) + Closing;
    EXPECT_EQ(ReadAll(printer), ClearAll + Closing + rows);

    {
        Answer cancel("win32_confirm_reset", Press(IDCANCEL));
        Click(a, AdvancedId("cmdReset"));
        EXPECT_NE(cancel.seen().text.find("Are you sure you want to reset all mem switches?"), std::string::npos);
    }
    EXPECT_EQ(ReadAll(printer), ClearAll + Closing + rows);

    // Save Switches: the file holds the recorded values in switch order.
    const std::string saved = TempPath("customer.prn");
    {
        Answer save("win32_save_dialog", ChooseFile(saved), "Save");
        Click(a, AdvancedId("Save_switches"));
        ASSERT_TRUE(save.seen().found);
    }
    EXPECT_EQ(ReadAll(saved), Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x32, 0x30, 0x31, 0x32, 0x33, 0x0A, 0x00}) +
                                  Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x41, 0x38, 0x30, 0x30, 0x30, 0x0A, 0x00}) + Closing);
    // Jobs reach the printer again afterwards.
    Click(a, AdvancedId("cmdSndPrn"));
    EXPECT_EQ(ReadAll(printer), ClearAll + Closing + rows + rows);

    // A second save into the same name replaces it only after the question;
    // it holds what was sent since the first save.
    {
        Answer save("", ChooseFile(saved), "Save");
        Answer replace("win32_replace_question", Press(IDYES), nullptr, "replace");
        Click(a, AdvancedId("Save_switches"));
        EXPECT_TRUE(replace.seen().found);
    }
    EXPECT_EQ(ReadAll(saved), Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x32, 0x30, 0x31, 0x32, 0x33, 0x0A, 0x00}) +
                                  Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x41, 0x38, 0x30, 0x30, 0x30, 0x0A, 0x00}) + Closing);
}

std::string Env(const char* name) {
    char value[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? value : "";
}

// The jobs the private spooler's queue captured, oldest first (Linux folder).
std::vector<std::string> ReadJobs(const std::string& folder) {
    std::vector<std::string> jobs;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\job-*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do jobs.push_back(ReadAll(folder + "\\" + found.cFileName));
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return jobs;
}

// The jobs the private spooler's queue captured (Linux folder), once `count`
// of them are there and no longer growing.
std::vector<std::string> CapturedJobs(size_t count) {
    const std::string folder = "Z:" + Env("KELVANE_CAPTURE");
    std::vector<std::string> jobs;
    for (int i = 0; i < 100; ++i) {
        jobs = ReadJobs(folder);
        if (jobs.size() >= count) {
            Sleep(200);
            if (ReadJobs(folder) == jobs) break;
        }
        Sleep(100);
    }
    return jobs;
}

TEST_F(Windows, JobsGoThroughTheSpoolerAsOneRawJobEach) {
    ASSERT_NE(Env("KELVANE_CAPTURE"), "") << "run beside the private spooler (kelvane_with_spooler)";
    HWND w = simple->window();
    // The spooler's default queue comes first and is preselected.
    simple->link().refresh();
    ASSERT_FALSE(simple->link().link().queues().names.empty());
    EXPECT_EQ(simple->link().link().queues().names.front(), "kelvane-e2e");
    EXPECT_EQ(simple->link().link().destination().kind, LinkDestination::Kind::Spooler);
    SendMessageA(GetDlgItem(w, SimpleId("cboMemSw")), CB_SETCURSEL, 3, 0);
    SendMessageA(GetDlgItem(w, Check1Id(0)), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(w, Check1Id(2)), BM_CLICK, 0, 0);
    Click(w, SimpleId("cmdSend2Prn"));
    std::vector<std::string> jobs = CapturedJobs(1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0], Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00}) + Closing);

    HWND a = Advanced();
    simple->advanced()->link().refresh();
    SendMessageA(GetDlgItem(a, Combo1Id(0)), CB_SETCURSEL, 15, 0);
    SetWindowTextA(GetDlgItem(a, Text1Id(0)), "FFFF");
    SendMessageA(GetDlgItem(a, Combo1Id(3)), CB_SETCURSEL, 0, 0);
    SetWindowTextA(GetDlgItem(a, Text1Id(3)), "1");
    Click(a, AdvancedId("cmdSndPrn"));
    jobs = CapturedJobs(2);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].size() == 22 ? jobs[1] : jobs[0],
              Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x46, 0x46, 0x46, 0x46, 0x46, 0x0A, 0x00}) +
                  Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x30, 0x31, 0x0A, 0x00}) + Closing);
}

TEST_F(Windows, Lpt1TakesLoadSwitchesUnchangedAndJobs) {
    const std::string lpt1 = "Z:" + Env("KELVANE_LPT1");
    ASSERT_NE(Env("KELVANE_LPT1"), "") << "run with LPT1 mapped to a file (run_under_wine.sh)";
    HWND a = Advanced();
    // Every byte value, NULs and line ends included.
    std::string content;
    for (int i = 0; i < 256; ++i) content += static_cast<char>(i);
    content += Closing;
    const std::string file = TempPath("load.prn");
    std::ofstream(file, std::ios::binary) << content;
    std::ofstream(lpt1, std::ios::trunc).close();
    {
        Answer open("win32_open_dialog", ChooseFile(file), "Open");
        Click(a, AdvancedId("Load_Switches"));
        ASSERT_TRUE(open.seen().found);
    }
    EXPECT_EQ(ReadAll(lpt1), content);
    EXPECT_FALSE(simple->advanced()->session().SessionHasValues);

    // A name that is not there is refused by the dialog: nothing goes out.
    std::ofstream(lpt1, std::ios::trunc).close();
    {
        const std::string missing = TempPath("missing.prn");
        Answer open("", [missing](HWND dialog) {
            ChooseFile(missing)(dialog);
            // The dialog says the file is not there; then the user gives up.
            FindDialog find{nullptr, "exist", nullptr};
            for (int i = 0; i < 100 && !find.found; ++i) {
                Sleep(50);
                EnumWindows(FindOurDialog, reinterpret_cast<LPARAM>(&find));
            }
            if (find.found) {
                Screenshot("win32_open_missing_file");
                PostMessageA(find.found, WM_COMMAND, IDOK, 0);
            }
            Sleep(300);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }, "Open");
        Click(a, AdvancedId("Load_Switches"));
        ASSERT_TRUE(open.seen().found);
    }
    EXPECT_EQ(ReadAll(lpt1), "");

    // A job to the device "lpt1" (any case) goes to the port, not to a new file of that name.
    simple->link().link().choose(LinkDestination::Kind::Device, "", "lpt1");
    Click(simple->window(), SimpleId("cmdSend2Prn"));
    EXPECT_EQ(ReadAll(lpt1), Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00}) + Closing);
}

TEST_F(Windows, AdvancedRowWithoutASwitchIsRefused) {
    HWND a = Advanced();
    const std::string printer = ToFile(simple->advanced()->link(), "refused.bin");
    SetWindowTextA(GetDlgItem(a, Text1Id(0)), "0001");
    SetWindowTextA(GetDlgItem(a, Combo1Id(1)), "Memory Switch G");
    SetWindowTextA(GetDlgItem(a, Text1Id(1)), "0002");
    {
        Answer warning("win32_row_without_switch", Press(IDOK));
        Click(a, AdvancedId("cmdSndPrn"));
        EXPECT_NE(warning.seen().text.find("Row 2"), std::string::npos);
    }
    EXPECT_EQ(ReadAll(printer), "");
    // Typed text that names an entry, in any case, is that entry.
    SetWindowTextA(GetDlgItem(a, Combo1Id(1)), "memory switch b");
    Click(a, AdvancedId("cmdSndPrn"));
    EXPECT_EQ(ReadAll(printer), Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x30, 0x30, 0x30, 0x30, 0x31, 0x0A, 0x00}) +
                                    Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x42, 0x30, 0x30, 0x30, 0x32, 0x0A, 0x00}) + Closing);
}

TEST_F(Windows, AltXExitsFromTheSimpleWindow) {
    HWND w = simple->window();
    // As the program's message loop hands it on: the access key of "E&xit".
    MSG alt{GetDlgItem(w, Check1Id(4)), WM_SYSCHAR, 'x', 0x20000001, 0, {}};
    EXPECT_TRUE(IsDialogMessageA(w, &alt));
    Pump();
    EXPECT_FALSE(simple->isLoaded());
}

// The windows' links are one printer: a device typed and sent to in the
// advanced window shows in the simple one, and it is what the next start
// uses after Alt+X there, though the simple window unloads last.
TEST_F(Windows, TheLastChoiceInEitherWindowIsWhatTheNextStartUses) {
    HWND a = Advanced();
    const std::string chosen = TempPath("chosen.bin");
    HWND edit = FindWindowExA(GetDlgItem(simple->advanced()->link().window(), LinkId("cboDevice")), nullptr, "Edit",
                              nullptr);
    Type(edit, chosen);
    Click(a, AdvancedId("cmdSndPrn"));
    EXPECT_EQ(ReadAll(chosen), Closing);
    Click(a, AdvancedId("cmdSimple"));
    EXPECT_EQ(ControlText(GetDlgItem(simple->link().window(), LinkId("cboDevice"))), chosen);
    MSG alt{GetDlgItem(simple->window(), Check1Id(4)), WM_SYSCHAR, 'x', 0x20000001, 0, {}};
    EXPECT_TRUE(IsDialogMessageA(simple->window(), &alt));
    Pump();
    EXPECT_FALSE(simple->isLoaded() || simple->advanced()->isLoaded());
    simple = std::make_unique<formSimple>();
    simple->Load();
    EXPECT_EQ(simple->link().link().destination(), (LinkDestination{LinkDestination::Kind::Device, chosen}));
}

// A settings file that is a folder: the window comes up and then says so. A
// read-only file is kept; a temporary file left by a save that was cut short
// is taken over by the next save.
TEST_F(Windows, SettingsFilesThatCannotBeReadOrWritten) {
    const std::string ini = VexloLink::DefaultSettingsPath();
    simple.reset();
    ASSERT_TRUE(CreateDirectoryA(ini.c_str(), nullptr));
    {
        bool windowWasUp = false;
        Answer warning("win32_settings_not_read", [&](HWND box) {
            windowWasUp = simple && IsWindowVisible(simple->window());
            Press(IDOK)(box);
        });
        simple = std::make_unique<formSimple>();
        simple->Load();
        simple->ShowAgain();
        Pump();
        EXPECT_EQ(warning.seen().title, "Kelvane v2.1");
        EXPECT_NE(warning.seen().text.find(ini + ": it is a folder, not a file."), std::string::npos)
            << warning.seen().text;
        EXPECT_TRUE(windowWasUp);
    }
    // The advanced window takes what the start read: no second warning.
    bool again = false;
    {
        Answer second("", [&](HWND box) {
            again = true;
            Press(IDOK)(box);
        });
        ASSERT_NE(Advanced(), nullptr);
        for (int i = 0; i < 10; ++i) {
            Pump();
            Sleep(50);
        }
    }
    EXPECT_FALSE(again);
    RemoveDirectoryA(ini.c_str());

    // Written for Notepad: CRLF at every line's end, the last one too.
    VexloLink stored(ini);
    stored.choose(LinkDestination::Kind::Device, "", "LPT1");
    stored.SaveSettings("Another");
    EXPECT_EQ(ReadAll(ini), "[Another]\r\nDevice=LPT1\r\nPrinter=\r\nUse=device\r\n");

    const std::string prn = TempPath("taken-over.prn");
    std::ofstream(prn) << "kept";
    SetFileAttributesA(prn.c_str(), FILE_ATTRIBUTE_READONLY);
    try {
        vexlo::ReplaceFile(prn, Closing);
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const LinkError& e) {
        EXPECT_NE(std::string(e.what()).find("write-protected"), std::string::npos) << e.what();
    }
    SetFileAttributesA(prn.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadAll(prn), "kept");
    const size_t slash = prn.find_last_of('\\');
    const std::string left = prn.substr(0, slash + 1) + "." + prn.substr(slash + 1) + ".saving";
    std::ofstream(left) << "cut short";
    vexlo::ReplaceFile(prn, Closing);
    EXPECT_EQ(ReadAll(prn), Closing);
    EXPECT_EQ(GetFileAttributesA(left.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Names in scripts the ANSI code page cannot hold: %APPDATA% of such a user
// gives the settings folder and its files are read; the device box shows a
// path as typed.
TEST_F(Windows, NamesInAnyScriptReachTheSettingsAndTheBoxes) {
    wchar_t temp[MAX_PATH] = {}, savedAppData[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    GetEnvironmentVariableW(L"APPDATA", savedAppData, MAX_PATH);
    for (const std::string user : {"Пользователь Иван", "ユーザー田中"}) {
        SCOPED_TRACE(user);
        const std::string appData = Narrow(temp) + user;
        CreateDirectoryW(Widen(appData).c_str(), nullptr);
        CreateDirectoryW(Widen(appData + "\\Kelvane").c_str(), nullptr);
        SetEnvironmentVariableW(L"APPDATA", Widen(appData).c_str());
        EXPECT_EQ(ConfigFolder(), appData + "\\Kelvane\\");
        std::ofstream(std::filesystem::path(Widen(appData + "\\Kelvane\\Kelvane2.ini"))) << "[Devices]";
        std::string text;
        EXPECT_EQ(ReadSettingsFile(EditorSettingsPath(), text), "");
        EXPECT_EQ(text, "[Devices]");

        const std::string device = appData + "\\выход.bin";
        // What the user types reaches the link, and what the link holds shows as it is.
        HWND box = GetDlgItem(simple->link().window(), LinkId("cboDevice"));
        SetWindowTextW(box, Widen(device).c_str());
        EXPECT_EQ(ControlText(box), device);
        SetControlText(box, "");
        SetControlText(box, device);
        wchar_t shown[MAX_PATH] = {};
        GetWindowTextW(box, shown, MAX_PATH);
        EXPECT_EQ(std::wstring(shown), Widen(device));
    }
    SetEnvironmentVariableW(L"APPDATA", savedAppData);
}

TEST_F(Windows, ALinkFailureIsReportedAndTheWindowGoesOn) {
    HWND w = simple->window();
    simple->link().link().choose(LinkDestination::Kind::Device, "", "C:\\no such folder\\out.bin");
    {
        Answer failure("win32_failure_message", Press(IDOK));
        Click(w, SimpleId("cmdSend2Prn"));
        EXPECT_EQ(failure.seen().title, "Kelvane v2.1");
        EXPECT_NE(failure.seen().text.find("no such folder"), std::string::npos);
    }
    EXPECT_TRUE(simple->isLoaded());
    EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(Windows, ExitAndCloseBoxEndBothWindows) {
    HWND a = Advanced();
    // The close box of the advanced window ends the program as "Exit" does.
    SendMessageA(a, WM_CLOSE, 0, 0);
    EXPECT_FALSE(simple->isLoaded());
    EXPECT_FALSE(IsWindowVisible(a));
    EXPECT_FALSE(IsWindowVisible(simple->window()));
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
