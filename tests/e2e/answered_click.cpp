#include "e2e/answered_click.h"

#include <gtest/gtest.h>

#include "e2e/layout_check.h"

namespace {

HWND ButtonIn(HWND window, const char* caption) {
  for (const ControlInfo& control : TAppDriver::Controls(window))
    if (control.Text == caption && lstrcmpiA(control.ClassName.c_str(), "Button") == 0) return control.Hwnd;
  return nullptr;
}

bool Gone(HWND window) {
  return !IsWindow(window) || !IsWindowVisible(window);
}

}  // namespace

std::optional<ShownMessage> AnswerNextWindow(const TAppDriver& app, HWND main, DWORD waitMs) {
  HWND window = nullptr;
  for (DWORD start = GetTickCount(); !window; Sleep(2)) {
    for (HWND candidate : app.TopLevelWindows())
      if (candidate != main) window = candidate;
    if (!window && GetTickCount() - start > waitMs) return std::nullopt;
  }
  // A dialog is shown before its controls are all made: wait for a button.
  HWND button = nullptr;
  for (DWORD start = GetTickCount(); !button && GetTickCount() - start < 5000; Sleep(2))
    if (!(button = ButtonIn(window, "&Yes"))) button = ButtonIn(window, "OK");
  ShownMessage shown{TAppDriver::Text(window), TAppDriver::MessageBoxText(window)};
  if (!button) {
    ADD_FAILURE() << "no Yes or OK button in \"" << shown.Caption << "\": " << shown.Text;
    return shown;
  }
  PostMessageA(button, BM_CLICK, 0, 0);
  for (DWORD start = GetTickCount(); !Gone(window); Sleep(2)) {
    if (GetTickCount() - start > 10000) {
      ADD_FAILURE() << "\"" << shown.Caption << "\" stayed after its answer";
      break;
    }
  }
  return shown;
}

std::vector<ShownMessage> ClickAndAnswerAll(const TAppDriver& app, HWND main, const std::string& button, DWORD firstMs,
                                            DWORD quietMs) {
  std::vector<ShownMessage> shown;
  TAppDriver::Click(FindButton(main, button));
  for (DWORD waitMs = firstMs; auto next = AnswerNextWindow(app, main, waitMs); waitMs = quietMs)
    shown.push_back(*next);
  return shown;
}

std::vector<ShownMessage> ClickAndAnswer(const TAppDriver& app, HWND main, HWND button, size_t windows) {
  std::vector<ShownMessage> shown;
  TAppDriver::Click(button);
  while (shown.size() < windows) {
    const auto next = AnswerNextWindow(app, main, 15000);
    if (!next) break;
    shown.push_back(*next);
  }
  return shown;
}

std::string Describe(const std::vector<ShownMessage>& shown) {
  std::string text;
  for (const ShownMessage& message : shown) text += "\n  " + message.Caption + ": " + message.Text;
  return shown.empty() ? "(nothing)" : text;
}
