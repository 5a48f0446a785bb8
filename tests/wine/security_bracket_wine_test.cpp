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
    original_ = ReadDacl();
    ASSERT_FALSE(original_.empty());
  }
  // Whatever a failing test left on the key, the prefix gets its DACL back.
  void TearDown() override {
    if (ReadDacl() != original_) WriteDacl(original_.data());
  }

  TWin32Os os_;
  TRecordingDialogs dialogs_;
  SavedKeySecurity saved_{os_};
  std::vector<BYTE> original_;
};

TEST_F(SecurityBracketWineTest, SaveAndRestoreGiveBackTheSameDaclBytes) {
  bool replaced = true;
  ASSERT_TRUE(SaveRootKeySecurity(os_, dialogs_, saved_, replaced));
  EXPECT_FALSE(replaced);
  ASSERT_TRUE(saved_);
  const auto* saved = static_cast<const BYTE*>(saved_.get());
  EXPECT_EQ(std::vector<BYTE>(saved, saved + original_.size()), original_);

  // Open the key up as Windows' blank descriptor would, so the restore has work to do.
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  ASSERT_EQ(WriteDacl(&open), ERROR_SUCCESS);
  ASSERT_NE(ReadDacl(), original_);

  EXPECT_TRUE(RestoreRootKeySecurity(os_, dialogs_, saved_));
  EXPECT_EQ(ReadDacl(), original_);
  EXPECT_FALSE(saved_);
  EXPECT_TRUE(dialogs_.shown.empty());
}

// The key left open by an interrupted run: the start-up offer writes the
// standard permissions, and Windows keeps them as written.
TEST_F(SecurityBracketWineTest, TheRepairOfAnOpenKeyWritesTheStandardPermissions) {
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  ASSERT_EQ(WriteDacl(&open), ERROR_SUCCESS);

  dialogs_.QueueAnswer(DialogResult::Yes);
  OfferRootKeySecurityRepair(os_, dialogs_);
  EXPECT_EQ(ReadDacl(), StandardKeySecurity());
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].kind, MessageKind::Information);
}

TEST_F(SecurityBracketWineTest, DisableStopsAtTheMissingBlankDescriptorAndLeavesTheKeyAlone) {
  EXPECT_FALSE(DisableRootKeySecurity(os_, dialogs_, saved_));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].kind, MessageKind::Error);
  EXPECT_EQ(dialogs_.messages[0].text,
            "An error occured while disabling security in the registry - failed to create a blank security "
            "descriptor.  Error 120");
  EXPECT_FALSE(saved_);
  EXPECT_EQ(ReadDacl(), original_);
}

}  // namespace
