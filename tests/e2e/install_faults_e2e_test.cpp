// "Install EWF Support" meeting real faults: read-only and held files, a
// missing drivers folder, registry keys whose DACL keeps the program out.
// Each ends with the machine whole and, when something failed, a message
// that names it instead of the completion message.
#include <gtest/gtest.h>

#include "e2e/fault_case.h"

namespace {

const char kCompleted[] = "EWF installation completed successfully.";
const char kInstall[] = "Install EWF Support";
// Owned by SYSTEM, readable by everyone: the program may not change the DACL.
// Administrators keep WRITE_OWNER so that the test can take the key back.
const char kSystemOnly[] = "O:SYD:(A;;KR;;;WD)(A;;KA;;;SY)(A;;WO;;;BA)";

class InstallFaultTest : public TFaultCase {
 protected:
  // Install clicked while another program holds `path` open without sharing;
  // what was shown, once the file is let go and the machine found whole.
  std::vector<ShownMessage> InstallWhileHeld(const std::string& path, DWORD firstMs = 15000) {
    StartProgram();
    RememberMachine();
    std::vector<ShownMessage> shown;
    {
      const THeldFile held(path);
      shown = Click(kInstall, firstMs);
    }
    ExpectMachineWhole();
    return shown;
  }
};

TEST_F(InstallFaultTest, AReadOnlyBootLoaderIsKeptAndReplaced) {
  // As Windows XP leaves it.
  SetFileAttributesA(Ntldr().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  StartProgram();
  RememberMachine();

  const std::vector<ShownMessage> shown = Click(kInstall);

  ASSERT_EQ(shown.size(), 1u) << Describe(shown);
  EXPECT_EQ(shown[0].Text, kCompleted);
  ExpectMachineWhole();
  EXPECT_EQ(ReadWholeFile(Ntldr()), Fixture("ewfntldr"));
  EXPECT_EQ(ReadWholeFile(Ntldr() + ".bak"), kOriginalBootLoader);
  EXPECT_TRUE(GetFileAttributesA(Ntldr().c_str()) & FILE_ATTRIBUTE_READONLY) << "the new loader is read-only too";
  EXPECT_TRUE(Registered());
}

TEST_F(InstallFaultTest, AReadOnlyBootLoaderWithABackupAlreadyThere) {
  WriteWholeFile(Ntldr() + ".bak", "older backup");
  SetFileAttributesA(Ntldr().c_str(), FILE_ATTRIBUTE_READONLY);
  StartProgram();
  RememberMachine();

  const std::vector<ShownMessage> shown = Click(kInstall);

  // The backup there holds other bytes: it stays, and the loader replaced
  // is kept under the next name.
  ExpectMachineWhole();
  EXPECT_EQ(ReadWholeFile(Ntldr() + ".bak"), "older backup");
  EXPECT_EQ(ReadWholeFile(Ntldr() + ".bak.1"), kOriginalBootLoader);
  EXPECT_EQ(ReadWholeFile(Ntldr()), Fixture("ewfntldr"));
  ASSERT_EQ(shown.size(), 1u) << Describe(shown);
  EXPECT_EQ(shown[0].Text, std::string(kCompleted) +
                               "\r\n\r\nThe boot loader C:\\ntldr that was replaced has been kept as "
                               "C:\\ntldr.bak.1, because C:\\ntldr.bak holds something else.");
}

TEST_F(InstallFaultTest, WithoutTheDriversFolderNothingIsRegistered) {
  ASSERT_TRUE(RemoveDirectoryA(Drivers().c_str()));
  StartProgram();
  RememberMachine();

  const std::vector<ShownMessage> shown = Click(kInstall);

  ExpectMachineWhole();
  ExpectTold(shown, {"ewf.sys to " + Drivers() + "\\ewf.sys failed.  Error 3",
                     "No registry entries were written, because " + Drivers() + "\\ewf.sys is not present."});
  ASSERT_EQ(shown.size(), 1u) << Describe(shown);
  EXPECT_EQ(shown[0].Caption, "Error");
  EXPECT_FALSE(Registered());
  EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
}

// Another program holds a file open without sharing; the test driver is
// another process than the program, so it can play that part.
TEST_F(InstallFaultTest, AHeldDriverStopsTheInstallationBeforeAnythingChanges) {
  const std::vector<ShownMessage> shown = InstallWhileHeld(Machine_.ProgramFolder + "\\ewf.sys", 3000);
  // Its contents cannot be read: the click ends before anything is done.
  ExpectTold(shown, {"ewf.sys\" could not be read.  Error 32"});
  EXPECT_TRUE(FilesIn(Drivers()).empty());
  EXPECT_TRUE(FilesIn(System32()).empty());
  EXPECT_EQ(ReadWholeFile(Ntldr()), kOriginalBootLoader);
  EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
}

TEST_F(InstallFaultTest, AHeldManagerIsNamedBeforeAnythingChanges) {
  const std::vector<ShownMessage> shown = InstallWhileHeld(Machine_.ProgramFolder + "\\ewfmgr.exe");
  ExpectTold(shown, {"ewfmgr.exe\" could not be read.  Error 32"});
  EXPECT_TRUE(FilesIn(System32()).empty());
  EXPECT_FALSE(Registered());
}

TEST_F(InstallFaultTest, AHeldBootLoaderSourceLeavesTheOriginalInPlace) {
  const std::vector<ShownMessage> shown = InstallWhileHeld(Machine_.ProgramFolder + "\\ewfntldr");
  ExpectTold(shown, {"ewfntldr\" could not be read.  Error 32"});
  EXPECT_EQ(ReadWholeFile(Ntldr()), kOriginalBootLoader);
  EXPECT_FALSE(FileExists(Ntldr() + ".bak"));
}

TEST_F(InstallFaultTest, AHeldBootLoaderIsNotReplaced) {
  const std::vector<ShownMessage> shown = InstallWhileHeld(Ntldr());
  ExpectTold(shown, {"Reading C:\\ntldr failed, so C:\\ntldr was not replaced.  Error 32"});
  EXPECT_EQ(ReadWholeFile(Ntldr()), kOriginalBootLoader);
  EXPECT_FALSE(FileExists(Ntldr() + ".bak"));
}

TEST_F(InstallFaultTest, AHeldBootStatusFileIsNamed) {
  const std::vector<ShownMessage> shown = InstallWhileHeld(Machine_.WindowsFolder + "\\bootstat.dat");
  ExpectTold(shown, {"Renaming " + Machine_.WindowsFolder + "\\bootstat.dat to " + Machine_.WindowsFolder +
                     "\\bootstat.bak failed.  Error 32"});
  EXPECT_EQ(ReadWholeFile(Machine_.WindowsFolder + "\\bootstat.dat"), kBootStatus);
  EXPECT_TRUE(Registered());
}

TEST_F(InstallFaultTest, EnumRootWhoseDaclTheProgramMayNotChange) {
  StartProgram();
  const TMachineKeySecurity locked(kEnumRootKey, kSystemOnly);
  RememberMachine();

  const std::vector<ShownMessage> shown = Click(kInstall);

  ExpectMachineWhole();
  ASSERT_EQ(shown.size(), 1u) << Describe(shown);
  EXPECT_EQ(shown[0].Text,
            "An error occured while disabling security in the registry - the registry key could not be opened for "
            "write access.  Error 5");
  EXPECT_TRUE(FilesIn(Drivers()).empty()) << "nothing is done after the security step fails";
  EXPECT_EQ(ReadWholeFile(Ntldr()), kOriginalBootLoader);
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
}

TEST_F(InstallFaultTest, EnumRootThatCannotBeRead) {
  StartProgram();
  const TMachineKeySecurity locked(kEnumRootKey, "O:SYD:(A;;RC;;;WD)(A;;KA;;;SY)(A;;WO;;;BA)");
  RememberMachine();

  const std::vector<ShownMessage> shown = Click(kInstall);

  ExpectMachineWhole();
  ASSERT_EQ(shown.size(), 1u) << Describe(shown);
  EXPECT_EQ(shown[0].Text,
            "An error occured while disabling security in the registry - the registry key could not be opened for "
            "read access.");
  EXPECT_TRUE(FilesIn(Drivers()).empty());
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
}

// Everyone is denied KEY_CREATE_SUB_KEY (0x4). The security bracket opens the
// key for the program's own keys and puts back exactly the DACL it found, deny
// entry and all.
TEST_F(InstallFaultTest, EnumRootClosedToNewKeysGetsItsOwnDaclBack) {
  StartProgram();
  const TMachineKeySecurity locked(kEnumRootKey, "O:BAD:(D;;0x4;;;WD)(A;;KR;;;WD)(A;;KA;;;BA)");
  RememberMachine();

  const std::vector<ShownMessage> shown = Click(kInstall);

  ExpectMachineWhole();
  ASSERT_EQ(shown.size(), 1u) << Describe(shown);
  EXPECT_EQ(shown[0].Text, kCompleted);
  EXPECT_TRUE(Registered());
  EXPECT_TRUE(MachineKeyExists(std::string(kLegacyEwfKey) + "\\0000\\Control"));
}

TEST_F(InstallFaultTest, AServiceKeyThatCannotBeWrittenKeepsEwfOutOfTheFilters) {
  WriteMachineValue(kEwfServiceKey, "Start", REG_DWORD, {4, 0, 0, 0});  // disabled, as left by someone
  StartProgram();
  std::vector<ShownMessage> shown;
  {
    const TMachineKeySecurity locked(kEwfServiceKey, kSystemOnly);
    RememberMachine();
    shown = Click(kInstall);
  }
  ExpectMachineWhole();
  const std::string service = std::string("HKEY_LOCAL_MACHINE\\") + kEwfServiceKey;
  ExpectTold(shown,
             {"Opening the registry key " + service + " failed.  Error 5",
              "\"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" + std::string(kVolumeClassKey) + " was left unchanged"});
  EXPECT_EQ(After_.UpperFilters, (std::vector<std::string>{"VolSnap", "tdrpman"}));
  EXPECT_EQ(ReadMachineValue(kEwfServiceKey, "Start").Data, (std::vector<BYTE>{4, 0, 0, 0}));
}

}  // namespace
