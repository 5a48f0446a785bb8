// "Remove EWF Support" from end to end: reached from the system menu, it
// puts the machine back as it was before Install (files and the registry
// keys Install touches, other volume filters in their places), and after
// being killed while it copies the old boot loader back. It runs on the test
// build that supplies the blank descriptor, as Windows does.
#include <gtest/gtest.h>

#include <functional>

#include "e2e/answered_click.h"
#include "e2e/guide_steps.h"
#include "e2e/install_case.h"
#include "e2e/message_text.h"

// After windows.h, which the cases' headers bring.
#include <sddl.h>

namespace {

const char kBlankDescriptorExe[] = "STILLVANE_BLANK_DESCRIPTOR_EXE";
// A boot loader as the removal's check wants one before it puts it back:
// 64 KB to 640 KB, neither text nor a program.
const std::string kOriginalBootLoader = "original boot loader\r\n" + std::string(64 << 10, '\0');
const UINT kRemoveCommand = 0x0100;  // the main window's own system menu command

class RemovalTest : public TInstallCase {
 protected:
  // Starts the program on a machine with these volume filters and boot
  // loader (given its attributes); the machine as it was before Install.
  std::map<std::string, std::string> InstallOn(const std::vector<std::string>& filters, const std::string& bootLoader,
                                               DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    if (!StartBeforeInstall(filters, bootLoader, attributes)) return {};
    std::map<std::string, std::string> before = Snapshot();
    InstallAndExpectSuccess();
    return before;
  }

  // Files where Install puts them (bootstat.dat apart: Windows writes a new
  // one at every start), with their attributes, and the keys it touches.
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> state;
    for (const char* key : {kLegacyEwfKey, kEwfServiceKey, kVolumeClassKey, kInstallationRecordKey})
      for (const auto& [name, value] : DumpMachineKey(key)) state["reg " + name] = value;
    for (const std::string& folder : {SystemDriveRoot(), Drivers() + "\\", System32() + "\\"}) {
      for (const std::string& name : FilesIn(folder)) {
        const std::string path = folder + name;
        state["file " + path] = std::to_string(GetFileAttributesA(path.c_str())) + " #" +
                                std::to_string(std::hash<std::string>{}(ReadWholeFile(path)));
      }
    }
    state["Enum\\Root DACL"] = std::to_string(std::hash<std::string>{}([](const std::vector<BYTE>& dacl) {
      return std::string(dacl.begin(), dacl.end());
    }(ReadMachineKeyDacl(kEnumRootKey))));
    return state;
  }

  // Alt+Space opens the system menu, E chooses Remove EWF Support.
  void OpenRemovalFromTheSystemMenu() {
    PostMessageA(Main_, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    Sleep(300);
    TAppDriver::Screenshot(Main_, "removal_system_menu");
    TAppDriver::PressKeys(Main_, {'E'});
  }

  // Answers Yes to the question and OK to the closing message (a large boot
  // loader takes a while), and waits a little for anything after it.
  std::vector<ShownMessage> AnswerRemoval(bool asked = false) {
    std::vector<ShownMessage> shown;
    if (asked) shown.push_back({"Confirm", "Stillvane will remove EWF support from this computer"});
    for (DWORD waitMs = asked ? 60000 : 15000; auto next = AnswerNextWindow(*App_, Main_, waitMs);
         waitMs = shown.size() < 2 ? 60000 : 1500)
      shown.push_back(*next);
    return shown;
  }

  void ExpectRemoved(const std::vector<ShownMessage>& shown) {
    ASSERT_EQ(shown.size(), 2u) << Describe(shown);
    EXPECT_EQ(shown[0].Text.rfind("Stillvane will remove EWF support from this computer", 0), 0u) << shown[0].Text;
    EXPECT_EQ(shown[1].Caption, "Information") << shown[1].Text;
    EXPECT_EQ(shown[1].Text.rfind("EWF support was removed.", 0), 0u) << shown[1].Text;
    EXPECT_NE(shown[1].Text.find("Restart the computer now"), std::string::npos) << shown[1].Text;
  }
};

// The digest the record keeps of a file (its length and FNV-1a 64, in hex),
// worked out here on its own, as anyone who edits a record could.
std::string RecordDigest(const std::string& bytes) {
  unsigned long long hash = 14695981039346656037ull;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
  char text[40];
  snprintf(text, sizeof text, "%016llX-%016llX", static_cast<unsigned long long>(bytes.size()), hash);
  return text;
}

std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after) {
  std::string text;
  for (const auto& [name, value] : before)
    if (!after.count(name) || after.at(name) != value) text += "\n  changed or gone: " + name + " = " + value;
  for (const auto& [name, value] : after)
    if (!before.count(name)) text += "\n  new: " + name + " = " + value;
  return text;
}

// Other volume filters keep their places around Ewf's; the boot loader
// comes back read-only, hidden and system, as it was.
TEST_F(RemovalTest, FromTheSystemMenuInstallThenRemoveLeavesTheMachineAsBefore) {
  const std::map<std::string, std::string> before =
      InstallOn({"tdrpman", "VolSnap", "SnapFlt"}, kOriginalBootLoader,
                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(MachineKeyExists(kInstallationRecordKey));

  OpenRemovalFromTheSystemMenu();
  ExpectRemoved(AnswerRemoval());
  EXPECT_EQ(Differences(before, Snapshot()), "");
  EXPECT_EQ(ReadMachineValue(kVolumeClassKey, "UpperFilters").Data, MultiString({"tdrpman", "VolSnap", "SnapFlt"}));
  EXPECT_EQ(ReadWholeFile(Machine_.WindowsFolder + "\\bootstat.bak"), "boot status") << "documented as staying";
  SetFileAttributesA((SystemDriveRoot() + "ntldr").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// However the installation ended, Remove EWF Support undoes it: stopped by a
// value that could not be written (the first under Enum\Root, the service's
// Start), or killed once its files were placed and then installed again.
TEST_F(RemovalTest, AnInstallationThatFailedOrWasKilledIsUndoneAsBefore) {
  struct Case {
    const char* What;
    const char* Variable;  // for the fault library
    const char* Value;
    bool Killed;
  };
  for (const Case& c : {Case{"a failed write of Legacy", "STILLVANE_FAIL_VALUE", "Legacy", false},
                        Case{"a failed write of Start", "STILLVANE_FAIL_VALUE", "Start", false},
                        // Past the bracket, so that Enum\\Root keeps its own permissions.
                        Case{"killed once the files were placed", "STILLVANE_HANG_VALUE", "ErrorControl", true}}) {
    SCOPED_TRACE(c.What);
    WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
    Prepare("v2.0.927.0");
    WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
    WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", "boot status");
    const std::map<std::string, std::string> before = Snapshot();
    Launch(kBlankDescriptorExe, {{c.Variable, c.Value}});
    ASSERT_NE(Main_, nullptr);
    App_->LoadFaultLibrary();
    ClickInstall();
    if (c.Killed) {
      for (int wait = 0; wait < 200 && !MachineKeyExists(kEwfServiceKey); ++wait) Sleep(50);
      ASSERT_TRUE(MachineKeyExists(kEwfServiceKey)) << "the run never reached the service";
      Sleep(200);
      App_->Kill();
      Launch(kBlankDescriptorExe);
      ASSERT_NE(Main_, nullptr);
      InstallAndExpectSuccess();  // again, as the closing message of a failed run says
    } else {
      const std::optional<ShownMessage> report = AnswerNextWindow(*App_, Main_, 30000);
      ASSERT_TRUE(report);
      EXPECT_EQ(report->Text.find("Failed to set data for '" + std::string(c.Value) + "'"), 0u) << report->Text;
    }
    PostMessageA(Main_, WM_SYSCOMMAND, kRemoveCommand, 0);
    const std::vector<ShownMessage> shown = AnswerRemoval();
    ASSERT_EQ(shown.size(), 2u) << Describe(shown);
    EXPECT_EQ(shown[1].Text.rfind("EWF support was removed.", 0), 0u) << shown[1].Text;
    EXPECT_EQ(Differences(before, Snapshot()), "");
    App_.reset();
  }
}

// A record edited after Install, naming a text file, boot.ini or ntldr
// itself as the boot loader's backup: nothing outside the installation is
// touched, and ntldr is never anything but a boot loader. A backup that is
// not its entry's target's .bak[.N] makes the record unreadable.
TEST_F(RemovalTest, AnEditedRecordTouchesNothingOutsideTheInstallation) {
  InstallOn({"VolSnap"}, kOriginalBootLoader);
  const std::string root = SystemDriveRoot();
  const std::string text = "[boot loader]\r\ntimeout=30\r\n";
  const std::string ewfLoader = ReadWholeFile(root + "ntldr");
  for (const std::string& backup : {root + "ntldr.bak.7", root + "boot.ini", root + "ntldr"}) {
    SCOPED_TRACE(backup);
    const bool named = backup != root + "ntldr";
    if (named) WriteWholeFile(backup, text);
    const std::string before = named ? text : kOriginalBootLoader;
    const std::string record = "File=" + RecordDigest(ewfLoader) + " " + root + "ntldr" + std::string(1, '\0') +
                               "Before=" + RecordDigest(before) + std::string(1, '\0') + "Backup=" + backup +
                               std::string(1, '\0') + "BackupMade=1" + std::string(1, '\0') + "AddedVolSnap=0" +
                               std::string(2, '\0');
    WriteMachineValue(kInstallationRecordKey, "Installation", REG_MULTI_SZ,
                      std::vector<BYTE>(record.begin(), record.end()));
    PostMessageA(Main_, WM_SYSCOMMAND, kRemoveCommand, 0);
    const std::vector<ShownMessage> shown = AnswerRemoval();
    ASSERT_FALSE(shown.empty());
    const bool readable = backup == root + "ntldr.bak.7";
    EXPECT_NE(shown.back().Text.find(readable ? "Left as it was:" : "could not be read"), std::string::npos)
        << shown.back().Text;
    if (named) {
      EXPECT_EQ(ReadWholeFile(backup), text);
    }
    EXPECT_EQ(ReadWholeFile(root + "ntldr"), ewfLoader);
    // Installed again for the next record (an unreadable one changed nothing).
    if (readable) InstallAndExpectSuccess();
  }
}

// A record key made beforehand with Everyone's full control: after Install
// only the System account and administrators have access to it.
TEST_F(RemovalTest, ARecordKeyMadeBeforehandIsAdministratorsOnlyAfterInstall) {
  if (!StartBeforeInstall({"VolSnap"}, kOriginalBootLoader, FILE_ATTRIBUTE_NORMAL)) return;
  const auto dacl = [] {
    const std::vector<BYTE> descriptor = ReadMachineKeyDacl(kInstallationRecordKey);
    char* text = nullptr;
    if (descriptor.empty() ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(const_cast<BYTE*>(descriptor.data()), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
      return std::string("<unreadable>");
    }
    const std::string sddl = text;
    LocalFree(text);
    return sddl;
  };
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallationRecordKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, open), ERROR_SUCCESS);
  LocalFree(open);
  RegCloseKey(key);
  ASSERT_NE(dacl().find(";WD)"), std::string::npos) << dacl();

  InstallAndExpectSuccess();
  const std::string after = dacl();
  EXPECT_EQ(after.find(";WD)"), std::string::npos) << after;
  EXPECT_NE(after.find(";SY)"), std::string::npos) << after;
  EXPECT_NE(after.find(";BA)"), std::string::npos) << after;
}

// Two installations with different boot loaders: Windows' own comes back.
TEST_F(RemovalTest, TwoInstallationsWithDifferentLoadersPutWindowsOwnLoaderBack) {
  const std::map<std::string, std::string> before = InstallOn({"VolSnap"}, kOriginalBootLoader);
  std::string another = ReadWholeFile(Machine_.ProgramFolder + "\\ewfntldr");
  another.replace(0, 7, "another");
  WriteWholeFile(Machine_.ProgramFolder + "\\ewfntldr", another);
  InstallAndExpectSuccess();
  ASSERT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), another);

  PostMessageA(Main_, WM_SYSCOMMAND, kRemoveCommand, 0);
  ExpectRemoved(AnswerRemoval());
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), kOriginalBootLoader);
  EXPECT_EQ(Differences(before, Snapshot()), "");
}

TEST_F(RemovalTest, KilledWhileTheOldBootLoaderIsCopiedBackThenRunAgain) {
  // 640 KB, the largest loader the removal puts back; the kill lands while
  // its copy is staged, or just after it went live.
  std::string large(640 << 10, '\0');
  for (size_t i = 0; i < large.size(); i += 4096) large.replace(i, 12, "boot loader ");
  const std::map<std::string, std::string> before = InstallOn({"VolSnap"}, large);

  PostMessageA(Main_, WM_SYSCOMMAND, kRemoveCommand, 0);
  ASSERT_TRUE(AnswerNextWindow(*App_, Main_, 15000)) << "no question";
  const std::string copy = SystemDriveRoot() + "ntldr.stillvane-new";
  bool seen = false;
  for (int waited = 0; waited < 30000 && !seen; ++waited) {
    seen = FileExists(copy);
    if (!seen) Sleep(1);
  }
  ASSERT_TRUE(seen) << "the copy never began";
  App_->Kill();
  const std::string ntldr = ReadWholeFile(SystemDriveRoot() + "ntldr");
  EXPECT_TRUE(ntldr == ReadWholeFile(FixtureFile("v2.0.927.0", "ewfntldr")) || ntldr == large)
      << "ntldr is whole: EWF's or the old one";

  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);
  PostMessageA(Main_, WM_SYSCOMMAND, kRemoveCommand, 0);
  const std::vector<ShownMessage> shown = AnswerRemoval();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back().Text.rfind("EWF support was removed.", 0), 0u) << shown.back().Text;
  EXPECT_EQ(Differences(before, Snapshot()), "");
  EXPECT_TRUE(ReadWholeFile(SystemDriveRoot() + "ntldr") == large);
}

// The recovery card followed step by step on what Install left: the backup,
// the driver files and the record the guide names are there as named, the
// loader keeps its attributes, both Recovery Console branches, as the card
// types them (and the guide, with the same commands), put a loader back in
// place of ewfntldr, and Remove EWF Support then does what the guide says it
// does.
TEST_F(RemovalTest, TheGuidesRecoveryStepsWorkOnWhatInstallLeft) {
  const DWORD asNtldr = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  InstallOn({"VolSnap"}, kOriginalBootLoader, asNtldr);
  const std::string guide = ReadGuide();
  const std::string ntldr = SystemDriveRoot() + "ntldr";
  const std::string ewfLoader = ReadWholeFile(FixtureFile("v2.0.927.0", "ewfntldr"));
  for (const char* named : {"ntldr.bak", "system32\\drivers\\ewf.sys", "system32\\ewfmgr.exe", "bootstat.bak",
                            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane", "attrib -r ntldr"})
    EXPECT_NE(guide.find(named), std::string::npos) << named;
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.bak"), kOriginalBootLoader);
  EXPECT_TRUE(FileExists(Drivers() + "\\ewf.sys"));
  EXPECT_TRUE(FileExists(System32() + "\\ewfmgr.exe"));
  EXPECT_TRUE(FileExists(Machine_.WindowsFolder + "\\bootstat.bak"));
  EXPECT_TRUE(ReadMachineValue(kInstallationRecordKey, "Installation").Present);
  EXPECT_EQ(GetFileAttributesA(ntldr.c_str()) & asNtldr, asNtldr);

  const std::string card = ReadRecoveryCard();
  const std::vector<std::vector<std::string>> blocks =
      GuideCommandBlocks(card, card.substr(0, card.find_first_of("\r\n")));
  ASSERT_EQ(blocks.size(), 5u) << "the listing, ewfntldr kept aside, the backup or the CD's loader, the attributes";
  EXPECT_EQ(GuideCommandBlocks(guide, "IF WINDOWS DOES NOT START"), blocks) << "the guide types what the card does";
  const std::string cd = ScratchFolder("windows_xp_cd");
  ASSERT_TRUE(CreateDirectoryA((cd + "\\i386").c_str(), nullptr));
  WriteWholeFile(cd + "\\i386\\ntldr", "Windows' loader from the CD");
  TCommandPrompt console({{'c', SystemDriveRoot()}, {'d', cd + "\\"}});

  // With the backup Install made.
  for (const std::vector<std::string>* block : {&blocks[0], &blocks[1], &blocks[2], &blocks[4]})
    EXPECT_EQ(console.Run(*block), std::vector<std::string>{}) << block->front();
  EXPECT_EQ(ReadWholeFile(ntldr), kOriginalBootLoader);
  EXPECT_EQ(GetFileAttributesA(ntldr.c_str()) & asNtldr, asNtldr);
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.ewf"), ewfLoader);

  // Without a backup, from ewfntldr in place again as Install left it: the loader from the CD.
  SetFileAttributesA(ntldr.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(DeleteFileA(ntldr.c_str()));
  ASSERT_TRUE(MoveFileA((SystemDriveRoot() + "ntldr.ewf").c_str(), ntldr.c_str()));
  SetFileAttributesA(ntldr.c_str(), asNtldr);
  for (const std::vector<std::string>* block : {&blocks[0], &blocks[1], &blocks[3], &blocks[4]})
    EXPECT_EQ(console.Run(*block), std::vector<std::string>{}) << block->front();
  EXPECT_EQ(ReadWholeFile(ntldr), "Windows' loader from the CD");
  EXPECT_EQ(GetFileAttributesA(ntldr.c_str()) & asNtldr, asNtldr);
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.ewf"), ewfLoader);

  // Then Remove EWF Support takes the rest and leaves ntldr as it is now.
  OpenRemovalFromTheSystemMenu();
  const std::vector<ShownMessage> shown = AnswerRemoval();
  ASSERT_EQ(shown.size(), 2u) << Describe(shown);
  EXPECT_EQ(shown[1].Text.rfind("EWF support was removed, except for what is listed as left as it was.", 0), 0u)
      << shown[1].Text;
  EXPECT_NE(shown[1].Text.find("ntldr was left as it is, because it has changed since EWF support was installed."),
            std::string::npos)
      << shown[1].Text;
  EXPECT_EQ(ReadWholeFile(ntldr), "Windows' loader from the CD");
  EXPECT_FALSE(FileExists(Drivers() + "\\ewf.sys"));
  EXPECT_FALSE(FileExists(System32() + "\\ewfmgr.exe"));
  EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
  // Kept while ntldr, which it names, is left as it is.
  EXPECT_TRUE(MachineKeyExists(kInstallationRecordKey));
  EXPECT_TRUE(FileExists(SystemDriveRoot() + "ntldr.ewf"));
  EXPECT_TRUE(FileExists(SystemDriveRoot() + "ntldr.bak"));
  SetFileAttributesA(ntldr.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

namespace {

// Once the driver has loaded, Windows owns its device key and gives
// administrators only read access. Remove takes it over to delete it and
// finishes; Install over such a key takes it over, writes it and gives it
// back, and a second Remove finishes too.
TEST_F(RemovalTest, ADeviceKeyWindowsOwnsIsRemovedAndInstalledOver) {
  const std::map<std::string, std::string> before = InstallOn({"VolSnap"}, kOriginalBootLoader);
  GiveMachineKeyToWindows(kLegacyEwfKey);
  OpenRemovalFromTheSystemMenu();
  const std::vector<ShownMessage> removed = AnswerRemoval();
  ExpectRemoved(removed);
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_NE(removed[1].Text.find("LEGACY_EWF belonged to Windows, so Stillvane took ownership of it to delete it."),
            std::string::npos)
      << removed[1].Text;
  EXPECT_EQ(Differences(before, Snapshot()), "");

  // Install's closing message, as "caption: text".
  const auto install = [this] {
    ClickInstall();
    const std::optional<ShownMessage> shown = AnswerNextWindow(*App_, Main_, 30000);
    return shown ? shown->Caption + ": " + shown->Text : std::string("nothing shown");
  };
  const std::string fresh = install();
  EXPECT_EQ(fresh.rfind("Information: EWF installation completed successfully.", 0), 0u) << fresh;
  GiveMachineKeyToWindows(kLegacyEwfKey);
  const std::string over = install();
  EXPECT_EQ(over.rfind("Information: EWF installation completed successfully.", 0), 0u) << over;
  EXPECT_NE(over.find("LEGACY_EWF belonged to Windows, so Stillvane took ownership of it to write it, then gave it "
                      "back its owner and permissions."),
            std::string::npos)
      << over;

  OpenRemovalFromTheSystemMenu();
  ExpectRemoved(AnswerRemoval());
  EXPECT_EQ(Differences(before, Snapshot()), "");
}

}  // namespace
