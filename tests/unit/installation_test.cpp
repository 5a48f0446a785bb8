// "Install EWF Support" from the click to the closing message, on a TFakeOs
// whose Enum\Root refuses new keys until its DACL is blank.
#include "install/installation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "services/error_report.h"
#include "services/key_security.h"
#include "support/ewf_manager_reports.h"
#include "support/fake_os.h"
#include "support/fault_campaign.h"
#include "support/recording_dialogs.h"
#include "support/security_descriptor_bytes.h"
#include "support/stand_in_image.h"
#include "support/version_resource_builder.h"

namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kSource = "C:\\Program Files\\Stillvane\\";
const std::string kWindows = "C:\\WINDOWS\\";
const std::string kDrive = "C:\\";
const char kRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";
const char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
const std::string kNewDriver = StandInDriver("new ewf.sys");
const std::string kNewManager = StandInProgram("new ewfmgr.exe");
const std::string kNewLoader = StandInBootLoader("new boot loader");
const std::string kSuccess = "EWF installation completed successfully.";
const std::string kKeptAsFirst =
    "\r\rThe boot loader C:\\ntldr that was replaced has been kept as C:\\ntldr.bak.1, because C:\\ntldr.bak holds "
    "something else.";
const std::string kFailedHeader = "The EWF installation did not complete successfully.  These steps failed:\r\r";
const std::string kRetry = "\r\rCorrect the cause, then click Install EWF Support again.";
const std::string kKeyAdvice =
    "the original security attributes on the registry key: "
    "\r\rHKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root"
    "\r\rWhilst this is not a major problem, you should use regedit to check the key's permissions.  The System "
    "account should have full access, and the Everyone group should only have Read access.";

std::vector<BYTE> Raw(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}
const std::vector<BYTE> kOnlySnapshotFilter = Raw(std::string("VolSnap\0\0", 9));
const std::vector<BYTE> kBothFilters = Raw(std::string("VolSnap\0Ewf\0\0", 13));

RegistryValue Dword(DWORD number) {
  return {REG_DWORD, {static_cast<BYTE>(number), 0, 0, 0}};
}
RegistryValue Text(const std::string& text) {
  std::vector<BYTE> data = Raw(text);
  data.push_back(0);
  return {REG_SZ, data};
}

struct ExpectedValue {
  std::string Key;
  std::string Name;
  RegistryValue Value;
};

const std::string kLegacy = "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";
const std::string kService = "SYSTEM\\CurrentControlSet\\Services\\ewf";
const std::string kVolume = "SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0";
const std::vector<ExpectedValue> kEntries = {
    {kLegacy, "NextInstance", Dword(1)},
    {kLegacy + "\\0000", "Service", Text("EWF")},
    {kLegacy + "\\0000", "Legacy", Dword(1)},
    {kLegacy + "\\0000", "ConfigFlags", Dword(32)},
    {kLegacy + "\\0000", "Class", Text("LegacyDriver")},
    {kLegacy + "\\0000", "ClassGUID", Text("{8ECC055D-047F-11D1-A537-0000F8753ED1}")},
    {kLegacy + "\\0000", "DeviceDesc", Text("EWF")},
    {kLegacy + "\\0000", "Capabilities", Dword(0)},
    {kLegacy + "\\0000\\Control", "ActiveService", Text("EWF")},
    {kService, "ErrorControl", Dword(1)},
    {kService, "Group", Text("System Bus Extender")},
    {kService, "Start", Dword(0)},
    {kService, "Type", Dword(1)},
    {kVolume, "Type", Dword(1)},
    {kVolume, "ArcName", Text("multi(0)disk(0)rdisk(0)partition(1)")},
    {kClassKey, "UpperFilters", {REG_MULTI_SZ, kBothFilters}},
};

// Also tells what the machine looked like when an error reached the report.
class TWatchingDialogs : public TRecordingDialogs {
 public:
  DialogResult ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) override {
    if (OnMessage) OnMessage();
    return TRecordingDialogs::ShowMessageDialog(text, kind, buttons);
  }
  std::function<void()> OnMessage;
  void ReportError(const std::string& message) override {
    if (OnReport) OnReport();
    TRecordingDialogs::ReportError(message);
  }
  std::function<void()> OnReport;
};

class InstallationTest : public ::testing::Test {
 protected:
  InstallationTest() {
    Os_.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
    OriginalDacl_ = Dacl();
    Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ, kOnlySnapshotFilter);
    Arrange(Os_);
  }
  static void Arrange(TFakeOs& os) {
    os.Files().AddFile(kSource + "ewf.sys", kNewDriver).VersionResource =
        BuildVersionResource(FileVersionParts{2, 0, 927, 0});
    os.Files().AddFile(kSource + "ewfmgr.exe", kNewManager).VersionResource =
        BuildVersionResource(FileVersionParts{2, 0, 927, 0});
    os.Files().AddFile(kSource + "ewfntldr", kNewLoader);
    os.Files().AddFolder(kWindows + "system32\\drivers");
    os.Files().AddFile(kDrive + "ntldr", OriginalBootLoader());
    os.Files().AddFile(kWindows + "bootstat.dat", "boot status");
  }

  // Checked after every click: nothing held, Enum\Root as it was.
  void TearDown() override {
    if (DaclRestored_) {
      EXPECT_EQ(Dacl(), OriginalDacl_);
    }
    EXPECT_EQ(Os_.LiveLocalAllocationCount(), 0);
    EXPECT_EQ(Os_.OpenKeyCount(), 0);
    EXPECT_EQ(Os_.OpenFindHandleCount(), 0);
    EXPECT_EQ(Os_.OpenFileHandleCount(), 0);
  }

  void Click() {
    Os_.ClearCalls();
    Dialogs_.Messages.clear();
    Dialogs_.Shown.clear();
    RunAction(Dialogs_, [this] { InstallEwfSupport({Os_, Dialogs_, Reader_, kSource, kWindows, kDrive}); });
  }

  std::vector<BYTE> Dacl() { return Os_.Registry().Security(HKEY_LOCAL_MACHINE, kRoot); }
  std::string Contents(const std::string& path) {
    const FakeFile* file = Os_.Files().Find(path);
    return file ? file->Contents : "<missing>";
  }
  std::optional<RegistryValue> Value(const std::string& key, const std::string& name) {
    return Os_.Registry().Value(HKEY_LOCAL_MACHINE, key, name);
  }
  void ExpectAllEntries() {
    for (const ExpectedValue& entry : kEntries) EXPECT_EQ(Value(entry.Key, entry.Name), entry.Value) << entry.Name;
  }
  // The one closing message, of the given kind, with OK.
  void ExpectClosingMessage(const std::string& text, MessageKind kind) const {
    ASSERT_FALSE(Dialogs_.Messages.empty());
    EXPECT_EQ(Dialogs_.Messages.back().Text, text);
    EXPECT_EQ(Dialogs_.Messages.back().Kind, kind);
    EXPECT_EQ(Dialogs_.Messages.back().Buttons, MessageButtons::Ok);
    EXPECT_THAT(Dialogs_.ErrorReports, IsEmpty());
  }
  std::vector<std::string> CallsNamedAnyOf(std::initializer_list<const char*> names) {
    std::vector<std::string> calls;
    for (const std::string& call : Os_.Calls()) {
      for (const char* name : names) {
        if (call.rfind(std::string(name) + "(", 0) == 0) calls.push_back(call);
      }
    }
    return calls;
  }

  TFakeOs Os_;
  TWatchingDialogs Dialogs_;
  TVersionInfo Reader_{Os_};
  std::vector<BYTE> OriginalDacl_;
  bool DaclRestored_ = true;
};

TEST_F(InstallationTest, AFullRunPlacesTheFilesRegistersTheDriverInOrderAndConfirms) {
  Click();

  const std::string root = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root";
  const std::string drivers = kWindows + "system32\\drivers\\";
  const std::string created = ", 0, NULL, 0, 0xF003F, NULL, NULL)";
  // The record, admin-only, written before the first change and again after each step.
  const std::string record = "RegCreateKeyExA(HKLM, SOFTWARE\\Stillvane, 0, NULL, 0, 0x3, &, &)";
  EXPECT_THAT(
      CallsNamedAnyOf(
          {"RegSetKeySecurity", "CopyFileA", "FlushFileBuffers", "MoveFileA", "MoveFileExA", "RegCreateKeyExA"}),
      // Files first, each written beside its target, flushed, then switched;
      // Enum\Root is open only while its own entries are written; the filter list comes last.
      ElementsAre(
          "CopyFileA(" + kSource + "ewf.sys, " + drivers + "ewf.sys.stillvane-new, 0)",
          "FlushFileBuffers(" + drivers + "ewf.sys.stillvane-new)",
          "CopyFileA(" + kSource + "ewfmgr.exe, C:\\WINDOWS\\system32\\ewfmgr.exe.stillvane-new, 0)",
          "FlushFileBuffers(C:\\WINDOWS\\system32\\ewfmgr.exe.stillvane-new)",
          "CopyFileA(" + kSource + "ewfntldr, C:\\ntldr.stillvane-new, 0)", "FlushFileBuffers(C:\\ntldr.stillvane-new)",
          record, "MoveFileExA(" + drivers + "ewf.sys.stillvane-new, " + drivers + "ewf.sys, 0x8)",
          "MoveFileExA(C:\\WINDOWS\\system32\\ewfmgr.exe.stillvane-new, C:\\WINDOWS\\system32\\ewfmgr.exe, 0x8)",
          "CopyFileA(C:\\ntldr, C:\\ntldr.bak.stillvane-new, 0)", "FlushFileBuffers(C:\\ntldr.bak.stillvane-new)",
          "MoveFileExA(C:\\ntldr.bak.stillvane-new, C:\\ntldr.bak, 0x8)",
          "MoveFileExA(C:\\ntldr.stillvane-new, C:\\ntldr, 0x9)",
          "MoveFileA(C:\\WINDOWS\\bootstat.dat, C:\\WINDOWS\\bootstat.bak)", record,
          "RegSetKeySecurity(" + root + ", 4, &)", "RegCreateKeyExA(HKLM, " + kLegacy + created,
          "RegCreateKeyExA(HKLM, " + kLegacy + "\\0000" + created,
          "RegCreateKeyExA(HKLM, " + kLegacy + "\\0000\\Control" + created, "RegSetKeySecurity(" + root + ", 4, &)",
          record, "RegCreateKeyExA(HKLM, " + kService + created, "RegCreateKeyExA(HKLM, " + kVolume + created, record,
          // The list as it was is written down before the list is written.
          "RegCreateKeyExA(HKLM, " + std::string(kClassKey) + created, record, record,
          // The volatile mark that Windows has not restarted since.
          "RegCreateKeyExA(HKLM, SOFTWARE\\Stillvane\\Since this start, 0, NULL, 1, 0x1, NULL, NULL)"));
  // Every key written reaches the disk: five of entries, the restored security, the list, six of the record.
  EXPECT_EQ(Os_.CallsNamed("RegFlushKey").size(), 13u);
  std::vector<std::string> writes;
  for (const ExpectedValue& entry : kEntries) {
    writes.push_back("RegSetValueExA(HKLM\\" + entry.Key + ", " + entry.Name + ", 0, " +
                     std::to_string(entry.Value.Type) + ", " + std::to_string(entry.Value.Data.size()) + ")");
  }
  std::vector<std::string> written = Os_.CallsNamed("RegSetValueExA");
  std::erase_if(written, [](const std::string& call) { return call.find("SOFTWARE\\Stillvane") != std::string::npos; });
  EXPECT_THAT(written, ElementsAreArray(writes));
  EXPECT_THAT(Os_.CallsNamed("RegQueryValueExA"),
              Contains("RegQueryValueExA(HKLM\\" + std::string(kClassKey) + ", UpperFilters)"));

  ExpectAllEntries();
  EXPECT_EQ(Contents(kWindows + "system32\\drivers\\ewf.sys"), kNewDriver);
  EXPECT_EQ(Contents(kWindows + "system32\\ewfmgr.exe"), kNewManager);
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  EXPECT_EQ(Contents(kDrive + "ntldr.bak"), OriginalBootLoader());
  EXPECT_EQ(Contents(kWindows + "bootstat.bak"), "boot status");
  EXPECT_EQ(Contents(kWindows + "bootstat.dat"), "<missing>");
  EXPECT_EQ(Os_.Registry().Security(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"),
            DaclOnlyDescriptor(AdministratorsOnlyKeySecurity().data()))
      << "the record's key is for the System account and administrators only";
  EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"message: " + kSuccess});
  ExpectClosingMessage(kSuccess, MessageKind::Information);
}

// Windows on D: (the second partition), started from the active C:, while
// %SystemDrive% says D:.
TEST_F(InstallationTest, TheLoaderGoesWhereTheComputerStartsAndTheFilterGuardsWhereWindowsRuns) {
  const std::string windowsDrive = "D:\\";
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice", REG_SZ,
                          Text("multi(0)disk(0)rdisk(0)partition(2)").Data);
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                          Text("\\Device\\HarddiskVolume1").Data);
  Os_.SetDosDevice("D:", "\\Device\\HarddiskVolume2");
  RunAction(Dialogs_, [this, &windowsDrive] {
    InstallEwfSupport({Os_, Dialogs_, Reader_, kSource, kWindows, windowsDrive});
  });

  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  EXPECT_EQ(Contents(kDrive + "ntldr.bak"), OriginalBootLoader());
  EXPECT_EQ(Value(kVolume, "ArcName"), Text("multi(0)disk(0)rdisk(0)partition(2)"));
  ExpectClosingMessage(
      kSuccess +
          "\r\rThis computer's partitions are not laid out in the usual way, so:\r"
          "The new boot loader was placed in the root of the partition the computer starts from: C:\\\r"
          "The write filter will protect the partition Windows runs from: "
          "multi(0)disk(0)rdisk(0)partition(2)",
      MessageKind::Information);
}

// A run killed while Enum\Root was open left it with a NULL DACL: the next run
// puts the standard permissions there, not the NULL DACL it found, and says so.
TEST_F(InstallationTest, AKeyLeftOpenByAnInterruptedRunGetsTheStandardPermissions) {
  Os_.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, BlankSecurityDescriptor());
  OriginalDacl_ = ProtectedSecurityDescriptor();
  Click();
  ExpectAllEntries();
  ASSERT_EQ(Dialogs_.Messages.size(), 1u);
  EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Information);
  EXPECT_EQ(
      Dialogs_.Messages[0].Text.rfind(kSuccess + "\r\rThe registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet"
                                                 "\\Enum\\Root gave everyone full control",
                                      0),
      0u)
      << Dialogs_.Messages[0].Text;
}

// When the key was never touched (no driver to register, or the blank DACL
// refused), it is still open, and the message says so and what to do.
TEST_F(InstallationTest, AKeyLeftOpenAndNeverTouchedIsNotSaidToHaveItsPermissions) {
  const std::string stillOpen =
      "\r\rThe registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root gives everyone full control, as "
      "an interrupted installation leaves it, and its permissions were not changed.  Start Stillvane again and let "
      "it put the standard permissions back.";
  for (const char* fault : {"CopyFileA(", "RegSetKeySecurity("}) {
    TFakeOs os;
    Arrange(os);
    os.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, BlankSecurityDescriptor());
    if (std::string(fault) == "CopyFileA(") {
      os.FailCallsContaining(fault + kSource + "ewf.sys", ERROR_ACCESS_DENIED);
    } else {
      os.FailCallsContaining(fault, ERROR_ACCESS_DENIED);
    }
    TRecordingDialogs dialogs;
    TVersionInfo reader(os);
    RunAction(dialogs, [&] { InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive}); });
    ASSERT_FALSE(dialogs.Messages.empty());
    const std::string& text = dialogs.Messages.back().Text;
    EXPECT_EQ(text.rfind(kFailedHeader, 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - stillOpen.size() - kRetry.size()), stillOpen + kRetry) << fault;
    EXPECT_EQ(text.find("standard permissions instead"), std::string::npos) << fault;
    EXPECT_EQ(os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot), BlankSecurityDescriptor()) << fault;
  }
}

// Windows runs from the second partition; the one the computer starts from
// has no drive letter.
TEST_F(InstallationTest, NotesAreKeptInFailuresAndALoaderThatMayNotBeUsedIsAWarning) {
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice", REG_SZ,
                          Text("multi(0)disk(0)rdisk(0)partition(2)").Data);
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                          Text("\\Device\\HarddiskVolume9").Data);
  Os_.Files().AddFolder(kDrive + "ntldr.bak");
  const std::string layout =
      "\r\rThis computer's partitions are not laid out in the usual way, so:\r"
      "The new boot loader was placed in the root of the partition the computer starts from: C:\\\r"
      "The write filter will protect the partition Windows runs from: multi(0)disk(0)rdisk(0)partition(2)";
  const std::string kept =
      "\r\rThe boot loader C:\\ntldr that was replaced has been kept as C:\\ntldr.bak.1, because C:\\ntldr.bak holds "
      "something else.";
  const std::string mayNotBeUsed =
      "\r\rWindows names \\Device\\HarddiskVolume9 as the partition this computer starts from, but no drive letter "
      "stands for it.\rThe new boot loader was placed in C:\\ instead, where it may not be used: give that partition "
      "a drive letter and install again.";
  Click();
  ExpectClosingMessage(
      "EWF was installed, but this computer may not start from the new boot loader." + mayNotBeUsed + layout + kept,
      MessageKind::Warning);

  Os_.FailCallsContaining("MoveFileA(C:\\WINDOWS\\bootstat.dat", ERROR_SHARING_VIOLATION);
  Os_.Files().AddFile(kWindows + "bootstat.dat");
  Os_.Files().Remove(kDrive + "ntldr.bak.1");
  Os_.Files().AddFile(kDrive + "ntldr", OriginalBootLoader());
  Click();
  ExpectClosingMessage(kFailedHeader +
                           "Renaming C:\\WINDOWS\\bootstat.dat to C:\\WINDOWS\\bootstat.bak failed.  Error 32" +
                           layout + kept + mayNotBeUsed + kRetry,
                       MessageKind::Error);

  // Neither note may say that a loader was placed or replaced when the replacing rename failed.
  Os_.FailCallsContaining("MoveFileExA(C:\\ntldr.stillvane-new", ERROR_ACCESS_DENIED);
  Os_.Files().Remove(kDrive + "ntldr.bak.1");
  Os_.Files().AddFile(kDrive + "ntldr", OriginalBootLoader());
  Click();
  EXPECT_EQ(Contents(kDrive + "ntldr"), OriginalBootLoader());
  ExpectClosingMessage(kFailedHeader + "Replacing C:\\ntldr with the copy of " + kSource +
                           "ewfntldr failed.  Error 5\r"
                           "Renaming C:\\WINDOWS\\bootstat.dat to C:\\WINDOWS\\bootstat.bak failed.  Error 32"
                           "\r\rThe new boot loader was not placed in C:\\, where it was to go, so C:\\ntldr is as "
                           "it was." +
                           kRetry,
                       MessageKind::Error);
}

TEST_F(InstallationTest, WhenWindowsCannotSayWhichPartitionsAreWhichNothingChanges) {
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice", REG_SZ,
                          Text("multi(0)disk(0)rdisk(0)partition(2)").Data);
  Os_.FailCallsContaining("RegQueryValueExA(HKLM\\SYSTEM\\CurrentControlSet\\Control, SystemBootDevice",
                          ERROR_ACCESS_DENIED);
  Click();
  EXPECT_EQ(Contents(kDrive + "ntldr"), OriginalBootLoader());
  EXPECT_THAT(CallsNamedAnyOf({"CopyFileA", "MoveFileA", "RegCreateKeyExA", "RegSetKeySecurity"}), IsEmpty());
  ExpectClosingMessage(
      "Nothing was installed, because Windows could not tell which partition this computer starts "
      "from and which one Windows runs from:\r\rReading the \"SystemBootDevice\" value of "
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control failed.  Error 5\r\r"
      "Log on as an administrator or restart Windows, then try again.",
      MessageKind::Error);
}

TEST_F(InstallationTest, ASecondRunKeepsTheInstalledFilesAndBackupsAndWritesTheSameValues) {
  Click();
  Os_.Files().AddFile(kSource + "ewf.sys", StandInDriver("newer ewf.sys")).VersionResource =
      BuildVersionResource(FileVersionParts{2, 0, 928, 0});
  Os_.Files().AddFile(kSource + "ewfntldr", StandInBootLoader("newer boot loader"));
  Os_.Files().AddFile(kWindows + "bootstat.dat", "boot status of the next boot");
  Click();

  EXPECT_EQ(Contents(kWindows + "system32\\drivers\\ewf.sys"), kNewDriver);
  EXPECT_EQ(Contents(kDrive + "ntldr.bak"), OriginalBootLoader());
  EXPECT_EQ(Contents(kDrive + "ntldr"), StandInBootLoader("newer boot loader"));
  EXPECT_EQ(Contents(kWindows + "bootstat.bak"), "boot status");
  EXPECT_EQ(Contents(kWindows + "bootstat.dat"), "boot status of the next boot");
  ExpectAllEntries();
  // The loader the first run placed needs no copy: Windows' own, in
  // ntldr.bak, stays the one kept.
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.1"), "<missing>");
  EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"message: " + kSuccess});

  // With the same ewfntldr there is nothing to replace, and nothing more to keep.
  Os_.Files().AddFile(kWindows + "bootstat.dat", "boot status of the boot after");
  Click();
  EXPECT_THAT(Os_.CallsNamed("MoveFileExA"), IsEmpty());
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.2"), "<missing>");
  EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"message: " + kSuccess});
}

TEST_F(InstallationTest, WithoutNtldrNoBackupIsMadeAndTheBootLoaderIsStillCopied) {
  Os_.Files().Remove(kDrive + "ntldr");
  Click();
  EXPECT_THAT(Os_.CallsNamed("MoveFileA"),
              ElementsAre("MoveFileA(C:\\WINDOWS\\bootstat.dat, C:\\WINDOWS\\bootstat.bak)"));
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  EXPECT_EQ(Contents(kDrive + "ntldr.bak"), "<missing>");
  ExpectClosingMessage(kSuccess, MessageKind::Information);
}

TEST_F(InstallationTest, ChecksAndAFailedDisableEndTheClickBeforeAnythingChanges) {
  struct Stop {
    const char* What;
    std::function<void(TFakeOs&, TRecordingDialogs&)> Arrange;
    std::vector<std::string> Shown;
  };
  const std::string oldWarningStart = "message: Although the file \"ewf.sys\"";
  const std::vector<Stop> stops = {
      {"a driver file missing",
       [](TFakeOs& os, TRecordingDialogs&) { os.Files().Remove(kSource + "ewfntldr"); },
       {"missing files"}},
      {"ewf.sys without a version",
       [](TFakeOs& os, TRecordingDialogs&) { os.Files().Find(kSource + "ewf.sys")->VersionResource.clear(); },
       {}},
      {"the write filter protecting the volume",
       [](TFakeOs& os, TRecordingDialogs&) { RunTheWriteFilter(os, kWindows, EwfManagerReport("ENABLED")); },
       {"message: " + OverlayOnMessage("C:")}},
      {"no blank descriptor",
       [](TFakeOs& os, TRecordingDialogs&) { os.SetBuildSecurityDescriptorResult(ERROR_CALL_NOT_IMPLEMENTED); },
       {"message: An error occured while disabling security in the registry - failed to create a blank security "
        "descriptor.  Error 120"}},
  };
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.What);
    TFakeOs os;
    os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
    os.Files().AddFile(kSource + "ewf.sys", kNewDriver).VersionResource =
        BuildVersionResource(FileVersionParts{2, 0, 927, 0});
    os.Files().AddFile(kSource + "ewfmgr.exe", kNewManager);
    os.Files().AddFile(kSource + "ewfntldr", kNewLoader);
    os.Files().AddFile(kDrive + "ntldr", OriginalBootLoader());
    TRecordingDialogs dialogs;
    TVersionInfo reader(os);
    stop.Arrange(os, dialogs);

    InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive});
    EXPECT_EQ(dialogs.Shown, stop.Shown);
    EXPECT_THAT(os.CallsNamed("CopyFileA"), IsEmpty());
    EXPECT_THAT(os.CallsNamed("MoveFileA"), IsEmpty());
    EXPECT_THAT(os.CallsNamed("RegCreateKeyExA"), IsEmpty());
    EXPECT_EQ(os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot), ProtectedSecurityDescriptor());
    EXPECT_EQ(os.LiveLocalAllocationCount(), 0);
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }

  Os_.Files().Find(kSource + "ewf.sys")->VersionResource = BuildVersionResource(FileVersionParts{2, 0, 926, 9999});
  Dialogs_.QueueAnswer(DialogResult::No);
  Click();
  ASSERT_EQ(Dialogs_.Shown.size(), 1u);
  EXPECT_EQ(Dialogs_.Shown[0].rfind(oldWarningStart, 0), 0u);
  EXPECT_THAT(Os_.CallsNamed("RegOpenKeyExA"), IsEmpty());
}

TEST_F(InstallationTest, AFailedValueWritePutsTheSecurityBackBeforeTheErrorIsReported) {
  Os_.FailCallsContaining(", Class, ", ERROR_ACCESS_DENIED);
  std::vector<BYTE> daclAtReport;
  Dialogs_.OnReport = [&] { daclAtReport = Dacl(); };
  Click();

  EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"report: Failed to set data for 'Class'"});
  EXPECT_EQ(daclAtReport, OriginalDacl_);
  EXPECT_EQ(Value(kLegacy + "\\0000", "Legacy"), Dword(1));
  EXPECT_FALSE(Value(kLegacy + "\\0000", "ClassGUID"));
  EXPECT_FALSE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, kService));
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), (RegistryValue{REG_MULTI_SZ, kOnlySnapshotFilter}));
}

TEST_F(InstallationTest, WhenThatRestoreFailsToo) {
  Os_.FailCallsContaining(", Class, ", ERROR_ACCESS_DENIED);
  Os_.FailCall("RegSetKeySecurity", ERROR_ACCESS_DENIED, 2);
  Click();
  DaclRestored_ = false;
  EXPECT_EQ(Dialogs_.Shown,
            (std::vector<std::string>{"message: An error occured while restoring security in the registry - could not "
                                      "restore the original security descriptor.  Error 5",
                                      // No closing message follows to name the key.
                                      "message: An error has occurred while restoring " + kKeyAdvice,
                                      "report: Failed to set data for 'Class'"}));
  EXPECT_TRUE(HasNullDacl(Dacl()));
}

// Whatever step of the boot loader's placement fails, ntldr stays the old
// one, whole, and no temporary file is left.
TEST_F(InstallationTest, AFailedBootLoaderStepLeavesTheOriginalNtldr) {
  struct Case {
    std::string Failing;
    DWORD Error;
    std::string Line;
    bool CompressedDrive = false;
  };
  const std::string copyLoader = "Copying " + kSource + "ewfntldr to C:\\ntldr failed";
  const std::string compressed =
      ": the copy is compressed, and Windows cannot start from a compressed boot loader.  Clear \"Compress drive to "
      "save disk space\" for the drive's root folder only.";
  const std::vector<Case> cases = {
      // Where the copy cannot be uncompressed, the compressed root's ntldr stays as it is.
      {"DeviceIoControl(C:\\ntldr.stillvane-new", ERROR_ACCESS_DENIED, copyLoader + compressed + "  Error 5", true},
      {"GetFileAttributesA(C:\\ntldr.stillvane-new)", ERROR_ACCESS_DENIED, copyLoader + ".  Error 5", true},
      {"CopyFileA(" + kSource + "ewfntldr", ERROR_DISK_FULL, copyLoader + ".  Error 112"},
      {"FlushFileBuffers(C:\\ntldr.stillvane-new", ERROR_CANTWRITE, copyLoader + ".  Error 1013"},
      {"ReadFile(C:\\ntldr.stillvane-new", ERROR_CRC, copyLoader + ".  Error 23"},
      {"CopyFileA(C:\\ntldr,", ERROR_DISK_FULL,
       "Copying C:\\ntldr to C:\\ntldr.bak failed, so C:\\ntldr was not replaced.  Error 112"},
      {"MoveFileExA(C:\\ntldr.bak.stillvane-new", ERROR_ACCESS_DENIED,
       "Renaming C:\\ntldr.bak.stillvane-new to C:\\ntldr.bak failed, so C:\\ntldr was not replaced.  Error 5"},
      {"MoveFileExA(C:\\ntldr.stillvane-new", ERROR_SHARING_VIOLATION,
       "Replacing C:\\ntldr with the copy of " + kSource + "ewfntldr failed.  Error 32"},
      // A look-up or read that fails is never taken for "missing" or "the same".
      {"GetFileAttributesA(C:\\ntldr)", ERROR_ACCESS_DENIED,
       "Looking for C:\\ntldr failed, so it was not replaced.  Error 5"},
      {"GetFileAttributesA(C:\\ntldr.bak)", ERROR_ACCESS_DENIED,
       "Looking for C:\\ntldr.bak failed, so C:\\ntldr was not replaced.  Error 5"},
      {"ReadFile(C:\\ntldr,", ERROR_CRC, "Reading C:\\ntldr failed, so C:\\ntldr was not replaced.  Error 23"},
      {"SetFileAttributesA(C:\\ntldr.stillvane-new, 0x7)", ERROR_ACCESS_DENIED,
       "Setting the attributes of C:\\ntldr.stillvane-new failed, so C:\\ntldr was not replaced.  Error 5"},
      {"SetFileAttributesA(C:\\ntldr, ", ERROR_ACCESS_DENIED,
       "Clearing the read-only attribute of C:\\ntldr failed, so it was not replaced.  Error 5"},
  };
  const DWORD hiddenSystemReadOnly = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Failing);
    TFakeOs os;
    os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
    Arrange(os);
    os.Files().Find(kDrive + "ntldr")->Attributes = hiddenSystemReadOnly;
    os.Files().SetCompressed(kDrive, c.CompressedDrive);
    os.FailCallsContaining(c.Failing, c.Error);
    TRecordingDialogs dialogs;
    TVersionInfo reader(os);
    InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive});
    EXPECT_EQ(os.Files().Find(kDrive + "ntldr")->Contents, OriginalBootLoader());
    EXPECT_EQ(os.Files().Find(kDrive + "ntldr")->Attributes, hiddenSystemReadOnly);
    EXPECT_EQ(os.Files().Find(kDrive + "ntldr.stillvane-new"), nullptr);
    EXPECT_EQ(os.Files().Find(kDrive + "ntldr.bak.stillvane-new"), nullptr);
    EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"message: " + kFailedHeader + c.Line + kRetry});
  }
}

// XP cannot start from a compressed ntldr, and on a compressed drive every
// new file is compressed: the copy that becomes ntldr is uncompressed, and
// seen to be, before it takes the name; the other files stay as their
// folders make them.
TEST_F(InstallationTest, OnACompressedDriveOnlyTheBootLoaderIsUncompressed) {
  Os_.Files().SetCompressed(kDrive, true);
  Os_.Files().SetCompressed(kWindows + "system32\\drivers", true);
  Click();
  ExpectClosingMessage(kSuccess, MessageKind::Information);
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  EXPECT_EQ(Os_.Files().Find(kDrive + "ntldr")->Attributes & FILE_ATTRIBUTE_COMPRESSED, 0u);
  EXPECT_NE(Os_.Files().Find(kDrive + "ntldr.bak")->Attributes & FILE_ATTRIBUTE_COMPRESSED, 0u);
  EXPECT_NE(Os_.Files().Find(kWindows + "system32\\drivers\\ewf.sys")->Attributes & FILE_ATTRIBUTE_COMPRESSED, 0u);
  EXPECT_THAT(Os_.CallsNamed("DeviceIoControl"), ElementsAre("DeviceIoControl(C:\\ntldr.stillvane-new, 0x9C040, 0, "
                                                             "NULL, 0)"));
}

// A copy that still reads as compressed after it was uncompressed (a file
// system that answers the call and does nothing) does not take the name.
TEST_F(InstallationTest, ABootLoaderCopyStillCompressedIsNotPlaced) {
  class TCompressionIgnoringOs : public TFakeOs {
    BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override { return TRUE; }
  } os;
  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
  Arrange(os);
  os.Files().SetCompressed(kDrive, true);
  TRecordingDialogs dialogs;
  TVersionInfo reader(os);
  InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive});
  EXPECT_EQ(os.Files().Find(kDrive + "ntldr")->Contents, OriginalBootLoader());
  EXPECT_EQ(os.Files().Find(kDrive + "ntldr.stillvane-new"), nullptr);
  ASSERT_FALSE(dialogs.Messages.empty());
  EXPECT_THAT(dialogs.Messages.back().Text, HasSubstr("ewfntldr to C:\\ntldr failed: the copy is compressed"));
}

// A copy an interrupted run left, deleted while a virus scanner still reads
// it, keeps its name until the scanner lets go: it is not written over.
TEST_F(InstallationTest, ATemporaryNameStillHeldIsNotReused) {
  Os_.Files().AddFile(kDrive + "ntldr.stillvane-new", "left by a run cut short").HeldSharingAll = true;
  Click();
  EXPECT_EQ(Contents(kDrive + "ntldr"), OriginalBootLoader());
  ASSERT_FALSE(Dialogs_.Messages.empty());
  EXPECT_THAT(Dialogs_.Messages.back().Text,
              HasSubstr("Copying " + kSource +
                        "ewfntldr to C:\\ntldr failed, because C:\\ntldr.stillvane-new is still held open by another "
                        "program.\r"));
  Os_.Files().Release(kDrive + "ntldr.stillvane-new");
  Click();
  ExpectClosingMessage(kSuccess, MessageKind::Information);
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
}

// No boot loader is lost: what holds other bytes under a backup name is
// left as it is, and the old ntldr goes to the first free name.
TEST_F(InstallationTest, TheOldBootLoaderIsKeptUnderAFreeBackupName) {
  Os_.Files().AddFolder(kDrive + "ntldr.bak");
  Os_.Files().AddFile(kDrive + "ntldr.bak\\inside", "a file in a folder");
  Os_.Files().AddFile(kDrive + "ntldr.bak.1", "an unrelated old file");
  Os_.Files().Find(kDrive + "ntldr")->Attributes =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  Click();
  EXPECT_TRUE(Os_.Files().IsFolder(kDrive + "ntldr.bak"));
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.1"), "an unrelated old file");
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.2"), OriginalBootLoader());
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  // Still hidden, system and read-only, as the loader it replaced.
  EXPECT_EQ(Os_.Files().Find(kDrive + "ntldr")->Attributes,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ExpectClosingMessage(kSuccess +
                           "\r\rThe boot loader C:\\ntldr that was replaced has been kept as C:\\ntldr.bak.2, because "
                           "C:\\ntldr.bak holds something else.",
                       MessageKind::Information);

  // An existing backup that holds the current loader's bytes is the backup
  // (here without a record, which would tell that no copy is needed).
  Os_.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane");
  Os_.Files().AddFile(kSource + "ewfntldr", StandInBootLoader("newer boot loader"));
  Os_.Files().AddFile(kDrive + "ntldr.bak.3", kNewLoader);
  Click();
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.4"), "<missing>");
  EXPECT_THAT(Os_.CallsNamed("CopyFileA"), Not(Contains(HasSubstr("CopyFileA(C:\\ntldr,"))));
  EXPECT_EQ(Contents(kDrive + "ntldr"), StandInBootLoader("newer boot loader"));
  ExpectClosingMessage(kSuccess +
                           "\r\rThe boot loader C:\\ntldr that was replaced has been kept as C:\\ntldr.bak.3, because "
                           "C:\\ntldr.bak holds something else.",
                       MessageKind::Information);
}

// Only a whole copy of the old loader is its backup, however long the
// loader and however many names are taken.
TEST_F(InstallationTest, OnlyAWholeCopyOfTheOldLoaderIsTakenForItsBackup) {
  const std::string original = std::string(70000, 'o') + "end";
  Os_.Files().AddFile(kDrive + "ntldr", original);
  Os_.Files().AddFile(kDrive + "ntldr.bak", original.substr(0, original.size() - 1));
  Os_.Files().AddFile(kDrive + "ntldr.bak.1", original.substr(0, 65536) + std::string(original.size() - 65536, 'x'));
  for (int n = 2; n <= 98; ++n) Os_.Files().AddFile(kDrive + "ntldr.bak." + std::to_string(n), "other");
  Click();
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.99"), original);
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  ExpectClosingMessage(kSuccess +
                           "\r\rThe boot loader C:\\ntldr that was replaced has been kept as C:\\ntldr.bak.99, because "
                           "C:\\ntldr.bak holds something else.",
                       MessageKind::Information);

  // With every name taken the loader stays.
  Os_.Files().AddFile(kDrive + "ntldr", original);
  Os_.Files().AddFile(kDrive + "ntldr.bak.99", "other");
  Click();
  EXPECT_EQ(Contents(kDrive + "ntldr"), original);
  EXPECT_EQ(Dialogs_.Messages.back().Text,
            kFailedHeader + "No free name was left for a copy of C:\\ntldr, so C:\\ntldr was not replaced." + kRetry);
}

// While the old-version warning is on screen the files can still change:
// what goes live is checked again on the copy, and a changed file stops it all.
TEST_F(InstallationTest, AFileChangedAfterItWasCheckedIsNotInstalled) {
  struct Case {
    std::string Name;
    std::string Contents;
    FileVersionParts Version;
    std::string Problem;
  };
  const std::string notChecked = "its contents are not the ones that were checked";
  const std::vector<Case> cases = {
      {"ewf.sys", "a text file now", {2, 0, 927, 0}, notChecked},
      {"ewf.sys", StandInImage("a DLL", {2, 0x14C, true}), {2, 0, 927, 0}, notChecked},
      // Swapped for another file of the same version while the warning is on screen.
      {"ewf.sys", StandInDriver("another driver"), {2, 0, 927, 0}, notChecked},
      {"ewf.sys", kNewDriver.substr(0, kNewDriver.size() - 1), {2, 0, 927, 0}, notChecked},
      {"ewf.sys", kNewDriver + "!", {2, 0, 927, 0}, notChecked},
      {"ewf.sys", kNewDriver, {2, 0, 928, 0}, "its version is not the one that was checked, or cannot be read"},
      {"ewfmgr.exe", StandInProgram("another manager"), {2, 0, 927, 0}, notChecked},
      {"ewfntldr", "", {0, 0, 0, 0}, notChecked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name + ": " + c.Problem);
    TFakeOs os;
    os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
    Arrange(os);
    os.Files().Find(kSource + "ewfmgr.exe")->VersionResource = BuildVersionResource(FileVersionParts{2, 0, 926, 0});
    TWatchingDialogs dialogs;
    dialogs.QueueAnswer(DialogResult::Yes);
    dialogs.OnMessage = [&] {
      if (!dialogs.Shown.empty()) return;
      FakeFile& changed = os.Files().AddFile(kSource + c.Name, c.Contents);
      if (c.Name != "ewfntldr") changed.VersionResource = BuildVersionResource(c.Version);
    };
    TVersionInfo reader(os);
    const std::vector<BYTE> dacl = os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot);
    InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive});
    ASSERT_EQ(dialogs.Shown.size(), 2u);
    EXPECT_EQ(dialogs.Shown[1], "message: The file \"" + c.Name + "\" in " + kSource +
                                    " was changed after it was checked, so it was not installed: " + c.Problem +
                                    ".\r\rNothing has been changed.  Check what changes the files in that folder, "
                                    "then click Install EWF Support again.");
    for (const std::string& placed :
         {kWindows + "system32\\drivers\\ewf.sys", kWindows + "system32\\ewfmgr.exe", kDrive + "ntldr.bak",
          kWindows + "system32\\drivers\\ewf.sys.stillvane-new", kWindows + "system32\\ewfmgr.exe.stillvane-new",
          kDrive + "ntldr.stillvane-new"}) {
      EXPECT_EQ(os.Files().Find(placed), nullptr) << placed;
    }
    EXPECT_EQ(os.Files().Find(kDrive + "ntldr")->Contents, OriginalBootLoader());
    EXPECT_FALSE(os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kLegacy));
    EXPECT_EQ(os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot), dacl);
  }
}

// A source that changes once its copy is made does not matter: what goes
// live is the copy, and the copy is what is checked.
TEST_F(InstallationTest, TheCopyIsCheckedNotTheSourceThatChangedAfterIt) {
  class TSourceChangingAfterItsCopy : public TFakeOs {
   public:
    BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) override {
      const BOOL copied = TFakeOs::CopyFileA(existingFile, newFile, failIfExists);
      if (FakeFile* source = Files().Find(existingFile); source && existingFile == kSource + "ewf.sys") {
        source->Contents = "changed after the copy";
        source->VersionResource = BuildVersionResource(FileVersionParts{9, 0, 0, 0});
      }
      return copied;
    }
  };
  TSourceChangingAfterItsCopy os;
  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
  Arrange(os);
  TRecordingDialogs dialogs;
  TVersionInfo reader(os);
  InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive});
  EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"message: " + kSuccess});
  const FakeFile* placed = os.Files().Find(kWindows + "system32\\drivers\\ewf.sys");
  ASSERT_NE(placed, nullptr);
  EXPECT_EQ(placed->Contents, kNewDriver);
}

TEST_F(InstallationTest, WithoutTheDriverInPlaceNothingIsRegistered) {
  // On a second partition: the note may not say the filter will protect it.
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice", REG_SZ,
                          Text("multi(0)disk(0)rdisk(0)partition(2)").Data);
  Os_.FailCallsContaining("CopyFileA(" + kSource + "ewf.sys", ERROR_ACCESS_DENIED);
  Click();
  // Only the record: ahead of the files, and once they are placed.
  EXPECT_THAT(Os_.CallsNamed("RegCreateKeyExA"),
              Each(testing::StartsWith("RegCreateKeyExA(HKLM, SOFTWARE\\Stillvane, ")));
  EXPECT_THAT(Os_.CallsNamed("RegSetValueExA"),
              Each(testing::StartsWith("RegSetValueExA(HKLM\\SOFTWARE\\Stillvane, Installation")));
  EXPECT_FALSE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, kLegacy));
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), (RegistryValue{REG_MULTI_SZ, kOnlySnapshotFilter}));
  EXPECT_THAT(Os_.CallsNamed("RegSetKeySecurity"), IsEmpty()) << "the key is never opened up for nothing";
  ExpectClosingMessage(
      kFailedHeader + "Copying " + kSource +
          "ewf.sys to C:\\WINDOWS\\system32\\drivers\\ewf.sys failed.  Error 5\r"
          "No registry entries were written, because C:\\WINDOWS\\system32\\drivers\\ewf.sys is not "
          "present.\r\rThis computer's partitions are not laid out in the usual way, so:\r"
          "The new boot loader was placed in the root of the partition the computer starts from: C:\\" +
          kRetry,
      MessageKind::Error);
}

TEST_F(InstallationTest, AnAlreadyInstalledDriverIsKeptAndRegistered) {
  // Older than the new one, but no older than the minimum: kept.
  Os_.Files().AddFile(kWindows + "system32\\drivers\\ewf.sys", StandInDriver("installed")).VersionResource =
      BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  Os_.Files().AddFile(kWindows + "system32\\ewfmgr.exe", StandInProgram("installed"));
  Os_.Files().AddFile(kDrive + "ntldr.bak", "first backup");
  Click();
  EXPECT_EQ(Contents(kWindows + "system32\\drivers\\ewf.sys"), StandInDriver("installed"));
  EXPECT_EQ(Contents(kWindows + "system32\\ewfmgr.exe"), StandInProgram("installed"));
  EXPECT_EQ(Contents(kDrive + "ntldr.bak"), "first backup");
  EXPECT_EQ(Contents(kDrive + "ntldr.bak.1"), OriginalBootLoader());
  EXPECT_EQ(Contents(kDrive + "ntldr"), kNewLoader);
  ExpectAllEntries();
  ExpectClosingMessage(kSuccess + kKeptAsFirst, MessageKind::Information);
}

TEST_F(InstallationTest, AnInstalledCopyThatCannotBeUsedIsKeptAsideAndReplaced) {
  const std::string driver = kWindows + "system32\\drivers\\ewf.sys";
  const std::string manager = kWindows + "system32\\ewfmgr.exe";
  std::string badEntry = kNewDriver;
  PatchStandIn(badEntry, stand_in::kEntryPoint, 0xDEADBEEF);
  const std::vector<BYTE> minimum = BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  VersionResourceLayout withoutFixedInfo;
  withoutFixedInfo.FixedInfoLength = 0;
  struct Case {
    std::string Target;
    std::string Contents;
    std::vector<BYTE> Version;
    std::string Problem;
  };
  const std::vector<Case> cases = {
      {driver, "", minimum, "it is empty"},
      {driver, kNewDriver.substr(0, kNewDriver.size() / 2), minimum,
       "it is incomplete: its sections run past the end of the file, as in a copy cut short"},
      {driver, badEntry, minimum, "it is damaged: its entry point (0xDEADBEEF) lies outside its code"},
      {driver, StandInImage("DLL", {1, 0x14C, true}), minimum, "it is a DLL, not a kernel driver"},
      {driver, StandInDriver("old"), BuildVersionResource(FileVersionParts{2, 0, 926, 0}),
       "it is version 2.0.926.0, older than 2.0.927.0"},
      {driver, StandInDriver("unversioned"), {}, "its version cannot be read"},
      // A resource that holds no file version is not taken for version 0.0.0.0.
      {driver, StandInDriver("no fixed information"), BuildVersionResource(withoutFixedInfo),
       "its version cannot be read"},
      {manager, StandInProgram("no fixed information"), BuildVersionResource(withoutFixedInfo),
       "its version cannot be read"},
      {manager, StandInDriver("a driver"), minimum,
       "it is not a Windows program: it is made for the native (kernel mode) subsystem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Problem);
    TFakeOs os;
    os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
    Arrange(os);
    const std::vector<BYTE>& version = c.Version;
    os.Files().AddFile(c.Target, c.Contents).VersionResource = version;
    os.Files().AddFile(c.Target + ".bak", "another file's backup");  // the next free name is taken
    TRecordingDialogs dialogs;
    TVersionInfo reader(os);
    InstallEwfSupport({os, dialogs, reader, kSource, kWindows, kDrive});
    const bool isDriver = c.Target == driver;
    EXPECT_EQ(os.Files().Find(c.Target)->Contents, isDriver ? kNewDriver : kNewManager);
    EXPECT_EQ(os.Files().Find(c.Target + ".bak")->Contents, "another file's backup");
    ASSERT_NE(os.Files().Find(c.Target + ".bak.1"), nullptr);
    EXPECT_EQ(os.Files().Find(c.Target + ".bak.1")->Contents, c.Contents);
    EXPECT_EQ(os.Files().Find(c.Target + ".bak.1")->VersionResource, version);
    EXPECT_EQ(dialogs.Shown.back(), "message: " + kSuccess + "\r\rThe file " + c.Target +
                                        " that was already installed could not be used (" + c.Problem +
                                        "), so it was replaced by the copy of " + kSource +
                                        (isDriver ? "ewf.sys" : "ewfmgr.exe") +
                                        "; its old contents have been kept as " + c.Target + ".bak.1.");
    EXPECT_TRUE(os.Registry().Value(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters").has_value());
  }
}

TEST_F(InstallationTest, ADriverThatCannotBeUsedIsNeverRegistered) {
  // The damaged copy stays when it cannot be replaced; the filter is not registered over it.
  Os_.Files().AddFile(kWindows + "system32\\drivers\\ewf.sys", kNewDriver.substr(0, 0x300)).VersionResource =
      BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  Os_.FailCallsContaining("MoveFileExA(" + kWindows + "system32\\drivers\\ewf.sys.stillvane-new", ERROR_ACCESS_DENIED);
  Click();
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), (RegistryValue{REG_MULTI_SZ, kOnlySnapshotFilter}));
  EXPECT_FALSE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, kService));
  ExpectClosingMessage(kFailedHeader + "Replacing C:\\WINDOWS\\system32\\drivers\\ewf.sys with the copy of " + kSource +
                           "ewf.sys failed.  Error 5\r"
                           "No registry entries were written, because C:\\WINDOWS\\system32\\drivers\\ewf.sys cannot "
                           "be used: it is incomplete: its sections run past the end of the file, as in a copy cut "
                           "short.  Delete or rename that file." +
                           kRetry,
                       MessageKind::Error);
}

TEST_F(InstallationTest, AFolderUnderATargetNameIsAFailedStep) {
  Os_.Files().AddFolder(kWindows + "system32\\ewfmgr.exe");
  Os_.Files().AddFolder(kWindows + "bootstat.bak");
  Click();
  EXPECT_TRUE(Os_.Files().IsFolder(kWindows + "system32\\ewfmgr.exe"));
  EXPECT_EQ(Contents(kWindows + "bootstat.dat"), "boot status");
  EXPECT_EQ(Contents(kWindows + "system32\\ewfmgr.exe.stillvane-new"), "<missing>");
  ExpectAllEntries();
  ExpectClosingMessage(kFailedHeader + "Copying " + kSource + "ewfmgr.exe to " + kWindows +
                           "system32\\ewfmgr.exe failed, because " + kWindows +
                           "system32\\ewfmgr.exe is a folder: move or rename that folder.\r"
                           "Renaming " +
                           kWindows + "bootstat.dat to " + kWindows + "bootstat.bak failed, because " + kWindows +
                           "bootstat.bak is a folder: move or rename that folder.  Error 183" + kRetry,
                       MessageKind::Error);
}

TEST_F(InstallationTest, WithoutTheServiceKeyTheFilterListIsLeftAlone) {
  Os_.FailCallsContaining("RegCreateKeyExA(HKLM, " + kService + ", ", ERROR_ACCESS_DENIED);
  Click();
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), (RegistryValue{REG_MULTI_SZ, kOnlySnapshotFilter}));
  EXPECT_THAT(Os_.CallsNamed("RegSetValueExA"), Each(Not(HasSubstr("UpperFilters"))));
  EXPECT_EQ(Value(kVolume, "ArcName"), Text("multi(0)disk(0)rdisk(0)partition(1)"));
  ExpectClosingMessage(kFailedHeader + "Opening the registry key HKEY_LOCAL_MACHINE\\" + kService +
                           " failed.  Error 5\r"
                           "The \"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" +
                           kClassKey + " was left unchanged, because the registry key HKEY_LOCAL_MACHINE\\" + kService +
                           " could not be written." + kRetry,
                       MessageKind::Error);
}

TEST_F(InstallationTest, EveryUnexpectedFailureIsNamedWithItsCodeAndTheRestStillDone) {
  Os_.FailCallsContaining("CopyFileA(" + kSource + "ewfmgr.exe", ERROR_ACCESS_DENIED);
  Os_.FailCallsContaining("MoveFileExA(C:\\ntldr.stillvane-new", ERROR_SHARING_VIOLATION);
  Os_.FailCallsContaining("MoveFileA(C:\\WINDOWS\\bootstat.dat", ERROR_SHARING_VIOLATION);
  Os_.FailCallsContaining("RegCreateKeyExA(HKLM, " + kLegacy + "\\0000\\Control", ERROR_ACCESS_DENIED);
  Os_.FailCallsContaining("RegSetValueExA(HKLM\\" + std::string(kClassKey), ERROR_CANTWRITE);
  Click();

  EXPECT_EQ(Contents(kWindows + "system32\\drivers\\ewf.sys"), kNewDriver);
  EXPECT_EQ(Contents(kDrive + "ntldr"), OriginalBootLoader());
  EXPECT_EQ(Value(kService, "Type"), Dword(1));
  EXPECT_EQ(Value(kVolume, "Type"), Dword(1));
  ExpectClosingMessage(kFailedHeader + "Copying " + kSource +
                           "ewfmgr.exe to C:\\WINDOWS\\system32\\ewfmgr.exe failed.  Error 5\r"
                           "Replacing C:\\ntldr with the copy of " +
                           kSource +
                           "ewfntldr failed.  Error 32\r"
                           "Renaming C:\\WINDOWS\\bootstat.dat to C:\\WINDOWS\\bootstat.bak failed.  Error 32\r"
                           "Opening the registry key HKEY_LOCAL_MACHINE\\" +
                           kLegacy +
                           "\\0000\\Control failed.  Error 5\r"
                           "Writing the \"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" +
                           kClassKey + " failed.  Error 1013" + kRetry,
                       MessageKind::Error);
}

TEST_F(InstallationTest, ExistingVolumeFiltersAreKeptAndASecondRunChangesNothing) {
  const std::vector<BYTE> before = Raw(std::string("PartMgr\0VolSnap", 15));
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ, before);
  Click();
  const RegistryValue merged{REG_MULTI_SZ, Raw(std::string("PartMgr\0VolSnap\0Ewf\0\0", 21))};
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), merged);
  Click();
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), merged);

  Os_.Registry().DeleteKey(HKEY_LOCAL_MACHINE, kClassKey);
  Click();
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), (RegistryValue{REG_MULTI_SZ, kBothFilters}));
  ExpectClosingMessage(kSuccess, MessageKind::Information);
}

TEST_F(InstallationTest, AFilterListThatCannotBeReadIsNotOverwritten) {
  Os_.FailCallsContaining("UpperFilters)", ERROR_ACCESS_DENIED);
  Click();
  EXPECT_EQ(Value(kClassKey, "UpperFilters"), (RegistryValue{REG_MULTI_SZ, kOnlySnapshotFilter}));
  ExpectClosingMessage(kFailedHeader + "Reading the \"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" + kClassKey +
                           " failed.  Error 5" + kRetry,
                       MessageKind::Error);
}

TEST_F(InstallationTest, AFailedRestoreGivesTheLongCompletionMessageOrJoinsTheFailureList) {
  Os_.FailCall("RegSetKeySecurity", ERROR_ACCESS_DENIED, 2);
  Click();
  DaclRestored_ = false;
  ASSERT_EQ(Dialogs_.Messages.size(), 2u);
  EXPECT_EQ(Dialogs_.Messages[0].Text,
            "An error occured while restoring security in the registry - could not restore the original security "
            "descriptor.  Error 5");
  ExpectClosingMessage(
      "The EWF installation completed successfully, however an error has occured while restoring " + kKeyAdvice,
      MessageKind::Information);

  Os_.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kRoot, OriginalDacl_);
  Os_.FailCall("RegSetKeySecurity", ERROR_ACCESS_DENIED, 3);  // after the record key's
  Os_.FailCallsContaining("MoveFileA(C:\\WINDOWS\\bootstat.dat", ERROR_SHARING_VIOLATION);
  Os_.Files().AddFile(kWindows + "bootstat.dat");
  Click();
  ExpectClosingMessage(kFailedHeader +
                           "Renaming C:\\WINDOWS\\bootstat.dat to C:\\WINDOWS\\bootstat.bak failed.  Error 32"
                           "\r\rIn addition, an error has occurred while restoring " +
                           kKeyAdvice + kRetry,
                       MessageKind::Error);
}

}  // namespace

namespace {

// Once the driver has loaded, Windows owns its device key and gives
// administrators only read access: Install takes it over for its writes and
// gives it back, also when a write fails.
TEST_F(InstallationTest, ADeviceKeyWindowsOwnsIsTakenOverAndGivenBackOnEveryPath) {
  for (const bool valueWriteFails : {false, true}) {
    SCOPED_TRACE(valueWriteFails ? "a value write fails" : "every write done");
    fault::WindowsOwnsDeviceKey(Os_);
    if (valueWriteFails) Os_.FailCallsContaining(", Class, ", ERROR_ACCESS_DENIED);
    Click();
    if (valueWriteFails) {
      EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"report: Failed to set data for 'Class'"});
    } else {
      ExpectAllEntries();
      ASSERT_FALSE(Dialogs_.Messages.empty());
      EXPECT_THAT(Dialogs_.Messages.back().Text,
                  HasSubstr("EWF installation completed successfully.\r\r"
                            "The registry key HKEY_LOCAL_MACHINE\\" +
                            kLegacy +
                            " belonged to Windows, so Stillvane took ownership of it to write it, then gave it back "
                            "its owner and permissions."));
    }
    for (const char* key : fault::kDeviceKeys) {
      EXPECT_EQ(Os_.Registry().Owner(HKEY_LOCAL_MACHINE, key), SystemSid()) << key;
      EXPECT_EQ(Os_.Registry().Security(HKEY_LOCAL_MACHINE, key), ProtectedSecurityDescriptor()) << key;
    }
    EXPECT_FALSE(Os_.PrivilegeEnabled(SE_TAKE_OWNERSHIP_NAME));
    EXPECT_FALSE(Os_.PrivilegeEnabled(SE_RESTORE_NAME));
  }
}

}  // namespace
