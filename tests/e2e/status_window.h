// The Write Filter Status window as the end-to-end tests drive it: its
// controls by their ids in the window's table, and its questions.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "e2e/app_driver.h"
#include "e2e/layout_check.h"

namespace status_window {

inline constexpr UINT kCommand = 0x0110;  // the main window's own system menu command
inline constexpr char kCaption[] = "Write Filter Status";
enum ControlId {
  Sentence = 102,
  Checks = 104,
  Service = 106,
  Report = 107,
  Note = 108,
  Enable,
  Commit,
  CommitAndDisable,
  Refresh,
  Close
};

inline std::string Text(HWND window, int id) {
  return TAppDriver::Text(GetDlgItem(window, id));
}

// It is read before it is shown: its sentence is there at once.
inline bool IsRead(HWND window) {
  return !Text(window, Sentence).empty();
}

// Opened by the system menu's command, and read.
inline HWND Open(const TAppDriver& app, HWND main) {
  PostMessageA(main, WM_SYSCOMMAND, kCommand, 0);
  const HWND window = app.WaitForWindow(kCaption);
  EXPECT_TRUE(window && IsRead(window)) << "the status window was not read";
  return window;
}

// Clicks Refresh and waits until the window has been read again (its
// sentence is no longer `before`) and drawn so.
inline bool Refreshed(HWND window, const std::string& before) {
  TAppDriver::Click(FindButton(window, "&Refresh"));
  for (int waited = 0; waited < 100; ++waited, Sleep(50)) {
    if (Text(window, Sentence) == before) continue;
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    return true;
  }
  return false;
}

// Answers the question that comes up ("Confirm") and returns its text as drawn.
inline std::string Answer(const TAppDriver& app, bool yes) {
  const HWND question = app.WaitForWindow("Confirm", 15000);
  if (!question) return "no question";
  const std::string text = TAppDriver::MessageBoxText(question);
  TAppDriver::Click(FindButton(question, yes ? "&Yes" : "&No"));
  EXPECT_TRUE(app.WaitForWindowGone(question));
  return text;
}

}  // namespace status_window
