// How an error that escapes an action reaches the user.
#pragma once

#include <string>

#include "services/dialogs.h"

// The report's text: a full stop is appended when the last character's code
// is greater than that of '.'; an empty message stays empty.
std::string ErrorReportText(const std::string& message);

// The one place a button handler runs through: an exception never crosses a
// Win32 callback, it is shown by dialogs.ReportError and the window goes on.
// A plain function and its argument rather than std::function, whose
// per-lambda manager the exe would carry once for every button.
void RunAction(TDialogs& dialogs, void (*action)(void* argument), void* argument);

template <typename Action>
void RunAction(TDialogs& dialogs, Action action) {
  RunAction(
      dialogs, [](void* argument) { (*static_cast<Action*>(argument))(); }, &action);
}
