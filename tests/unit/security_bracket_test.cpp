// The security bracket around Enum\Root: the calls and their arguments, each
// failure's message, and that nothing is left allocated, open or changed.
#include "install/security_bracket.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/fake_os.h"
#include "support/recording_dialogs.h"
#include "support/security_descriptor_bytes.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const char kRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";
const std::string kRootHandle = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root";
const std::string kDisabling = "An error occured while disabling security in the registry - ";
const std::string kRestoring = "An error occured while restoring security in the registry - ";

class SecurityBracketTest : public ::testing::Test {
 protected:
  SecurityBracketTest() { Os_.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot); }

  std::vector<BYTE> Dacl() { return Os_.Registry().Security(HKEY_LOCAL_MACHINE, kRoot); }
  std::vector<BYTE> SavedBytes() const {
    const auto* bytes = static_cast<const BYTE*>(Saved_.get());
    return bytes ? std::vector<BYTE>(bytes, bytes + SelfRelativeLength(bytes)) : std::vector<BYTE>();
  }
  // One error message with OK, and nothing else shown.
  void ExpectOnlyError(const std::string& text) const {
    ASSERT_EQ(Dialogs_.Messages.size(), 1u);
    EXPECT_EQ(Dialogs_.Messages[0].Text, text);
    EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Error);
    EXPECT_EQ(Dialogs_.Messages[0].Buttons, MessageButtons::Ok);
    EXPECT_EQ(Dialogs_.Shown.size(), 1u);
  }
  void ExpectNothingHeld() const {
    EXPECT_FALSE(Saved_);
    EXPECT_EQ(Os_.LiveLocalAllocationCount(), 0);
    EXPECT_EQ(Os_.OpenKeyCount(), 0);
  }

  TFakeOs Os_;
  TRecordingDialogs Dialogs_;
  SavedKeySecurity Saved_{Os_};
  bool Replaced_ = false;
};

TEST_F(SecurityBracketTest, DisableSavesTheDaclSetsABlankOneAndRestorePutsTheSameBytesBack) {
  const std::vector<BYTE> original = Dacl();
  ASSERT_TRUE(DisableRootKeySecurity(Os_, Dialogs_, Saved_));
  const std::string size = std::to_string(original.size());
  EXPECT_THAT(
      Os_.Calls(),
      ElementsAre("RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x20019)",
                  "RegGetKeySecurity(" + kRootHandle + ", 4, NULL, 0)", "LocalAlloc(0x0, " + size + ")",
                  "RegGetKeySecurity(" + kRootHandle + ", 4, &, " + size + ")", "RegCloseKey(" + kRootHandle + ")",
                  "RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x40001)",
                  "BuildSecurityDescriptorA(NULL, NULL, 0, NULL, 0, NULL, NULL)",
                  "RegSetKeySecurity(" + kRootHandle + ", 4, &)", "LocalFree(#2)", "RegCloseKey(" + kRootHandle + ")"));
  EXPECT_TRUE(HasNullDacl(Dacl()));
  EXPECT_EQ(SavedBytes(), original);
  EXPECT_EQ(Os_.LiveLocalAllocationCount(), 1);
  EXPECT_EQ(Os_.OpenKeyCount(), 0);

  // Disabled, the key lets the installation create keys below it.
  HKEY created = nullptr;
  ASSERT_EQ(Os_.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  Os_.RegCloseKey(created);

  Os_.ClearCalls();
  ASSERT_TRUE(RestoreRootKeySecurity(Os_, Dialogs_, Saved_));
  EXPECT_THAT(Os_.Calls(),
              ElementsAre("RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x40001)",
                          "RegSetKeySecurity(" + kRootHandle + ", 4, &)", "RegFlushKey(" + kRootHandle + ")",
                          "RegCloseKey(" + kRootHandle + ")", "LocalFree(#1)"));
  EXPECT_EQ(Dacl(), original);
  EXPECT_TRUE(Dialogs_.Shown.empty());
  ExpectNothingHeld();
}

TEST_F(SecurityBracketTest, EachRunSavesTheDaclAfreshAndReleasesWhatWasHeld) {
  ASSERT_TRUE(SaveRootKeySecurity(Os_, Dialogs_, Saved_, Replaced_));
  Os_.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, OpenSecurityDescriptor());
  ASSERT_TRUE(SaveRootKeySecurity(Os_, Dialogs_, Saved_, Replaced_));
  EXPECT_EQ(SavedBytes(), OpenSecurityDescriptor());
  EXPECT_FALSE(Replaced_);
  EXPECT_EQ(Os_.LiveLocalAllocationCount(), 1);
  Saved_.reset();
  EXPECT_EQ(Os_.LiveLocalAllocationCount(), 0);
}

// What an interrupted run leaves (a NULL DACL) or no DACL at all is never
// taken for the original: the standard permissions are saved instead.
TEST_F(SecurityBracketTest, AnOpenDaclIsReplacedByTheStandardOneWhenSaved) {
  for (const std::vector<BYTE>& open : {BlankSecurityDescriptor(), DescriptorWithoutParts()}) {
    Os_.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, open);
    ASSERT_TRUE(SaveRootKeySecurity(Os_, Dialogs_, Saved_, Replaced_));
    EXPECT_TRUE(Replaced_);
    EXPECT_EQ(SavedBytes(), ProtectedSecurityDescriptor());
    ASSERT_TRUE(RestoreRootKeySecurity(Os_, Dialogs_, Saved_));
    EXPECT_EQ(Dacl(), ProtectedSecurityDescriptor());
  }
  EXPECT_TRUE(Dialogs_.Shown.empty());
  ExpectNothingHeld();
}

// At start-up an open key brings a question; Yes puts the standard
// permissions back for good, No and a key as it should be change nothing.
TEST_F(SecurityBracketTest, AtStartUpAnOpenKeyIsOfferedItsStandardPermissions) {
  const std::vector<BYTE> original = Dacl();
  OfferRootKeySecurityRepair(Os_, Dialogs_);
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(Dacl(), original);

  Os_.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, BlankSecurityDescriptor());
  Dialogs_.QueueAnswer(DialogResult::No);
  OfferRootKeySecurityRepair(Os_, Dialogs_);
  ASSERT_EQ(Dialogs_.Messages.size(), 1u);
  EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Warning);
  EXPECT_EQ(Dialogs_.Messages[0].Buttons, MessageButtons::YesNo);
  EXPECT_EQ(Dacl(), BlankSecurityDescriptor());

  Dialogs_.QueueAnswer(DialogResult::Yes);
  Os_.ClearCalls();
  OfferRootKeySecurityRepair(Os_, Dialogs_);
  EXPECT_EQ(Dacl(), ProtectedSecurityDescriptor());
  EXPECT_EQ(Os_.CallsNamed("RegFlushKey").size(), 1u);
  ASSERT_EQ(Dialogs_.Messages.size(), 3u);
  EXPECT_EQ(Dialogs_.Messages[2].Kind, MessageKind::Information);

  Os_.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, BlankSecurityDescriptor());
  Dialogs_.QueueAnswer(DialogResult::Yes);
  Os_.FailCall("RegSetKeySecurity", ERROR_ACCESS_DENIED);
  OfferRootKeySecurityRepair(Os_, Dialogs_);
  ASSERT_EQ(Dialogs_.Messages.size(), 5u);
  EXPECT_EQ(Dialogs_.Messages[4].Kind, MessageKind::Error);
  EXPECT_NE(Dialogs_.Messages[4].Text.find("Error 5"), std::string::npos);
  ExpectNothingHeld();
}

TEST_F(SecurityBracketTest, ReadAccessFallsBackThroughTheThreeMasks) {
  Os_.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1);
  ASSERT_TRUE(SaveRootKeySecurity(Os_, Dialogs_, Saved_, Replaced_));
  EXPECT_THAT(Os_.CallsNamed("RegOpenKeyExA"),
              ElementsAre("RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x20019)",
                          "RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x20009)"));
  EXPECT_EQ(SavedBytes(), Dacl());

  Saved_.reset();
  Os_.ClearCalls();
  Os_.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SaveRootKeySecurity(Os_, Dialogs_, Saved_, Replaced_));
  EXPECT_THAT(Os_.Calls(), ElementsAre("RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x20019)",
                                       "RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x20009)",
                                       "RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x1)"));
  ExpectOnlyError(kDisabling + "the registry key could not be opened for read access.");
  ExpectNothingHeld();
}

struct FailedStep {
  const char* What;
  void (*Arrange)(TFakeOs&);
  std::string Message;
  std::vector<std::string> LastCalls;  // the release order at the end of the log
};

const std::vector<FailedStep> kDisableFailures = {
    {"no memory for the descriptor",
     [](TFakeOs& os) { os.FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY); },
     kDisabling + "there was not enough memory to read the registry key security attributes.  Error 8",
     {"RegCloseKey(" + kRootHandle + ")"}},
    {"the descriptor cannot be read",
     [](TFakeOs& os) { os.FailCall("RegGetKeySecurity", ERROR_INVALID_HANDLE, 2); },
     kDisabling + "unable to query the registry key security attributes.  Error 6",
     {"LocalFree(#1)", "RegCloseKey(" + kRootHandle + ")"}},
    {"opened for querying values only, the key refuses its security",
     [](TFakeOs& os) {
       os.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1);
       os.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, 2);
     },
     kDisabling + "unable to query the registry key security attributes.  Error 5",
     {"LocalFree(#1)", "RegCloseKey(" + kRootHandle + ")"}},
    {"no write access to the key's permissions",
     [](TFakeOs& os) { os.FailCallsContaining("0x40001", ERROR_ACCESS_DENIED); },
     kDisabling + "the registry key could not be opened for write access.  Error 5",
     {"RegOpenKeyExA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root, 0, 0x40001)", "LocalFree(#1)"}},
    {"no blank descriptor, as under Wine",
     [](TFakeOs& os) { os.SetBuildSecurityDescriptorResult(ERROR_CALL_NOT_IMPLEMENTED); },
     kDisabling + "failed to create a blank security descriptor.  Error 120",
     {"BuildSecurityDescriptorA(NULL, NULL, 0, NULL, 0, NULL, NULL)", "LocalFree(#1)",
      "RegCloseKey(" + kRootHandle + ")"}},
    {"the blank descriptor is refused",
     [](TFakeOs& os) { os.FailCall("RegSetKeySecurity", ERROR_ACCESS_DENIED); },
     kDisabling + "failed to reset the security of the registry key.  Error 5",
     {"RegSetKeySecurity(" + kRootHandle + ", 4, &)", "LocalFree(#1)", "LocalFree(#2)",
      "RegCloseKey(" + kRootHandle + ")"}},
};

TEST_F(SecurityBracketTest, EachFailedDisableStepShowsItsMessageReleasesAllAndLeavesTheKeyAsItWas) {
  for (const FailedStep& step : kDisableFailures) {
    SCOPED_TRACE(step.What);
    TFakeOs os;
    os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
    const std::vector<BYTE> original = os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot);
    TRecordingDialogs dialogs;
    SavedKeySecurity saved(os);
    step.Arrange(os);

    EXPECT_FALSE(DisableRootKeySecurity(os, dialogs, saved));
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, step.Message);
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Error);
    EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::Ok);
    const std::vector<std::string>& calls = os.Calls();
    ASSERT_GE(calls.size(), step.LastCalls.size());
    EXPECT_THAT(std::vector<std::string>(calls.end() - step.LastCalls.size(), calls.end()),
                ElementsAreArray(step.LastCalls));
    EXPECT_EQ(os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot), original);
    EXPECT_FALSE(saved);
    EXPECT_EQ(os.LiveLocalAllocationCount(), 0);
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }
}

TEST_F(SecurityBracketTest, AFailedRestoreShowsItsMessageAndStillReleasesTheSavedDescriptor) {
  ASSERT_TRUE(DisableRootKeySecurity(Os_, Dialogs_, Saved_));
  Os_.FailCallsContaining("0x40001", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RestoreRootKeySecurity(Os_, Dialogs_, Saved_));
  ExpectOnlyError(kRestoring + "could not open the key for write access.  Error 5");
  EXPECT_TRUE(HasNullDacl(Dacl()));
  ExpectNothingHeld();

  TFakeOs os;
  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
  TRecordingDialogs dialogs;
  SavedKeySecurity saved(os);
  ASSERT_TRUE(DisableRootKeySecurity(os, dialogs, saved));
  os.ClearCalls();
  os.FailCall("RegSetKeySecurity", ERROR_INVALID_SECURITY_DESCR);
  EXPECT_FALSE(RestoreRootKeySecurity(os, dialogs, saved));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text, kRestoring + "could not restore the original security descriptor.  Error 1338");
  EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Error);
  EXPECT_THAT(os.Calls(), ElementsAre("RegOpenKeyExA(HKLM, " + std::string(kRoot) + ", 0, 0x40001)",
                                      "RegSetKeySecurity(" + kRootHandle + ", 4, &)",
                                      "RegCloseKey(" + kRootHandle + ")", "LocalFree(#1)"));
  EXPECT_FALSE(saved);
  EXPECT_EQ(os.LiveLocalAllocationCount(), 0);
  EXPECT_EQ(os.OpenKeyCount(), 0);
}

TEST_F(SecurityBracketTest, TheGuardRestoresOnlyWhileADescriptorIsStillSaved) {
  const std::vector<BYTE> original = Dacl();
  {
    const TRootKeySecurityGuard guard(Os_, Dialogs_, Saved_);
    ASSERT_TRUE(DisableRootKeySecurity(Os_, Dialogs_, Saved_));
  }
  EXPECT_EQ(Dacl(), original);
  ExpectNothingHeld();

  {
    const TRootKeySecurityGuard guard(Os_, Dialogs_, Saved_);
    ASSERT_TRUE(DisableRootKeySecurity(Os_, Dialogs_, Saved_));
    ASSERT_TRUE(RestoreRootKeySecurity(Os_, Dialogs_, Saved_));
    Os_.ClearCalls();
  }
  EXPECT_TRUE(Os_.Calls().empty());

  {
    const TRootKeySecurityGuard guard(Os_, Dialogs_, Saved_);
    Os_.SetBuildSecurityDescriptorResult(ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_FALSE(DisableRootKeySecurity(Os_, Dialogs_, Saved_));
    Os_.ClearCalls();
  }
  EXPECT_TRUE(Os_.Calls().empty());
  EXPECT_EQ(Dacl(), original);
}

}  // namespace
