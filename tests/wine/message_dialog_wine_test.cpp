// The message dialog on a real window manager (Wine): what the screen's work
// area does to it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "app/message_dialog_win32.h"
#include "ui/forms_win32.h"

namespace {

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// A listing of 20,000 lines (520,000 pixels of text) scrolls within the
// dialog: its OK button lies in the work area, and the whole text is there.
TEST(MessageDialogWineTest, AMessageTallerThanTheScreenKeepsItsButtonInTheWorkArea) {
  std::string listing = "Left as it was:";
  for (int i = 0; i < 20000; ++i) listing += "\r\nC:\\outside\\" + std::to_string(i) + "\\ntldr";
  const DWORD dialogThread = GetCurrentThreadId();
  RECT button{}, dialog{};
  int textLength = 0;
  bool found = false;
  // Looked at from a second thread while the dialog runs its modal loop on this one.
  std::thread checker([&] {
    HWND window = nullptr;
    for (int waited = 0; waited < 200 && !window; ++waited) {
      window = FindWindowA(kFormClassName, "Information");
      if (!window || !IsWindowVisible(window)) window = nullptr, Sleep(50);
    }
    if (!window) {
      PostThreadMessageA(dialogThread, WM_QUIT, 0, 0);
      return;
    }
    HWND ok = FindWindowExA(window, nullptr, "Button", "OK");
    HWND text = FindWindowExA(window, nullptr, "Edit", nullptr);
    found = ok != nullptr;
    GetWindowRect(ok, &button);
    GetWindowRect(window, &dialog);
    textLength = text ? GetWindowTextLengthA(text) : 0;
    PostMessageA(window, WM_CLOSE, 0, 0);
  });
  ShowMessageDialog(nullptr, listing, MessageKind::Information, MessageButtons::Ok);
  checker.join();
  MSG quit;
  PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);

  ASSERT_TRUE(found) << "no dialog with an OK button";
  const RECT workArea = WorkArea();
  EXPECT_TRUE(Inside(button, workArea)) << "OK at " << button.left << "," << button.top;
  EXPECT_TRUE(Inside(dialog, workArea)) << "dialog " << dialog.right - dialog.left << "x" << dialog.bottom - dialog.top;
  EXPECT_EQ(textLength, int(listing.size()));
}

}  // namespace
