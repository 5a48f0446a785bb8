#include "services/shell.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_os.h"

namespace {

using ::testing::ElementsAre;

TEST(Shell, TheTargetIsOpenedWithTheOpenVerbShownNormally) {
  TFakeOs os;
  HWND__ window{};
  ShellOpen(os, nullptr, "mailto:someone@example.com?subject=Stillvane");
  ShellOpen(os, &window, "http://example.com/");
  EXPECT_THAT(os.Calls(),
              ElementsAre("ShellExecuteA(NULL, open, mailto:someone@example.com?subject=Stillvane, NULL, NULL, 1)",
                          "ShellExecuteA(&, open, http://example.com/, NULL, NULL, 1)"));
}

TEST(Shell, ThePlatformIsTheFamilyOrZeroWhenUnknown) {
  TFakeOs os;
  EXPECT_EQ(PlatformId(os), static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_THAT(os.Calls(), ElementsAre("GetVersionExA(148)"));
  os.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(PlatformId(os), static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  os.FailCall("GetVersionExA", ERROR_INVALID_PARAMETER);
  EXPECT_EQ(PlatformId(os), 0u);
}

}  // namespace
