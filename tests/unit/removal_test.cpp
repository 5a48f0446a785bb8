// Remove EWF Support on the campaign's machine: what it undoes, in which
// order, what it leaves when it cannot know, and what it says.
#include "install/removal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "install/installation_record.h"
#include "support/ewf_manager_reports.h"
#include "support/fault_campaign.h"
#include "support/fault_machine.h"
#include "support/security_descriptor_bytes.h"
#include "support/stand_in_image.h"

namespace fault {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kClass = "HKEY_LOCAL_MACHINE\\" + std::string(kClassKey);

class RemovalTest : public ::testing::Test {
 protected:
  void SetUp() override { StartUp(Machine_); }
  void Install() {
    ClickInstall(Machine_);
    ASSERT_THAT(Machine_.Dialogs.Shown.back(), HasSubstr("completed successfully"));
  }
  void Remove() {
    Machine_.Dialogs = TRecordingDialogs();
    Machine_.Os.ClearCalls();
    ClickRemove(Machine_);
  }
  std::string Closing() const { return Machine_.Dialogs.Messages.empty() ? "" : Machine_.Dialogs.Messages.back().Text; }
  std::string Contents(const std::string& path) {
    const FakeFile* file = Machine_.Os.Files().Find(path);
    return file ? file->Contents : "<missing>";
  }
  // The calls that change the machine, in order.
  std::vector<std::string> Changes() {
    std::vector<std::string> changes;
    for (const std::string& call : Machine_.Os.Calls()) {
      for (const char* name : {"RegSetValueExA", "RegDeleteKeyA", "RegSetKeySecurity", "MoveFileExA", "DeleteFileA"}) {
        if (call.rfind(std::string(name) + "(", 0) == 0) changes.push_back(call);
      }
    }
    // The volatile mark of this start goes with the record's key (Entries() shows it gone).
    std::erase(changes, "RegDeleteKeyA(HKLM, SOFTWARE\\Stillvane\\Since this start)");
    return changes;
  }
  // The machine's entries, but for bootstat.dat renamed to bootstat.bak.
  std::map<std::string, std::string> Entries() {
    std::map<std::string, std::string> entries = TakeSnapshot(Machine_.Os).Entries;
    std::erase_if(entries, [](const auto& entry) { return entry.first.find("\\bootstat.") != std::string::npos; });
    return entries;
  }

  FaultMachine Machine_;
};

TEST_F(RemovalTest, InstallThenRemoveIsARoundTripInAnOrderThatKeepsTheMachineStartable) {
  const std::map<std::string, std::string> before = Entries();
  Install();
  Remove();
  EXPECT_THAT(Changes(),
              ElementsAre(
                  // The filter goes first, so that nothing it needs is missing at the next start.
                  "RegSetValueExA(HKLM\\" + std::string(kClassKey) + ", UpperFilters, 0, 7, 9)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\ewf)",
                  "RegSetKeySecurity(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root, 4, &)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000\\Control)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000)",
                  "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF)",
                  "RegSetKeySecurity(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root, 4, &)",
                  "MoveFileExA(C:\\ntldr.stillvane-new, C:\\ntldr, 0x9)", "DeleteFileA(C:\\ntldr.bak)",
                  "DeleteFileA(C:\\WINDOWS\\system32\\drivers\\ewf.sys)",
                  "DeleteFileA(C:\\WINDOWS\\system32\\ewfmgr.exe)", "RegDeleteKeyA(HKLM, SOFTWARE\\Stillvane)"));
  EXPECT_EQ(Entries(), before);
  EXPECT_THAT(Machine_.Os.CallsNamed("RegFlushKey"),
              testing::Contains("RegFlushKey(HKLM\\" + std::string(kClassKey) + ")"))
      << "the list without Ewf is on disk before its driver goes";
  EXPECT_EQ(Machine_.Dialogs.Messages.front().Kind, MessageKind::Confirmation);
  EXPECT_EQ(
      Closing(),
      "EWF support was removed.\r\rThese steps were done:\r"
      "The write filter was taken out of the \"UpperFilters\" value of " +
          kClass +
          ".\r"
          "The registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\ewf was deleted.\r"
          "The registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF was deleted.\r"
          "The earlier boot loader was put back from C:\\ntldr.bak as C:\\ntldr.\r"
          "C:\\ntldr.bak, the copy kept by the installation, was deleted.\r"
          "C:\\WINDOWS\\system32\\drivers\\ewf.sys was deleted.\r"
          "C:\\WINDOWS\\system32\\ewfmgr.exe was deleted.\r"
          "The record of the installation, the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane, was deleted.\r\r"
          "Restart the computer now: until it restarts, the write filter is still at work.");

  Remove();
  EXPECT_EQ(Closing(), "No EWF support was found to remove; nothing has been changed.");
  EXPECT_EQ(Entries(), before);
}

// Last Known Good Configuration puts SYSTEM\CurrentControlSet back as the
// last logon found it and leaves every other key, and the files. Every entry
// Install writes lies under that key but its record, which then lets Remove
// EWF Support put the old loader back and delete the files.
TEST_F(RemovalTest, AfterLastKnownGoodTheRecordLetsRemovalFinish) {
  const std::map<std::string, std::string> before = Entries();
  const std::optional<RegistryValue> filters =
      Machine_.Os.Registry().Value(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters");
  ASSERT_TRUE(filters);
  Install();
  for (const auto& [name, value] : Entries()) {
    if (name.rfind("reg ", 0) != 0 || (before.count(name) && before.at(name) == value)) continue;
    EXPECT_TRUE(name.rfind("reg HKLM\\SYSTEM\\CurrentControlSet\\", 0) == 0 ||
                name.rfind("reg HKLM\\SOFTWARE\\Stillvane", 0) == 0)
        << name;
  }
  Machine_.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\ewf");
  Machine_.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF");
  Machine_.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", filters->Type, filters->Data);

  Remove();
  EXPECT_EQ(Entries(), before);
  EXPECT_THAT(Closing(), HasSubstr("The earlier boot loader was put back from C:\\ntldr.bak as C:\\ntldr."));
  EXPECT_EQ(Closing().rfind("EWF support was removed.\r\r", 0), 0u) << Closing();
}

TEST_F(RemovalTest, OtherFiltersKeepTheirOrderAndABackupFoundBeforeInstallStays) {
  const std::string filters("PartMgr\0VolSnap\0SnapFlt\0\0", 25);
  Machine_.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                                  std::vector<BYTE>(filters.begin(), filters.end()));
  Machine_.Os.Files().AddFile("C:\\ntldr.bak", OriginalBootLoader());  // already holding its bytes
  const std::map<std::string, std::string> before = Entries();
  Install();
  Remove();
  EXPECT_EQ(Entries(), before);
  EXPECT_EQ(Contents("C:\\ntldr.bak"), OriginalBootLoader());
}

TEST_F(RemovalTest, AnsweredNoWithTheFilterOnOrWithTheFilterListUnreadableNothingChanges) {
  Install();
  const std::map<std::string, std::string> installed = Entries();
  Machine_.Dialogs = TRecordingDialogs();
  RemoveEwfSupport(
      {Machine_.Os, Machine_.Dialogs, Machine_.SourceFolder, Machine_.WindowsFolder, Machine_.SystemDriveFolder});
  EXPECT_EQ(Machine_.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Entries(), installed);

  // Whatever is removed while the write filter protects the volume comes back at the next restart.
  RunTheWriteFilter(Machine_.Os, Machine_.WindowsFolder, EwfManagerReport("ENABLED"));
  Remove();
  EXPECT_EQ(Entries(), installed);
  ASSERT_EQ(Machine_.Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Closing(), OverlayOnMessage("C:"));
  Machine_.Os.Processes().SetService("ewf", SERVICE_STOPPED);

  Machine_.Os.FailCallsContaining("RegQueryValueExA(HKLM\\" + std::string(kClassKey), ERROR_ACCESS_DENIED);
  Remove();
  EXPECT_EQ(Entries(), installed);
  EXPECT_THAT(Closing(), HasSubstr("EWF support was not removed.  Nothing else was changed"));
  EXPECT_THAT(Closing(), HasSubstr("Reading the \"UpperFilters\" value of " + kClass + " failed.  Error 5"));

  Machine_.Os.FailCallsContaining("RegQueryValueExA(HKLM\\SOFTWARE\\Stillvane", ERROR_ACCESS_DENIED);
  Remove();
  EXPECT_EQ(Entries(), installed);
  EXPECT_EQ(Closing(),
            "Nothing was removed, because the record of the installation, the \"Installation\" value of "
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane, could not be read.  Error 5\r\r"
            "Log on as an administrator, then choose Remove EWF Support again.");

  Machine_.Os.StartProcessAgain();  // without its faults
  Machine_.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane", "Installation", REG_SZ, {'x', 0});
  Remove();
  EXPECT_THAT(Closing(), HasSubstr("could not be read.  Error 13\r\rIt is not of the kind Stillvane writes: delete it "
                                   "with regedit, then choose Remove EWF Support again."));
}

// ewf.sys goes only once no boot-start service can load it; the record
// stays for the next run to finish.
TEST_F(RemovalTest, AServiceKeyThatCannotBeDeletedKeepsTheDriverAndTheRecord) {
  Install();
  Machine_.Os.FailCallsContaining("RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\ewf)", ERROR_ACCESS_DENIED);
  Remove();
  EXPECT_NE(Contents("C:\\WINDOWS\\system32\\drivers\\ewf.sys"), "<missing>");
  EXPECT_TRUE(Machine_.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"));
  EXPECT_EQ(Contents("C:\\ntldr"), OriginalBootLoader());
  EXPECT_THAT(Closing(), HasSubstr("EWF support was not completely removed."));
  EXPECT_THAT(Closing(), HasSubstr("Deleting the registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"
                                   "\\ewf failed.  Error 5"));
  EXPECT_THAT(Closing(), HasSubstr("Restart the computer, then choose Remove EWF Support again to finish."));

  Machine_.StartAgain();
  StartUp(Machine_);
  Remove();
  EXPECT_EQ(Contents("C:\\WINDOWS\\system32\\drivers\\ewf.sys"), "<missing>");
  EXPECT_FALSE(Machine_.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"));
}

// A backup that is missing or holds other bytes, or an ntldr changed since,
// is not trusted: the loader stays, and the message says why.
TEST_F(RemovalTest, ARecordPointingAtAMissingOrChangedBackupLeavesTheBootLoader) {
  struct Case {
    const char* What;
    std::function<void(TFakeOs&)> Change;
    std::string Left;
  } cases[] = {
      {"missing", [](TFakeOs& os) { os.Files().Remove("C:\\ntldr.bak"); }, "its backup C:\\ntldr.bak is missing."},
      {"changed", [](TFakeOs& os) { os.Files().Find("C:\\ntldr.bak")->Contents = "other"; },
       "its backup C:\\ntldr.bak has changed since EWF support was installed."},
      {"ntldr changed", [](TFakeOs& os) { os.Files().Find("C:\\ntldr")->Contents += "x"; },
       "it has changed since EWF support was installed."},
  };
  for (const Case& c : cases) {
    FaultMachine machine;
    StartUp(machine);
    ClickInstall(machine);
    c.Change(machine.Os);
    const std::string ntldr = machine.Os.Files().Find("C:\\ntldr")->Contents;
    machine.Dialogs = TRecordingDialogs();
    ClickRemove(machine);
    EXPECT_EQ(machine.Os.Files().Find("C:\\ntldr")->Contents, ntldr) << c.What;
    EXPECT_THAT(machine.Dialogs.Messages.back().Text,
                HasSubstr("Left as it was:\rThe boot loader C:\\ntldr was left as it is, because " + c.Left))
        << c.What;
    EXPECT_THAT(machine.Dialogs.Messages.back().Text,
                HasSubstr("EWF support was removed, except for what is listed as left as it was."))
        << c.What;
    EXPECT_EQ(machine.Dialogs.Messages.back().Kind, MessageKind::Warning) << c.What;
  }
}

// Without a record (an installation by hand, an older Stillvane): the
// registration goes, the loader comes back only from the one backup there
// is, and files nobody recorded placing stay.
TEST_F(RemovalTest, WithoutARecordOnlyWhatIsCertainIsUndone) {
  Install();
  Machine_.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane");
  Machine_.Os.Files().AddFile("C:\\ntldr.bak.1", StandInBootLoader("another loader"));
  Remove();
  EXPECT_EQ(Contents("C:\\ntldr"), Contents(std::string(kSourceFolder) + "ewfntldr"));
  EXPECT_THAT(Closing(), HasSubstr("there is no record of the installation to tell which of C:\\ntldr.bak, "
                                   "C:\\ntldr.bak.1 holds the earlier boot loader."));
  EXPECT_THAT(Closing(), HasSubstr("C:\\WINDOWS\\system32\\drivers\\ewf.sys was left in place, because there is no "
                                   "record that Stillvane placed it."));
  EXPECT_THAT(Closing(), HasSubstr("There is no record of the installation (the \"Installation\" value of "
                                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane)"));
  EXPECT_FALSE(Machine_.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kServiceKey));
  EXPECT_NE(Contents("C:\\WINDOWS\\system32\\drivers\\ewf.sys"), "<missing>");

  Machine_.Os.Files().Remove("C:\\ntldr.bak.1");
  Remove();
  EXPECT_EQ(Contents("C:\\ntldr"), OriginalBootLoader());
  EXPECT_EQ(Contents("C:\\ntldr.bak"), OriginalBootLoader());
}

}  // namespace
}  // namespace fault

namespace fault {
namespace {

std::vector<BYTE> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::string DigestOf(const std::string& contents) {
  return DigestOfBytes(Bytes(contents));
}

// A record's lines, each NUL-terminated.
std::string Lines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += line + std::string(1, '\0');
  return joined;
}

// The record is input, not truth: edited after Install, it makes Remove touch
// nothing outside the installation's places, never puts a non-loader in
// place of ntldr, and a record it cannot understand deletes nothing.
TEST_F(RemovalTest, AnEditedRecordTouchesNothingOutsideTheInstallation) {
  const std::string text = "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n";
  const std::string ewf = StandInBootLoader("new boot loader");
  struct Case {
    const char* What;
    std::string Record;  // lines, NUL-separated, before the final NUL
    bool Unreadable;
  };
  const std::vector<Case> cases = {
      {"a placed file outside its places", Lines({"File=" + DigestOf(text) + " C:\\boot.ini", "AddedVolSnap=0"}),
       false},
      {"boot.ini as the backup",
       Lines({"File=" + DigestOf(ewf) + " C:\\ntldr", "Before=" + DigestOf(text), "Backup=C:\\boot.ini", "BackupMade=1",
              "AddedVolSnap=0"}),
       true},
      {"a text file as the backup",
       Lines({"File=" + DigestOf(ewf) + " C:\\ntldr", "Before=" + DigestOf(text), "Backup=C:\\ntldr.bak.5",
              "AddedVolSnap=0"}),
       false},
      {"Windows' own loader named as a placed file",
       Lines({"File=" + DigestOf(OriginalBootLoader()) + " C:\\ntldr.bak", "AddedVolSnap=0"}), false},
      {"an empty record", "", true},
  };
  for (const Case& c : cases) {
    FaultMachine machine;
    StartUp(machine);
    ClickInstall(machine);
    machine.Os.Files().AddFile("C:\\boot.ini", text);
    machine.Os.Files().AddFile("C:\\ntldr.bak.5", text);
    const std::string record = c.Record + std::string(1, '\0');
    machine.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane", "Installation", REG_MULTI_SZ,
                                   Bytes(record));
    machine.Dialogs = TRecordingDialogs();
    ClickRemove(machine);
    const FakeFile* bootIni = machine.Os.Files().Find("C:\\boot.ini");
    ASSERT_NE(bootIni, nullptr) << c.What;
    EXPECT_EQ(bootIni->Contents, text) << c.What;
    // Without an entry for it, the loader comes back only from the one backup that is a loader.
    const std::string ntldr = machine.Os.Files().Find("C:\\ntldr")->Contents;
    EXPECT_TRUE(ntldr == ewf || ntldr == OriginalBootLoader()) << c.What << ": ntldr is never a non-loader";
    const FakeFile* backup = machine.Os.Files().Find("C:\\ntldr.bak");
    EXPECT_TRUE(ntldr == OriginalBootLoader() || (backup && backup->Contents == OriginalBootLoader()))
        << c.What << ": Windows' own loader is never lost";
    const std::string closing = machine.Dialogs.Messages.back().Text;
    if (c.Unreadable) {
      EXPECT_THAT(closing, HasSubstr("Nothing was removed, because the record of the installation")) << c.What;
      EXPECT_TRUE(machine.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\ewf"))
          << c.What;
    } else {
      EXPECT_THAT(closing, HasSubstr("Left as it was:")) << c.What;
      EXPECT_THAT(closing, Not(HasSubstr("EWF support was removed.\r"))) << c.What;
    }
  }
}

// A filter list of another type that still names Ewf keeps the driver and
// its service: Windows may still read it as the list.
TEST_F(RemovalTest, AFilterListOfAnotherTypeNamingEwfKeepsTheDriverAndTheService) {
  Install();
  const std::string filters("VolSnap\0Ewf\0\0", 13);
  Machine_.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_EXPAND_SZ, Bytes(filters));
  Remove();
  EXPECT_TRUE(Machine_.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\ewf"));
  EXPECT_NE(Contents("C:\\WINDOWS\\system32\\drivers\\ewf.sys"), "<missing>");
  EXPECT_THAT(Closing(), HasSubstr("EWF support was not removed."));
  EXPECT_THAT(Closing(), HasSubstr("names Ewf, but is not a list of names (its type is 2)"));
}

// Two installations with different boot loaders: Windows' own comes back,
// and every copy the installations kept goes.
TEST_F(RemovalTest, TwoInstallationsWithDifferentLoadersPutWindowsOwnLoaderBack) {
  Install();
  Machine_.Os.Files().AddFile(std::string(kSourceFolder) + "ewfntldr", StandInBootLoader("another EWF boot loader"));
  Install();
  ASSERT_EQ(Contents("C:\\ntldr"), StandInBootLoader("another EWF boot loader"));
  Remove();
  EXPECT_EQ(Contents("C:\\ntldr"), OriginalBootLoader());
  EXPECT_EQ(Contents("C:\\ntldr.bak"), "<missing>");
  EXPECT_EQ(Contents("C:\\ntldr.bak.1"), "<missing>");
  EXPECT_THAT(Closing(), HasSubstr("EWF support was removed."));
}

// A driver file the user replaced after installing, by one of the same size:
// not the installation's any more, so it stays.
TEST_F(RemovalTest, AFileChangedSinceItWasInstalledStays) {
  Install();
  FakeFile* driver = Machine_.Os.Files().Find("C:\\WINDOWS\\system32\\drivers\\ewf.sys");
  driver->Contents[driver->Contents.size() / 2] ^= 1;
  const std::string changed = driver->Contents;
  Remove();
  EXPECT_EQ(Contents("C:\\WINDOWS\\system32\\drivers\\ewf.sys"), changed);
  EXPECT_THAT(Closing(), HasSubstr("C:\\WINDOWS\\system32\\drivers\\ewf.sys was left in place, because it has "
                                   "changed since EWF support was installed."));
}

// A file a virus scanner holds open is only marked for deletion: it is said
// to go when the scanner closes it, and it does.
TEST_F(RemovalTest, AFileAnotherProgramHoldsIsSaidToGoWhenThatProgramClosesIt) {
  const std::string driver = "C:\\WINDOWS\\system32\\drivers\\ewf.sys";
  Install();
  Machine_.Os.Files().Find(driver)->HeldSharingAll = true;
  Remove();
  EXPECT_THAT(Closing(), HasSubstr(driver + " will be deleted when the program that holds it open closes it.\r"));
  EXPECT_THAT(Closing(), Not(HasSubstr(driver + " was deleted.")));
  EXPECT_THAT(Closing(), HasSubstr("C:\\ntldr.bak, the copy kept by the installation, was deleted.\r"));
  Machine_.Os.Files().Release(driver);
  EXPECT_EQ(Contents(driver), "<missing>");
}

// On a compressed drive the old boot loader goes back uncompressed.
TEST_F(RemovalTest, TheBootLoaderPutBackOnACompressedDriveIsNotCompressed) {
  Machine_.Os.Files().SetCompressed("C:\\", true);
  const std::string original = Contents("C:\\ntldr");
  Install();
  Remove();
  EXPECT_THAT(Closing(), HasSubstr("The earlier boot loader was put back from C:\\ntldr.bak as C:\\ntldr."));
  EXPECT_EQ(Contents("C:\\ntldr"), original);
  EXPECT_EQ(Machine_.Os.Files().Find("C:\\ntldr")->Attributes & FILE_ATTRIBUTE_COMPRESSED, 0u);
}

}  // namespace
}  // namespace fault

namespace fault {
namespace {

// The list Install created goes again, but only while nothing else is in it:
// a filter that joined it after Install stays.
TEST_F(RemovalTest, AFilterListInstallCreatedGoesOnlyWhileNothingElseJoinedIt) {
  for (const bool joined : {false, true}) {
    FaultMachine machine;
    machine.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, kClassKey);
    machine.Os.Registry().CreateKey(HKEY_LOCAL_MACHINE, kClassKey);
    StartUp(machine);
    ClickInstall(machine);
    if (joined) {
      const std::string filters("VolSnap\0Ewf\0Later\0\0", 19);
      machine.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                                     std::vector<BYTE>(filters.begin(), filters.end()));
    }
    ClickRemove(machine);
    const auto list = machine.Os.Registry().Value(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters");
    if (joined) {
      ASSERT_TRUE(list.has_value());
      EXPECT_EQ(std::string(list->Data.begin(), list->Data.end()), std::string("Later\0\0", 7));
    } else {
      EXPECT_FALSE(list.has_value()) << "Install created the list; Remove deletes it";
    }
  }
}

}  // namespace
}  // namespace fault

namespace fault {
namespace {

std::vector<BYTE> Sz(const std::string& text) {
  return {text.begin(), text.end() + 1};
}

// Faults once put into Remove and Install that no test caught, each with the
// case that catches it.
TEST_F(RemovalTest, UnusualLayoutsRepeatedClicksAndUnreadableFilesAreUndoneOrLeftAsTheyShouldBe) {
  const std::string driver = std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys";
  const std::string ewfLoader = Contents(std::string(kSourceFolder) + "ewfntldr");
  struct Case {
    const char* What;
    std::function<void(FaultMachine&)> Before;  // Install
    std::function<void(FaultMachine&)> After;   // Install, before Remove
    std::string Ntldr;                          // where the loader must be, and what it must hold
    std::string Loader;
    std::string Said;
  };
  const std::vector<Case> cases = {
      {"Windows started from E:",
       [](FaultMachine& m) {
         m.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                                  Sz("\\Device\\HarddiskVolume2"));
         m.Os.SetDosDevice("E:", "\\Device\\HarddiskVolume2");
         m.Os.Files().AddFile("E:\\ntldr", OriginalBootLoader());
       },
       nullptr, "E:\\ntldr", OriginalBootLoader(),
       "EWF support was removed.\r\rThese steps were done:\rThe write filter was taken out"},
      {"the filter list's flush failing", nullptr,
       [](FaultMachine& m) {
         m.Os.FailCallsContaining("RegFlushKey(HKLM\\" + std::string(kClassKey), ERROR_ACCESS_DENIED);
       },
       "C:\\ntldr", ewfLoader, "EWF support was not removed."},
      {"a locked backup", nullptr,
       [](FaultMachine& m) { m.Os.FailCallsContaining("CreateFileA(C:\\ntldr.bak,", ERROR_SHARING_VIOLATION); },
       "C:\\ntldr", ewfLoader, "Reading C:\\ntldr.bak failed, so it was left as it is.  Error 32"},
      {"no ntldr before Install", [](FaultMachine& m) { m.Os.Files().Remove("C:\\ntldr"); }, nullptr, "C:\\ntldr",
       ewfLoader, "because there was no boot loader there before EWF support was installed."},
      {"without a record, a backup that is not a loader", nullptr,
       [](FaultMachine& m) {
         m.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane");
         m.Os.Files().AddFile("C:\\ntldr.bak.1", "not a boot loader");
       },
       "C:\\ntldr", OriginalBootLoader(), "The earlier boot loader was put back from C:\\ntldr.bak as C:\\ntldr."},
      {"without a record, a hidden, system, read-only ntldr",
       [](FaultMachine& m) {
         m.Os.Files().Find("C:\\ntldr")->Attributes =
             FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
       },
       [](FaultMachine& m) { m.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"); }, "C:\\ntldr",
       OriginalBootLoader(), "The earlier boot loader was put back"},
      {"Install clicked twice", nullptr, ClickInstall, "C:\\ntldr", OriginalBootLoader(), "EWF support was removed.\r"},
  };
  for (const Case& c : cases) {
    FaultMachine machine;
    StartUp(machine);
    if (c.Before) c.Before(machine);
    const FakeFile* ntldr = machine.Os.Files().Find(c.Ntldr);
    const DWORD attributes = ntldr ? ntldr->Attributes : 0;
    ClickInstall(machine);
    ASSERT_THAT(machine.Dialogs.Messages.back().Text, HasSubstr("successfully")) << c.What;
    ASSERT_EQ(machine.Os.Files().Find(c.Ntldr)->Contents, ewfLoader) << c.What;
    if (c.After) c.After(machine);
    machine.Dialogs = TRecordingDialogs();
    ClickRemove(machine);
    const std::string closing = machine.Dialogs.Messages.back().Text;
    ntldr = machine.Os.Files().Find(c.Ntldr);
    ASSERT_NE(ntldr, nullptr) << c.What;
    EXPECT_TRUE(ntldr->Contents == c.Loader) << c.What << ": " << closing;
    if (ntldr->Contents == OriginalBootLoader()) {
      EXPECT_EQ(ntldr->Attributes, attributes) << c.What;
    }
    EXPECT_THAT(closing, HasSubstr(c.Said)) << c.What;
    // The driver stays for as long as Ewf may be listed, and the record while anything is left.
    const bool left = closing.rfind("EWF support was removed.\r", 0) != 0;
    const bool recorded = std::string(c.What).rfind("without a record", 0) != 0;
    EXPECT_EQ(machine.Os.Files().Find(driver) != nullptr,
              !recorded || closing.rfind("EWF support was not removed.", 0) == 0)
        << c.What;
    EXPECT_EQ(machine.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"), left && recorded)
        << c.What << ": " << closing;
  }
}

// An ewf.sys in place that cannot be read is never registered as a boot-start filter.
TEST_F(RemovalTest, AnInstalledDriverThatCannotBeReadIsNotRegistered) {
  const std::string driver = std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys";
  Machine_.Os.Files().AddFile(driver, Contents(std::string(kSourceFolder) + "ewf.sys"));
  Machine_.Os.FailCallsContaining("CreateFileA(" + driver + ",", ERROR_SHARING_VIOLATION);
  ClickInstall(Machine_);
  EXPECT_FALSE(Machine_.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kServiceKey));
  EXPECT_THAT(Closing(), HasSubstr("Reading " + driver + " failed, so no registry entries were written."));
}

// A second Install killed right after it wrote its record, before its
// switch: the record still knows the loader the first one placed.
TEST_F(RemovalTest, ASecondInstallKilledAfterItsRecordLeavesARemovalThatPutsWindowsOwnLoaderBack) {
  const auto another = [](FaultMachine& m) {
    m.Os.Files().AddFile(std::string(kSourceFolder) + "ewfntldr", StandInBootLoader("another EWF boot loader"));
  };
  FaultMachine probe;
  StartUp(probe);
  ClickInstall(probe);
  another(probe);
  probe.Os.ClearCalls();
  ClickInstall(probe);
  const std::vector<std::string>& calls = probe.Os.Calls();
  const auto recorded = std::find(calls.begin(), calls.end(), "RegFlushKey(HKLM\\SOFTWARE\\Stillvane)");
  ASSERT_NE(recorded, calls.end());

  Install();
  another(Machine_);
  Machine_.Os.ClearCalls();
  Machine_.Os.StopProcessAtCall(static_cast<int>(recorded - calls.begin()) + 1, false);
  ClickInstall(Machine_);
  Machine_.StartAgain();
  StartUp(Machine_);
  ASSERT_EQ(Contents("C:\\ntldr"), StandInBootLoader("new boot loader")) << "the first Install's loader, not switched";
  Remove();
  EXPECT_EQ(Contents("C:\\ntldr"), OriginalBootLoader());
  EXPECT_EQ(Contents("C:\\ntldr.bak"), "<missing>");
  EXPECT_THAT(Closing(), HasSubstr("EWF support was removed.\r"));
}

// After a kill that left only staged copies and the record's empty key.
TEST_F(RemovalTest, WhatIsCleanedUpAfterAKilledInstallIsSaid) {
  Machine_.Os.Files().AddFile("C:\\ntldr.stillvane-new", "staged");
  Machine_.Os.Registry().CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane");
  Remove();
  EXPECT_EQ(Contents("C:\\ntldr.stillvane-new"), "<missing>");
  EXPECT_FALSE(Machine_.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"));
  EXPECT_THAT(Closing(), HasSubstr("C:\\ntldr.stillvane-new, left by an installation that was cut short, "
                                   "was deleted.\rThe registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane, left by an "
                                   "installation that was cut short, was deleted."));
  EXPECT_THAT(Closing(), Not(HasSubstr("nothing has been changed")));
}

}  // namespace
}  // namespace fault

namespace fault {
namespace {

// A backup an earlier installation names is looked at before a later one
// relies on it: gone, the later one keeps what it replaces itself.
TEST_F(RemovalTest, ASecondInstallReliesOnlyOnABackupThatIsThere) {
  const std::string first = Contents(std::string(kSourceFolder) + "ewfntldr");
  Install();
  Machine_.Os.Files().Remove("C:\\ntldr.bak");
  Machine_.Os.Files().AddFile(std::string(kSourceFolder) + "ewfntldr", StandInBootLoader("another EWF boot loader"));
  Install();
  EXPECT_EQ(Contents("C:\\ntldr.bak"), first);
  Remove();
  EXPECT_EQ(Contents("C:\\ntldr"), first);
}

// Windows took the device key over after Install: Remove takes it back to
// delete it, and finishes; refused the privilege, it says what failed.
TEST_F(RemovalTest, ADeviceKeyWindowsOwnsIsTakenOverSoThatTheRemovalFinishes) {
  const std::map<std::string, std::string> before = Entries();
  Install();
  WindowsOwnsDeviceKey(Machine_.Os);
  Machine_.Os.FailCall("AdjustTokenPrivileges", ERROR_ACCESS_DENIED, 1);
  Remove();
  EXPECT_THAT(Closing(), HasSubstr("EWF support was not completely removed."));
  EXPECT_THAT(Closing(), HasSubstr("Taking ownership of the registry key HKEY_LOCAL_MACHINE\\" +
                                   std::string(kDeviceKeys[0]) + " failed.  Error 5"));
  EXPECT_THAT(Closing(), Not(HasSubstr("belonged to Windows")));
  for (const char* key : kDeviceKeys) EXPECT_EQ(Machine_.Os.Registry().Owner(HKEY_LOCAL_MACHINE, key), SystemSid());

  Remove();
  EXPECT_EQ(Entries(), before);
  EXPECT_THAT(Closing(), HasSubstr("EWF support was removed."));
  EXPECT_THAT(Closing(), HasSubstr("The registry key HKEY_LOCAL_MACHINE\\" + std::string(kDeviceKeys[0]) +
                                   " belonged to Windows, so Stillvane took ownership of it to delete it.\r"));
  EXPECT_FALSE(Machine_.Os.PrivilegeEnabled(SE_TAKE_OWNERSHIP_NAME));
  EXPECT_EQ(Machine_.Os.Registry().Security(HKEY_LOCAL_MACHINE, kRootKey), ProtectedSecurityDescriptor());
}

}  // namespace
}  // namespace fault
