// The security bracket on the real (Wine) registry key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\Root.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "install/security_bracket.h"
#include "services/key_security.h"
#include "services/win32_os.h"
#include "support/recording_dialogs.h"

namespace {

const char kRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";

// The key's DACL as RegGetKeySecurity gives it; empty if it cannot be read.
std::vector<BYTE> ReadDacl() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, READ_CONTROL, &key) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> dacl(size, 0xCD);
  if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, dacl.data(), &size) != ERROR_SUCCESS) dacl.clear();
  RegCloseKey(key);
  return dacl;
}

LONG WriteDacl(PSECURITY_DESCRIPTOR descriptor) {
  HKEY key;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, WRITE_DAC, &key);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
  RegCloseKey(key);
  return result;
}

class SecurityBracketWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Original_ = ReadDacl();
    ASSERT_FALSE(Original_.empty());
  }
  // Whatever a failing test left on the key, the prefix gets its DACL back.
  void TearDown() override {
    if (ReadDacl() != Original_) WriteDacl(Original_.data());
  }

  TWin32Os Os_;
  TRecordingDialogs Dialogs_;
  SavedKeySecurity Saved_{Os_};
  std::vector<BYTE> Original_;
};

TEST_F(SecurityBracketWineTest, SaveAndRestoreGiveBackTheSameDaclBytes) {
  bool replaced = true;
  ASSERT_TRUE(SaveRootKeySecurity(Os_, Dialogs_, Saved_, replaced));
  EXPECT_FALSE(replaced);
  ASSERT_TRUE(Saved_);
  const auto* saved = static_cast<const BYTE*>(Saved_.get());
  EXPECT_EQ(std::vector<BYTE>(saved, saved + Original_.size()), Original_);

  // Open the key up as Windows' blank descriptor would, so the restore has work to do.
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  ASSERT_EQ(WriteDacl(&open), ERROR_SUCCESS);
  ASSERT_NE(ReadDacl(), Original_);

  EXPECT_TRUE(RestoreRootKeySecurity(Os_, Dialogs_, Saved_));
  EXPECT_EQ(ReadDacl(), Original_);
  EXPECT_FALSE(Saved_);
  EXPECT_TRUE(Dialogs_.Shown.empty());
}

// The key left open by an interrupted run: the start-up offer writes the
// standard permissions, and Windows keeps them as written.
TEST_F(SecurityBracketWineTest, TheRepairOfAnOpenKeyWritesTheStandardPermissions) {
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  ASSERT_EQ(WriteDacl(&open), ERROR_SUCCESS);

  Dialogs_.QueueAnswer(DialogResult::Yes);
  OfferRootKeySecurityRepair(Os_, Dialogs_);
  EXPECT_EQ(ReadDacl(), StandardKeySecurity());
  ASSERT_EQ(Dialogs_.Messages.size(), 2u);
  EXPECT_EQ(Dialogs_.Messages[1].Kind, MessageKind::Information);
}

TEST_F(SecurityBracketWineTest, DisableStopsAtTheMissingBlankDescriptorAndLeavesTheKeyAlone) {
  EXPECT_FALSE(DisableRootKeySecurity(Os_, Dialogs_, Saved_));
  ASSERT_EQ(Dialogs_.Messages.size(), 1u);
  EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Error);
  EXPECT_EQ(Dialogs_.Messages[0].Text,
            "An error occured while disabling security in the registry - failed to create a blank security "
            "descriptor.  Error 120");
  EXPECT_FALSE(Saved_);
  EXPECT_EQ(ReadDacl(), Original_);
}

}  // namespace
