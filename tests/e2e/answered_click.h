// A click on a button of the main window, and every window it brings up
// answered in turn: what the user was shown.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e/app_driver.h"

struct ShownMessage {
  std::string Caption;
  std::string Text;  // as drawn: line breaks are CR LF
};

// Answers the next window of the program other than `main` (Yes to a
// question, OK to anything else) once it is up; nothing when none comes
// within waitMs.
std::optional<ShownMessage> AnswerNextWindow(const TAppDriver& app, HWND main, DWORD waitMs);

// Clicks the button and answers what comes up until nothing more has come for quietMs.
std::vector<ShownMessage> ClickAndAnswerAll(const TAppDriver& app, HWND main, const std::string& button,
                                            DWORD firstMs = 15000, DWORD quietMs = 700);

// Clicks the button and answers exactly `windows` windows, without waiting
// for more: for runs of many clicks.
std::vector<ShownMessage> ClickAndAnswer(const TAppDriver& app, HWND main, HWND button, size_t windows);

// "caption: text" lines, for failure output.
std::string Describe(const std::vector<ShownMessage>& shown);
