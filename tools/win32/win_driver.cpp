// windriver.exe: drives another Win32 program's windows for end-to-end tests
// under Wine (or on Windows). One command per run; it prints what it found on
// standard output and ends with 0, or says what failed on standard error and
// ends with 1. Run it in the same WINEPREFIX (and on the same display) as the
// program under test.
//
// A window is named by a list of `;`-separated conditions, all of which a
// visible top-level window must meet:
//   class=NAME    its window class ("#32770" for dialogs)
//   title=TEXT    its caption, exactly
//   has=TEXT      a child control with this text (a notice without a caption)
//   shown=any     hidden windows count too (a modal dialog is shown only once
//                 its thread's queue is first empty; a quick run may end before)
// e.g. "class=#32770;title=Port" or "class=#32770;has=Write End !".
// Controls are named by their dialog id, decimal or 0x hex; id 0 is the
// window itself. A control inside a child window (a panel of rows) is found
// by its id too.
//
// Commands (WAIT is a time in ms, 10000 when left out):
//   wait WHICH [WAIT]          wait until the window is there; prints its handle
//   gone WHICH [WAIT]          wait until no such window is left
//   text WHICH ID              prints the control's text
//   settext WHICH ID TEXT      sets the control's text (WM_SETTEXT)
//   click WHICH ID             posts a click to a button (BM_CLICK)
//   command WHICH ID           posts WM_COMMAND with the whole parameter ID (a menu item)
//   close WHICH                posts the system menu's Close (as the close box does)
//   key WHICH VK               posts a key press (decimal or 0x hex virtual key) to
//                             the control that has the focus in that window's thread
//   state WHICH ID             prints "checked|unchecked enabled|disabled visible|hidden"
//   pos WHICH ID               prints a progress bar's position
//   rect WHICH [ID]            prints "left top width height" in screen pixels
//   style WHICH [ID]           prints the window style and extended style in hex
//   list                      prints every visible top-level window: handle, class, title
//   openfile PATH [WAIT]      fills in the open-file dialog's name field and presses Open
//                             (a Unix path /a/b becomes Z:\a\b; any script)
//   owner WHICH               prints the class and title of the window that owns it
//   fits WHICH                prints every text control (static, button) whose text
//                             does not fit its box in its own font: id, text, what it
//                             needs and what it has; nothing when all fit
//   screenshot FILE           saves the whole screen as PNG (ImageMagick's `import -window root`)
//   consoleclose EXE [WAIT]   closes the console of the running program EXE (a file name,
//                             "quarveld-write.exe") as Windows does: its control handlers
//                             get CTRL_CLOSE_EVENT on a thread of their own, and the
//                             program is ended as soon as they return; prints "returned"
//                             when it had to be ended so, "ended" when it ended first
// Posted messages do not wait: a click that opens a modal dialog returns at once.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Which {
    std::string className, title, has;
    bool hasClass = false, hasTitle = false, hasChild = false, anyShown = false;
};

Which ParseWhich(const std::string& text) {
    Which which;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(at, end - at);
        if (part.rfind("class=", 0) == 0) {
            which.className = part.substr(6);
            which.hasClass = true;
        } else if (part.rfind("title=", 0) == 0) {
            which.title = part.substr(6);
            which.hasTitle = true;
        } else if (part.rfind("has=", 0) == 0) {
            which.has = part.substr(4);
            which.hasChild = true;
        } else if (part == "shown=any") {
            which.anyShown = true;
        }
        at = end + 1;
    }
    return which;
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    // WM_GETTEXT reaches controls of other processes, GetWindowText does not.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        nullptr);
    return text;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct ChildSearch {
    const std::string* text;
    bool found;
};

BOOL CALLBACK FindChildText(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ChildSearch*>(data);
    if (WindowText(child) == *search->text) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

bool Matches(HWND window, const Which& which) {
    if (!which.anyShown && !IsWindowVisible(window)) return false;
    if (which.hasClass && ClassOf(window) != which.className) return false;
    if (which.hasTitle && WindowText(window) != which.title) return false;
    if (which.hasChild) {
        ChildSearch search{&which.has, false};
        EnumChildWindows(window, FindChildText, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return false;
    }
    return true;
}

struct TopSearch {
    const Which* which;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TopSearch*>(data);
    if (search->which == nullptr ? IsWindowVisible(window) != FALSE : Matches(window, *search->which))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> FindAll(const Which* which) {
    TopSearch search{which, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Fail(const char* format, const std::string& what) {
    std::fprintf(stderr, "windriver: ");
    std::fprintf(stderr, format, what.c_str());
    std::fprintf(stderr, "\n");
    return 1;
}

bool ParseNumber(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 0);
    return end != text && *end == '\0';
}

// The one window the which names, waiting up to `waitMs` for it.
HWND WaitFor(const std::string& specText, long waitMs) {
    const Which which = ParseWhich(specText);
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindAll(&which);
        if (!found.empty()) return found.front();
        if (static_cast<long>(GetTickCount() - start) >= waitMs) return nullptr;
        Sleep(20);
    }
}

struct IdSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindChildId(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<IdSearch*>(data);
    if (GetDlgCtrlID(child) != search->id) return TRUE;
    search->found = child;
    return FALSE;
}

HWND Control(HWND window, long id) {
    if (id == 0) return window;
    if (HWND direct = GetDlgItem(window, static_cast<int>(id))) return direct;
    IdSearch search{static_cast<int>(id), nullptr};
    EnumChildWindows(window, FindChildId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The command line's arguments as Windows has them (the ANSI argv turns a
// name in another script into "?").
std::vector<std::wstring> WideArguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 0; wide != nullptr && i < count; ++i) args.emplace_back(wide[i]);
    if (wide != nullptr) LocalFree(wide);
    return args;
}

// A Unix path /a/b is Wine's Z:\a\b.
int OpenFile(const std::wstring& given, long waitMs) {
    std::wstring path = given;
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    // The name field of the open-file dialog (cmb13, 0x47c) exists and is
    // visible only once the dialog is ready for input.
    const Which which = ParseWhich("class=#32770");
    const DWORD start = GetTickCount();
    for (;;) {
        for (HWND dialog : FindAll(&which)) {
            HWND name = GetDlgItem(dialog, 0x47c);
            if (name == nullptr || !IsWindowVisible(name)) continue;
            SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            return 0;
        }
        if (static_cast<long>(GetTickCount() - start) >= waitMs) return Fail("no open-file dialog came up", "");
        Sleep(20);
    }
}

struct FitCheck {
    std::string report;
};

// A control's text against its client area, measured in the control's font
// as the control draws it (one line unless it wraps; a check or radio box
// takes its box and a gap first; a push button a frame).
BOOL CALLBACK CheckFit(HWND control, LPARAM data) {
    auto* check = reinterpret_cast<FitCheck*>(data);
    const std::string kind = ClassOf(control);
    if (!IsWindowVisible(control) || (kind != "Static" && kind != "Button")) return TRUE;
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const LONG type = style & 0x0F;
    if (kind == "Static" && type > SS_RIGHT && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP) return TRUE;
    if (kind == "Button" && type == BS_GROUPBOX) return TRUE;
    wchar_t text[512] = {};
    SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    if (text[0] == L'\0') return TRUE;
    DWORD_PTR font = 0;
    SendMessageTimeoutA(control, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, 2000, &font);
    RECT box{};
    GetClientRect(control, &box);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font != 0 ? reinterpret_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const bool wraps = kind == "Static" && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE;
    RECT need{0, 0, wraps ? box.right : 0, 0};
    const UINT prefix = (kind == "Static" && (style & SS_NOPREFIX)) ? DT_NOPREFIX : 0;
    DrawTextW(dc, text, -1, &need, DT_CALCRECT | prefix | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    long width = need.right, height = need.bottom;
    if (kind == "Button") {
        const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                         type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
        width += box ? GetSystemMetrics(SM_CXMENUCHECK) + 2 : 2 * GetSystemMetrics(SM_CXEDGE);
        if (!box) height += 2 * GetSystemMetrics(SM_CYEDGE);
    }
    if (width > box.right || height > box.bottom) {
        char line[800];
        std::snprintf(line, sizeof line, "%d \"%ls\" needs %ldx%ld, has %ldx%ld\n", GetDlgCtrlID(control), text,
                      width, height, box.right, box.bottom);
        check->report += line;
    }
    return TRUE;
}

// Wine's drive Z: is the Unix root.
DWORD FileSize(const std::string& unixPath) {
    const std::string file = "Z:" + unixPath;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

int Screenshot(const std::string& file) {
    // Wine runs a Unix program by its path (`xwd -root` would show dialogs
    // as black boxes). Its process handle says nothing reliable about the
    // Unix program's end, so wait for the file to appear and stop growing.
    // FILE is a Unix path without blanks.
    if (file.empty() || file[0] != '/') return Fail("%s is not an absolute Unix path", file);
    DeleteFileA(("Z:" + file).c_str());
    std::string command = "/usr/bin/import -window root " + file;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return Fail("cannot run %s", command);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DWORD last = 0;
    for (int i = 0; i < 300; ++i) {
        Sleep(100);
        const DWORD size = FileSize(file);
        if (size != 0 && size == last) return 0;
        last = size;
    }
    return Fail("%s wrote no picture", command);
}

int Usage() {
    std::fprintf(stderr, "usage: windriver COMMAND ... (see the comment at the top of win_driver.cpp)\n");
    return 2;
}

// Windows tells a console program of its closed console by starting the
// system's control routine in it with the event; that routine runs the
// program's handlers, and once they return the program is ended.
int ConsoleClose(const std::string& exe, long waitMs) {
    DWORD pid = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && pid == 0; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, exe.c_str()) == 0) pid = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    if (pid == 0) return Fail("no program %s is running", exe);
    const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (process == nullptr) return Fail("%s cannot be reached", exe);
    FARPROC routine = GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine");
    if (routine == nullptr) routine = GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine");
    const HANDLE thread =
        routine == nullptr ? nullptr
                           : CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(routine)),
                                                reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(CTRL_CLOSE_EVENT)), 0,
                                                nullptr);
    if (thread == nullptr) {
        CloseHandle(process);
        return Fail("the control routine cannot be started in %s", exe);
    }
    const HANDLE either[2] = {process, thread};
    const DWORD first = WaitForMultipleObjects(2, either, FALSE, static_cast<DWORD>(waitMs));
    if (first != WAIT_OBJECT_0) TerminateProcess(process, 0xC000013A);  // STATUS_CONTROL_C_EXIT
    std::printf("%s\n", first == WAIT_OBJECT_0 ? "ended" : "returned");
    CloseHandle(thread);
    CloseHandle(process);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    long waitMs = 10000;

    if (command == "list") {
        for (HWND window : FindAll(nullptr))
            std::printf("%p %s \"%s\"\n", static_cast<void*>(window), ClassOf(window).c_str(), WindowText(window).c_str());
        return 0;
    }
    if (command == "openfile" && !args.empty()) {
        if (args.size() > 1 && !ParseNumber(args[1].c_str(), waitMs)) return Usage();
        const std::vector<std::wstring> wide = WideArguments();
        if (wide.size() != static_cast<std::size_t>(argc)) return Fail("the command line cannot be read", "");
        return OpenFile(wide[2], waitMs);
    }
    if (command == "screenshot" && args.size() == 1) return Screenshot(args[0]);
    if (command == "consoleclose" && !args.empty()) {
        if (args.size() > 1 && !ParseNumber(args[1].c_str(), waitMs)) return Usage();
        return ConsoleClose(args[0], waitMs);
    }
    if (args.empty()) return Usage();

    if (command == "wait" || command == "gone") {
        if (args.size() > 1 && !ParseNumber(args[1].c_str(), waitMs)) return Usage();
        if (command == "wait") {
            HWND window = WaitFor(args[0], waitMs);
            if (window == nullptr) return Fail("no window %s", args[0]);
            std::printf("%p\n", static_cast<void*>(window));
            return 0;
        }
        const Which which = ParseWhich(args[0]);
        const DWORD start = GetTickCount();
        while (!FindAll(&which).empty()) {
            if (static_cast<long>(GetTickCount() - start) >= waitMs) return Fail("window %s is still there", args[0]);
            Sleep(20);
        }
        return 0;
    }

    // The rest act on a window that must be there already (a short grace for
    // one that is just coming up).
    HWND window = WaitFor(args[0], 2000);
    if (window == nullptr) return Fail("no window %s", args[0]);
    long id = 0;
    if (args.size() > 1 && !ParseNumber(args[1].c_str(), id)) return Usage();
    if (command == "owner" && args.size() == 1) {
        HWND owner = GetWindow(window, GW_OWNER);
        if (owner == nullptr) return Fail("%s has no owner", args[0]);
        std::printf("%s \"%s\"\n", ClassOf(owner).c_str(), WindowText(owner).c_str());
        return 0;
    }
    if (command == "fits" && args.size() == 1) {
        FitCheck check;
        EnumChildWindows(window, CheckFit, reinterpret_cast<LPARAM>(&check));
        std::fputs(check.report.c_str(), stdout);
        return 0;
    }
    if (command == "command" && args.size() == 2) {
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0);
        return 0;
    }
    if (command == "key" && args.size() == 2) {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        HWND target = window;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus != nullptr)
            target = thread.hwndFocus;
        PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(id), 1);
        PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(id), static_cast<LPARAM>(0xC0000001u));
        return 0;
    }
    HWND control = Control(window, id);
    if (control == nullptr) return Fail("no control %s", args.size() > 1 ? args[1] : "");

    if (command == "text" && args.size() == 2) {
        std::printf("%s\n", WindowText(control).c_str());
    } else if (command == "settext" && args.size() == 3) {
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()));
    } else if (command == "click" && args.size() == 2) {
        PostMessageA(control, BM_CLICK, 0, 0);
    } else if (command == "close" && args.size() == 1) {
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (command == "state" && args.size() == 2) {
        const LRESULT check = SendMessageA(control, BM_GETCHECK, 0, 0);
        std::printf("%s %s %s\n", check == BST_CHECKED ? "checked" : "unchecked",
                    IsWindowEnabled(control) ? "enabled" : "disabled", IsWindowVisible(control) ? "visible" : "hidden");
    } else if (command == "pos" && args.size() == 2) {
        std::printf("%ld\n", static_cast<long>(SendMessageA(control, PBM_GETPOS, 0, 0)));
    } else if (command == "rect" && args.size() <= 2) {
        RECT rect{};
        GetWindowRect(control, &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    } else if (command == "style" && args.size() <= 2) {
        std::printf("%08lx %08lx\n", static_cast<unsigned long>(GetWindowLongA(control, GWL_STYLE)),
                    static_cast<unsigned long>(GetWindowLongA(control, GWL_EXSTYLE)));
    } else {
        return Usage();
    }
    return 0;
}
