#include "vexlo_comm.hpp"

#include <memory>
#include <thread>

#include "app.hpp"
#include "controls.hpp"
#include "utf16_win32.hpp"
#include "vexlo_delivery.hpp"

namespace kelvane::win {
namespace {

constexpr const char* ClassName = "VexloComm";
// The spooler's queues, read on another thread, arrive by this message.
constexpr UINT QueuesListed = WM_APP + 1;

std::string ComboItem(HWND combo, LRESULT index) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return Narrow(text);
}

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

void VexloComm::Register() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = ClassName;
    RegisterClassA(&wc);
}

VexloComm::VexloComm(HWND parent, int id, int left, int top, int width, int height) {
    Register();
    window_ = CreateWindowExA(WS_EX_CONTROLPARENT, ClassName, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, Twips(left),
                              Twips(top), Twips(width), Twips(height), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    optPrinter_ = MakeControl(window_, "BUTTON", "Printer", WS_TABSTOP | WS_GROUP | BS_RADIOBUTTON,
                              LinkId("optPrinter"), 30, 60, 1200, 300);
    cboPrinter_ = MakeControl(window_, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                              LinkId("cboPrinter"), 1245, 60, 1830, 2400);
    cmdRefresh_ = MakeButton(window_, "Refresh", LinkId("cmdRefresh"), 3105, 45, 705, 330);
    optDevice_ = MakeControl(window_, "BUTTON", "Device / file", WS_TABSTOP | BS_RADIOBUTTON,
                             LinkId("optDevice"), 30, 480, 1200, 300);
    cboDevice_ = MakeControl(window_, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                             LinkId("cboDevice"), 1245, 480, 2565, 2400);
    lblNextJob_ = MakeControl(window_, "STATIC", "", SS_LEFT | SS_NOPREFIX, LinkId("lblNextJob"), 30, 900, 3780,
                              600);
    AddTooltip(window_, cmdRefresh_, "Read the printers and devices again");

    link_.setOnChange([this] { show(); });
    link_.setWaiter(RunKeepingPainted);
    listDevices();
    show();

    // The spooler may be slow or far away: its queues arrive when they do.
    HWND target = window_;
    std::thread([target, list = vexlo::SpoolerQueueLister()] {
        auto queues = std::make_unique<vexlo::SpoolerQueues>(list());
        if (PostMessageA(target, QueuesListed, 0, reinterpret_cast<LPARAM>(queues.get()))) queues.release();
    }).detach();
}

VexloComm::~VexloComm() {
    link_.setOnChange(nullptr);
    if (IsWindow(window_)) SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
}

LRESULT CALLBACK VexloComm::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<VexloComm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == QueuesListed) {
        std::unique_ptr<vexlo::SpoolerQueues> queues(reinterpret_cast<vexlo::SpoolerQueues*>(lParam));
        if (self && !self->listed_) self->takeQueues(*queues);
        return 0;
    }
    if (self) return self->handle(message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT VexloComm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == LinkId("optPrinter") && code == BN_CLICKED) edited(LinkDestination::Kind::Spooler);
        if (id == LinkId("optDevice") && code == BN_CLICKED) edited(LinkDestination::Kind::Device);
        if (id == LinkId("cmdRefresh") && code == BN_CLICKED) refresh();
        // Picking or typing a destination means using it.
        if (id == LinkId("cboPrinter") && code == CBN_SELCHANGE) edited(LinkDestination::Kind::Spooler);
        if (id == LinkId("cboDevice") && code == CBN_EDITCHANGE) edited(LinkDestination::Kind::Device);
        if (id == LinkId("cboDevice") && code == CBN_SELCHANGE) {
            // A pick from the list arrives before the field shows it.
            const LRESULT index = SendMessageA(cboDevice_, CB_GETCURSEL, 0, 0);
            if (index != CB_ERR) edited(LinkDestination::Kind::Device, ComboItem(cboDevice_, index));
        }
        return 0;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void VexloComm::setShowSpooler(bool on) {
    ShowWindow(optPrinter_, on ? SW_SHOW : SW_HIDE);
    ShowWindow(cboPrinter_, on ? SW_SHOW : SW_HIDE);
}

void VexloComm::setShowFile(bool on) {
    ShowWindow(optDevice_, on ? SW_SHOW : SW_HIDE);
    ShowWindow(cboDevice_, on ? SW_SHOW : SW_HIDE);
}

void VexloComm::refresh() {
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    listDevices();
    takeQueues(vexlo::ListSpoolerQueues());
    show();
    SetCursor(previous);
}

void VexloComm::EndJob() {
    {
        HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        struct Restore {
            HCURSOR cursor;
            ~Restore() { SetCursor(cursor); }
        } restore{previous};
        link_.EndJob();
    }
    if (!link_.notice().empty()) ShowWarning(GetAncestor(window_, GA_ROOT), link_.notice());
}

void VexloComm::listDevices() {
    const std::string typed = ControlText(cboDevice_);
    SendMessageA(cboDevice_, CB_RESETCONTENT, 0, 0);
    for (const auto& device : vexlo::ListDevices()) {
        AddComboItem(cboDevice_, device);
    }
    SetControlText(cboDevice_, typed);
}

void VexloComm::takeQueues(const vexlo::SpoolerQueues& queues) {
    listed_ = true;
    link_.setQueues(queues);
    show();
}

void VexloComm::edited(LinkDestination::Kind use, const std::string& picked) {
    if (showing_) return;
    const LRESULT printerIndex = SendMessageA(cboPrinter_, CB_GETCURSEL, 0, 0);
    const std::string printer = printerIndex == CB_ERR ? std::string() : ComboItem(cboPrinter_, printerIndex);
    link_.choose(use, printer, Trimmed(picked.empty() ? ControlText(cboDevice_) : picked));
}

void VexloComm::show() {
    showing_ = true;
    const auto& names = link_.queues().names;
    bool same = SendMessageA(cboPrinter_, CB_GETCOUNT, 0, 0) == static_cast<LRESULT>(names.size());
    for (size_t i = 0; same && i < names.size(); ++i) same = ComboItem(cboPrinter_, static_cast<LRESULT>(i)) == names[i];
    if (!same) {
        SendMessageA(cboPrinter_, CB_RESETCONTENT, 0, 0);
        for (const auto& name : names) AddComboItem(cboPrinter_, name);
    }
    const std::string& printer = link_.printer();
    LRESULT index = CB_ERR;
    for (LRESULT i = 0; !printer.empty() && i < SendMessageA(cboPrinter_, CB_GETCOUNT, 0, 0); ++i) {
        if (ComboItem(cboPrinter_, i) == printer) index = i;
    }
    if (index == CB_ERR && !printer.empty()) {
        // A remembered queue that the spooler no longer lists stays visible,
        // so the user sees why a job fails.
        index = AddComboItem(cboPrinter_, printer);
    }
    SendMessageA(cboPrinter_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);

    if (Trimmed(ControlText(cboDevice_)) != link_.device()) SetControlText(cboDevice_, link_.device());

    const auto use = link_.use();
    SendMessageA(optPrinter_, BM_SETCHECK, use == LinkDestination::Kind::Spooler ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageA(optDevice_, BM_SETCHECK, use == LinkDestination::Kind::Device ? BST_CHECKED : BST_UNCHECKED, 0);
    SetControlText(lblNextJob_, link_.nextJobText());
    showing_ = false;
}

}  // namespace kelvane::win
