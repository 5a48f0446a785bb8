// "Install EWF Support" from end to end. The product exe meets Wine's missing
// BuildSecurityDescriptorA and must change nothing; the test build that
// supplies the blank descriptor as Windows does runs the whole installation.
#include <gtest/gtest.h>

#include "e2e/install_case.h"
#include "e2e/message_text.h"
#include "services/key_security.h"

namespace {

const char kBlankDescriptorExe[] = "STILLVANE_BLANK_DESCRIPTOR_EXE";
const char kOriginalBootLoader[] = "original boot loader\r\n";
const char kBootStatus[] = "boot status of the first run";

std::vector<BYTE> Text(const std::string& text) {
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

std::vector<BYTE> Dword(DWORD value) {
  return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

struct ExpectedValue {
  std::string Key;
  const char* Name;
  DWORD Type;
  std::vector<BYTE> Data;
};

const char kControlKey[] = "SYSTEM\\CurrentControlSet\\Control";

std::vector<ExpectedValue> InstalledValues(const std::vector<BYTE>& upperFilters,
                                           const char* arcName = "multi(0)disk(0)rdisk(0)partition(1)") {
  const std::string device = std::string(kLegacyEwfKey) + "\\0000";
  const std::string service = kEwfServiceKey;
  return {
      {kLegacyEwfKey, "NextInstance", REG_DWORD, Dword(1)},
      {device, "Service", REG_SZ, Text("EWF")},
      {device, "Legacy", REG_DWORD, Dword(1)},
      {device, "ConfigFlags", REG_DWORD, Dword(0x20)},
      {device, "Class", REG_SZ, Text("LegacyDriver")},
      {device, "ClassGUID", REG_SZ, Text("{8ECC055D-047F-11D1-A537-0000F8753ED1}")},
      {device, "DeviceDesc", REG_SZ, Text("EWF")},
      {device, "Capabilities", REG_DWORD, Dword(0)},
      {device + "\\Control", "ActiveService", REG_SZ, Text("EWF")},
      {service, "ErrorControl", REG_DWORD, Dword(1)},
      {service, "Group", REG_SZ, Text("System Bus Extender")},
      {service, "Start", REG_DWORD, Dword(0)},
      {service, "Type", REG_DWORD, Dword(1)},
      {kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, upperFilters},
      {service + "\\Parameters\\Protected\\Volume0", "Type", REG_DWORD, Dword(1)},
      {service + "\\Parameters\\Protected\\Volume0", "ArcName", REG_SZ, Text(arcName)},
  };
}

void ExpectValues(const std::vector<ExpectedValue>& values) {
  for (const ExpectedValue& expected : values) {
    const RegistryValue value = ReadMachineValue(expected.Key, expected.Name);
    EXPECT_TRUE(value.Present) << expected.Key << " " << expected.Name;
    EXPECT_EQ(value.Type, expected.Type) << expected.Key << " " << expected.Name;
    EXPECT_EQ(value.Data, expected.Data) << expected.Key << " " << expected.Name;
  }
}

class InstallationTest : public TInstallCase {
 protected:
  void SetUp() override {
    // The restore below is only seen if the key's DACL differs from a blank one.
    ASSERT_GT(Registry_.OriginalRootDacl().size(), 20u) << "Enum\\Root has no DACL to restore";
  }

  // Clicks Install and answers the one message it ends with; returns its copied text.
  std::string InstallAndAnswer(const std::string& caption, const std::string& screenshot) {
    ClickInstall();
    return AnswerLastMessage(caption, screenshot);
  }

  std::string Fixture(const std::string& name) const { return ReadWholeFile(FixtureFile("v2.0.927.0", name)); }
};

TEST_F(InstallationTest, UnderWineTheProductMeetsTheMissingBlankDescriptorAndChangesNothing) {
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  Start("v2.0.927.0");
  ASSERT_NE(Main_, nullptr);
  WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
  WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", kBootStatus);

  EXPECT_EQ(InstallAndAnswer("Error", "install_error_blank_descriptor"),
            CopiedDialogText("Error",
                             "An error occured while disabling security in the registry - failed to create a blank "
                             "security descriptor.  Error 120",
                             {"OK"}));

  EXPECT_TRUE(FilesIn(Drivers()).empty());
  EXPECT_TRUE(FilesIn(System32()).empty());
  EXPECT_EQ(FilesIn(Machine_.WindowsFolder), std::vector<std::string>{"bootstat.dat"});
  EXPECT_EQ(ReadWholeFile(Machine_.WindowsFolder + "\\bootstat.dat"), kBootStatus);
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), kOriginalBootLoader);
  EXPECT_FALSE(FileExists(SystemDriveRoot() + "ntldr.bak"));
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
  EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
  EXPECT_EQ(ReadMachineValue(kVolumeClassKey, "UpperFilters").Data, MultiString({"VolSnap"}));
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl());
  EXPECT_TRUE(IsWindowEnabled(Main_));
}

TEST_F(InstallationTest, WithTheBlankDescriptorTheWholeInstallationRunsAndASecondRunKeepsIt) {
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  Start("v2.0.927.0", kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);
  WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
  WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", kBootStatus);
  const std::string completed = CopiedDialogText("Information", "EWF installation completed successfully.", {"OK"});
  // Exactly "VolSnap" NUL "Ewf" NUL NUL.
  const std::vector<BYTE> filters = {'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 'E', 'w', 'f', 0, 0};

  EXPECT_EQ(InstallAndAnswer("Information", "install_completed"), completed);

  EXPECT_EQ(FilesIn(Drivers()), std::vector<std::string>{"ewf.sys"});
  EXPECT_EQ(ReadWholeFile(Drivers() + "\\ewf.sys"), Fixture("ewf.sys"));
  EXPECT_EQ(FilesIn(System32()), std::vector<std::string>{"ewfmgr.exe"});
  EXPECT_EQ(ReadWholeFile(System32() + "\\ewfmgr.exe"), Fixture("ewfmgr.exe"));
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), Fixture("ewfntldr"));
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.bak"), kOriginalBootLoader);
  EXPECT_EQ(FilesIn(Machine_.WindowsFolder), std::vector<std::string>{"bootstat.bak"});
  EXPECT_EQ(ReadWholeFile(Machine_.WindowsFolder + "\\bootstat.bak"), kBootStatus);
  ExpectValues(InstalledValues(filters));
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl()) << "Enum\\Root's DACL is restored";

  // Newer files in the program folder and a new boot status file: the
  // installed files and both backups stay as the first run left them.
  for (const char* name : {"ewf.sys", "ewfmgr.exe"})
    CopyFileOrFail(FixtureFile("v3.0.0.0", name), Machine_.ProgramFolder + "\\" + name);
  WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", "boot status of the second run");

  EXPECT_EQ(InstallAndAnswer("Information", ""), completed);

  EXPECT_EQ(FilesIn(Drivers()), std::vector<std::string>{"ewf.sys"});
  EXPECT_EQ(ReadWholeFile(Drivers() + "\\ewf.sys"), Fixture("ewf.sys"));
  EXPECT_EQ(FilesIn(System32()), std::vector<std::string>{"ewfmgr.exe"});
  EXPECT_EQ(ReadWholeFile(System32() + "\\ewfmgr.exe"), Fixture("ewfmgr.exe"));
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), Fixture("ewfntldr"));
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.bak"), kOriginalBootLoader);
  EXPECT_EQ(ReadWholeFile(Machine_.WindowsFolder + "\\bootstat.bak"), kBootStatus);
  EXPECT_EQ(ReadWholeFile(Machine_.WindowsFolder + "\\bootstat.dat"), "boot status of the second run");
  ExpectValues(InstalledValues(filters));
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl());
}

TEST_F(InstallationTest, AnotherVolumeFilterIsKeptAndAMissingBootLoaderIsNotBackedUp) {
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap", "tdrpman"}));
  Start("v2.0.927.0", kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);

  EXPECT_EQ(InstallAndAnswer("Information", ""),
            CopiedDialogText("Information", "EWF installation completed successfully.", {"OK"}));

  ExpectValues(InstalledValues(MultiString({"VolSnap", "tdrpman", "Ewf"})));
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), Fixture("ewfntldr"));
  EXPECT_FALSE(FileExists(SystemDriveRoot() + "ntldr.bak"));
  EXPECT_TRUE(FilesIn(Machine_.WindowsFolder).empty()) << "no boot status file, nothing moved aside";
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl());
}

// Windows says it started from the second partition: that is the one
// protected, and the completion message names it and the loader's folder.
TEST_F(InstallationTest, ThePartitionWindowsStartedFromIsTheOneProtected) {
  const char second[] = "multi(0)disk(0)rdisk(0)partition(2)";
  const TMachineValueSet bootDevice(kControlKey, "SystemBootDevice", REG_SZ, Text(second));
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  Start("v2.0.927.0", kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);

  EXPECT_EQ(InstallAndAnswer("Information", "install_completed_second_partition"),
            CopiedDialogText("Information",
                             "EWF installation completed successfully.\r\r"
                             "This computer's partitions are not laid out in the usual way, so:\r"
                             "The new boot loader was placed in the root of the partition the computer starts from: " +
                                 SystemDriveRoot() +
                                 "\r"
                                 "The write filter will protect the partition Windows runs from: " +
                                 second,
                             {"OK"}));
  ExpectValues(InstalledValues(MultiString({"VolSnap", "Ewf"}), second));
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), Fixture("ewfntldr"));
}

// The same value, but of another type: it is not taken for a missing one (the
// first partition could be the wrong one to protect), and nothing changes.
TEST_F(InstallationTest, ABootDeviceValueOfAnotherTypeStopsTheClickBeforeAnythingChanges) {
  const char second[] = "multi(0)disk(0)rdisk(0)partition(2)";
  const TMachineValueSet bootDevice(kControlKey, "SystemBootDevice", REG_EXPAND_SZ, Text(second));
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  Start("v2.0.927.0", kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);
  WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);

  EXPECT_EQ(InstallAndAnswer("Error", "install_boot_device_not_understood"),
            CopiedDialogText("Error",
                             "Nothing was installed, because Windows could not tell which partition this computer "
                             "starts from and which one Windows runs from:\r\rWindows records the \"SystemBootDevice\" "
                             "value of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control as "
                             "\"multi(0)disk(0)rdisk(0)partition(2)\" (REG_EXPAND_SZ), which is not the ARC name of a "
                             "partition.\r\rWindows writes this value as it starts: restart Windows, then try again.  "
                             "If it still holds the same, ask your administrator to correct it.",
                             {"OK"}));
  EXPECT_TRUE(FilesIn(Drivers()).empty());
  EXPECT_TRUE(FilesIn(System32()).empty());
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), kOriginalBootLoader);
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
  EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
  EXPECT_EQ(ReadMachineValue(kVolumeClassKey, "UpperFilters").Data, MultiString({"VolSnap"}));
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl());
}

// Killed while Enum\Root is open to everyone (a value write under it never
// returns, and the process is ended as a user ends a program that stopped
// responding): the key stays open. The next start offers to put the standard
// permissions back, and Yes does.
TEST_F(InstallationTest, AKeyLeftOpenByAKilledRunIsRepairedAtTheNextStart) {
  Prepare("v2.0.927.0");
  Launch(kBlankDescriptorExe, {{"STILLVANE_HANG_VALUE", "DeviceDesc"}});
  ASSERT_NE(Main_, nullptr);
  App_->LoadFaultLibrary();
  ClickInstall();
  const std::string device = std::string(kLegacyEwfKey) + "\\0000";
  for (int wait = 0; wait < 200 && !ReadMachineValue(device, "ClassGUID").Present; ++wait) Sleep(50);
  ASSERT_TRUE(ReadMachineValue(device, "ClassGUID").Present) << "the run never reached the entries under Enum\\Root";
  App_->Kill();
  const std::vector<BYTE> left = ReadMachineKeyDacl(kEnumRootKey);
  ASSERT_EQ(left.size(), 20u) << "the killed run left Enum\\Root with a NULL DACL";

  Launch("STILLVANE_EXE");
  ASSERT_NE(Main_, nullptr);
  HWND question = App_->WaitForWindow("Warning");
  ASSERT_NE(question, nullptr);
  TAppDriver::Screenshot(question, "repair_open_key_question");
  EXPECT_EQ(TAppDriver::CopyDialogText(question),
            CopiedDialogText("Warning",
                             "The permissions of this registry key let everyone change it, or take it over:\r\r"
                             "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root\r\r"
                             "An installation that was interrupted while the key was open leaves it so.  Do you "
                             "want to put the standard permissions back?  The System account will have full "
                             "access, and the Everyone group only Read access.",
                             {"Yes", "No"}));
  TAppDriver::Click(TAppDriver::Control(question, "&Yes"));
  HWND done = App_->WaitForWindow("Information");
  ASSERT_NE(done, nullptr);
  TAppDriver::Click(TAppDriver::Control(done, "OK"));
  EXPECT_TRUE(App_->WaitForWindowGone(done));
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), StandardKeySecurity());
}

}  // namespace
