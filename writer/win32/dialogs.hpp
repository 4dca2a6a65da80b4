#pragma once
// QUARVELD.exe's dialogs: each is run modally from a template of the resource
// script and turns clicks into calls on the writer's core.
#include <windows.h>

#include "port.hpp"

namespace quarveld::win32 {

// The instance whose resources the dialogs are made from.
extern HINSTANCE instance;

// COM1, COM2 and LPT1 are the system's own device names here.
DeviceMap SystemDevices();

// Shared by the two notices and the "Exit" question: a button whose id is 1
// to 7 ends the dialog with that id. A window given as the dialog's parameter
// places it centred below that window.
INT_PTR CALLBACK NoticeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The "Port" dialog over `owner`: 1 when OK stored the choices in `settings`,
// 2 when CANCEL left them.
INT_PTR RunPortDialog(HWND owner, PortSettings& settings);

// The Write dialog over `owner`: chooses the image, opens it and the port,
// runs the worker. 0 (cancelled or failed), 1 (written to the end) or 3 (aborted).
INT_PTR RunWriteDialog(HWND owner, const PortSettings& settings);

}  // namespace quarveld::win32
