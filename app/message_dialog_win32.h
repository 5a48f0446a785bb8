// The program's modal message dialog, drawn by the program itself, and the
// error report, a standard message box.
#pragma once

#include <windows.h>

#include <string>

#include "services/dialogs.h"

// Shows the text modally over owner (which may be null), centred on the
// screen, and returns the button pressed; Cancel when the dialog is closed by
// its close box or Alt+F4.
DialogResult ShowMessageDialog(HWND owner, const std::string& text, MessageKind kind, MessageButtons buttons);

// The system icon a message of this kind shows.
LPCSTR MessageKindIcon(MessageKind kind);
// Puts the text on the clipboard, as Ctrl+C in the program's windows does.
void CopyTextToClipboard(HWND owner, const std::string& text);

// Shows an error that escaped an action: the message (see ErrorReportText)
// with an error icon and an OK button, captioned with the application title.
void ShowErrorReport(HWND owner, const std::string& applicationTitle, const std::string& message);
