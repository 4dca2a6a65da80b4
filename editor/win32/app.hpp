#pragma once
// What both Win32 windows share: twips to pixels, control creation, the
// window font, message boxes and the switch selectors.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace kelvane::win {

inline constexpr const char* AppTitle = "Kelvane v2.1";

// Twips to pixels at the screen's dots per inch (15 twips a pixel at 96).
int Twips(int twips);

// A child control at a place given in twips, in the window font. Controls
// hold their text in UTF-16, so names in any script (a queue, a path) show
// as they are; the texts given and read here are UTF-8.
HWND MakeControl(HWND parent, const char* className, const char* text, DWORD style, int id, int left, int top,
                 int width, int height, DWORD exStyle = 0);
HWND MakeButton(HWND parent, const char* text, int id, int left, int top, int width, int height);
HWND MakeFrame(HWND parent, const char* text, int id, int left, int top, int width, int height);

HFONT WindowFont();

// Resizes a top-level window so that its client area is width x height twips.
void SetClientSize(HWND window, int width, int height);

// Hovering over `control` shows `text`.
void AddTooltip(HWND window, HWND control, const char* text);

// A failure that ended a workflow; the program goes on.
void ShowFailure(HWND owner, const std::string& reason);
// A warning with the exclamation icon and OK.
void ShowWarning(HWND owner, const std::string& text);
// The confirmation before the printer is cleared: OK goes on.
bool AskConfirm(HWND owner, const std::string& prompt);

// The sixteen switch names, entry 0 selected.
void FillSwitchSelector(HWND selector);
// The list position of the entry the selector shows; -1 when its text
// matches no entry (typed text).
int16_t SelectedPosition(HWND selector);

std::string ControlText(HWND control);
void SetControlText(HWND control, const std::string& text);
// Adds an entry to a combo box's list; its position.
LRESULT AddComboItem(HWND combo, const std::string& text);

// Runs `work` on another thread while this one keeps the windows painted.
void RunKeepingPainted(const std::function<void()>& work);

// The message loop of the program: keyboard navigation (Tab, access keys)
// in whichever window is active.
int RunMessageLoop();

}  // namespace kelvane::win
