// What the benchmark's yardstick programs share: a window class of the
// simplest kind, and the message dialog a click on one of their buttons
// shows (a text, an OK button, a modal loop), of the outer size the driver
// passes on the command line ("PROGRAM.exe WIDTH HEIGHT") so that it matches
// Stillvane's Information dialog.
#pragma once

#include <windows.h>

// Reads the dialog's size from the command line, if given, and registers
// the dialog's window class.
bool PrepareMessageDialog();

bool RegisterWindowClass(const char* name, WNDPROC windowProc, UINT style = 0);

// Modal: returns once the dialog is closed, with the owner enabled again.
void ShowMessageDialog(HWND owner);
