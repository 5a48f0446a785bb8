// The version reader and the driver file checks on real files through the
// real version.dll: the stand-in driver files our build makes, and files
// that are broken or unreadable in the ways a user's copy can be.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "install/driver_checks.h"
#include "services/files.h"
#include "services/version_info.h"
#include "services/win32_os.h"
#include "support/recording_dialogs.h"

namespace {

// STILLVANE_FIXTURES is a Unix path; Wine maps the Unix root to Z:.
std::string FixturesFolder() {
  const char* value = std::getenv("STILLVANE_FIXTURES");
  if (value == nullptr || *value == '\0') return std::string();
  std::string path(value);
  if (path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  return path + "\\";
}

bool operator==(const FileVersionParts& a, const FileVersionParts& b) {
  return a.Major == b.Major && a.Minor == b.Minor && a.Release == b.Release && a.Build == b.Build;
}

std::vector<BYTE> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const BYTE* data, size_t length) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
}

struct ResourceSection {
  size_t FileOffset;
  size_t DataSize;
};

// Where the .rsrc section's data lie in a PE file; zero when there is none.
ResourceSection FindResourceSection(const std::vector<BYTE>& image) {
  auto dword = [&](size_t at) -> size_t {
    return at + 4 <= image.size() ? *reinterpret_cast<const DWORD*>(&image[at]) : 0;
  };
  auto word = [&](size_t at) -> size_t {
    return at + 2 <= image.size() ? *reinterpret_cast<const WORD*>(&image[at]) : 0;
  };
  const size_t pe = dword(0x3C);
  const size_t sections = pe + 24 + word(pe + 20);
  for (size_t i = 0; i < word(pe + 6); ++i) {
    const size_t header = sections + i * 40;
    if (header + 40 <= image.size() && std::memcmp(&image[header], ".rsrc", 6) == 0) {
      return {dword(header + 20), dword(header + 8)};
    }
  }
  return {0, 0};
}

bool IsZero(const TFixedFileInfo& info) {
  const TFixedFileInfo zero{};
  return std::memcmp(&info, &zero, sizeof zero) == 0;
}
class VersionInfoOnRealFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fixtures_ = FixturesFolder();
    ASSERT_FALSE(Fixtures_.empty()) << "STILLVANE_FIXTURES is not set";
    ASSERT_TRUE(FileIsPresent(Os_, Fixtures_ + "v2.0.927.0\\ewf.sys")) << Fixtures_;
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    Scratch_ = std::string(temp) + "stillvane-version-" + std::to_string(GetCurrentProcessId()) + "\\";
    ASSERT_TRUE(CreateDirectoryA(Scratch_.c_str(), nullptr));
  }
  void TearDown() override {
    if (Scratch_.empty()) return;
    const std::string command = "cmd /c rd /s /q \"" + Scratch_ + "\" 2>nul";
    std::system(command.c_str());
  }

  TWin32Os Os_;
  std::string Fixtures_;
  std::string Scratch_;
};

TEST_F(VersionInfoOnRealFilesTest, ReadsTheVersionOfEveryStandIn) {
  const FileVersionParts versions[] = {
      {2, 0, 927, 0}, {2, 0, 926, 9999}, {2, 1, 0, 0}, {3, 0, 0, 0}, {1, 65535, 65535, 65535}};
  TVersionInfo reader(Os_);
  for (const FileVersionParts& version : versions) {
    for (const char* name : {"ewf.sys", "ewfmgr.exe"}) {
      const std::string path = Fixtures_ + "v" + FormatFileVersion(version) + "\\" + name;
      reader.SelectTranslation(-1);
      reader.SetFileName(path);
      ASSERT_TRUE(reader.HasVersionData()) << path;
      EXPECT_TRUE(reader.GetFileVersion() == version) << path << ": " << FormatFileVersion(reader.GetFileVersion());
      EXPECT_EQ(reader.FixedInfo().dwSignature, 0xFEEF04BDu) << path;
      EXPECT_EQ(reader.FixedInfo().dwFileOS, 0x40004u) << path;
      EXPECT_EQ(reader.TranslationCount(), 1) << path;
      EXPECT_EQ(reader.TranslationIndex(), 0) << path;
      EXPECT_EQ(reader.TranslationBuffer(), (std::vector<BYTE>{0x09, 0x04, 0xB0, 0x04})) << path;
    }
  }
}

TEST_F(VersionInfoOnRealFilesTest, AnEmptyNameReadsTheRunningProgram) {
  char self[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  TVersionInfo reader(Os_);
  EXPECT_EQ(reader.FileName(), self);
  reader.SetFileName(Fixtures_ + "v3.0.0.0\\ewf.sys");
  reader.SetFileName("");
  EXPECT_EQ(reader.FileName(), self);
}

TEST_F(VersionInfoOnRealFilesTest, FilesWithoutAVersionResourceReadAsNone) {
  TVersionInfo reader(Os_);
  reader.SetFileName(Fixtures_ + "v2.1.0.0\\ewf.sys");
  ASSERT_TRUE(reader.HasVersionData());
  const std::vector<BYTE> kept = reader.TranslationBuffer();
  reader.SelectTranslation(7);
  for (const char* name : {"noversion\\ewf.sys", "noversion\\ewfmgr.exe", "v2.0.927.0\\ewfntldr", "nowhere\\ewf.sys"}) {
    reader.SetFileName(Fixtures_ + name);
    EXPECT_FALSE(reader.HasVersionData()) << name;
    EXPECT_TRUE(IsZero(reader.FixedInfo())) << name;
    EXPECT_EQ(reader.TranslationCount(), 0) << name;
    EXPECT_EQ(reader.TranslationIndex(), -1) << name << ": a failed read leaves the selection";
    EXPECT_EQ(reader.TranslationBuffer(), kept) << name;
  }
}

// Each hostile/<case>/ewf.sys has a version resource that is odd or damaged.
TEST_F(VersionInfoOnRealFilesTest, OddOrDamagedResourcesGiveWhatTheyCanAndNoMore) {
  TVersionInfo reader(Os_);
  const FileVersionParts expected{2, 0, 927, 0};

  reader.SetFileName(Fixtures_ + "hostile\\no-translation\\ewf.sys");
  ASSERT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(reader.GetFileVersion() == expected);
  EXPECT_EQ(reader.TranslationCount(), 0);
  EXPECT_EQ(reader.TranslationIndex(), -1);
  EXPECT_TRUE(reader.TranslationBuffer().empty());

  reader.SetFileName(Fixtures_ + "hostile\\empty-translation\\ewf.sys");
  ASSERT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(reader.GetFileVersion() == expected);
  EXPECT_EQ(reader.TranslationCount(), 0);
  EXPECT_EQ(reader.TranslationIndex(), -1);

  reader.SetFileName(Fixtures_ + "hostile\\no-fixed-info\\ewf.sys");
  ASSERT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 1);
  EXPECT_EQ(reader.TranslationIndex(), 0);

  // The table claims far more bytes than the resource holds.
  reader.SetFileName(Fixtures_ + "hostile\\long-translation\\ewf.sys");
  ASSERT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(reader.GetFileVersion() == expected);
  EXPECT_EQ(reader.TranslationCount(), 0);
  EXPECT_TRUE(reader.TranslationBuffer().empty());

  // Text in place of a version block: whatever version.dll points at lies
  // outside the data it returned, so nothing is taken from it.
  reader.SetFileName(Fixtures_ + "hostile\\not-version-data\\ewf.sys");
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 0);

  reader.SetFileName(Fixtures_ + "hostile\\overrun-root\\ewf.sys");
  ASSERT_TRUE(reader.HasVersionData());
  EXPECT_LE(reader.TranslationBuffer().size(), reader.VersionBuffer().size());
  EXPECT_LE(static_cast<size_t>(reader.TranslationCount()) * 4, reader.TranslationBuffer().size());
}

TEST_F(VersionInfoOnRealFilesTest, BrokenCopiesOfTheDriverReadAsNoVersion) {
  const std::vector<BYTE> good = ReadBytes(Fixtures_ + "v2.0.927.0\\ewf.sys");
  ASSERT_GT(good.size(), 1024u);
  TVersionInfo reader(Os_);

  const std::string empty = Scratch_ + "empty.sys";
  WriteBytes(empty, good.data(), 0);
  ASSERT_TRUE(FileIsPresent(Os_, empty));
  reader.SetFileName(empty);
  EXPECT_FALSE(reader.HasVersionData());

  // Cut inside the headers, after them, inside the resource directory, and
  // halfway through the resource data.
  const ResourceSection rsrc = FindResourceSection(good);
  ASSERT_GT(rsrc.DataSize, 64u);
  for (size_t length : {size_t{64}, size_t{512}, rsrc.FileOffset + 32, rsrc.FileOffset + rsrc.DataSize / 2}) {
    const std::string cut = Scratch_ + "cut" + std::to_string(length) + ".sys";
    WriteBytes(cut, good.data(), length);
    reader.SetFileName(cut);
    EXPECT_FALSE(reader.HasVersionData()) << "cut at " << length;
    EXPECT_TRUE(IsZero(reader.FixedInfo())) << "cut at " << length;
  }

  // Missing only the last bytes of its translation table, the file may still
  // be read (Wine does); what is read must then be the true version.
  const std::string tail = Scratch_ + "tail.sys";
  WriteBytes(tail, good.data(), rsrc.FileOffset + rsrc.DataSize - 8);
  reader.SetFileName(tail);
  if (reader.HasVersionData()) {
    EXPECT_TRUE(reader.GetFileVersion() == FileVersionParts({2, 0, 927, 0}));
  }
}

TEST_F(VersionInfoOnRealFilesTest, ADirectoryNamedLikeTheDriverIsMissingAndHasNoVersion) {
  const std::string folder = Scratch_ + "dir\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((folder + "ewf.sys").c_str(), nullptr));
  ASSERT_TRUE(CopyFileA((Fixtures_ + "v2.0.927.0\\ewfmgr.exe").c_str(), (folder + "ewfmgr.exe").c_str(), TRUE));
  ASSERT_TRUE(CopyFileA((Fixtures_ + "v2.0.927.0\\ewfntldr").c_str(), (folder + "ewfntldr").c_str(), TRUE));

  EXPECT_FALSE(CheckDriverFilesPresent(Os_, folder));
  TVersionInfo reader(Os_);
  reader.SetFileName(folder + "ewf.sys");
  EXPECT_FALSE(reader.HasVersionData());

  TRecordingDialogs dialogs;
  dialogs.QueueAnswer(DialogResult::Yes);
  EXPECT_FALSE(RunDriverFileChecks({Os_, dialogs, reader, folder}));
  EXPECT_EQ(dialogs.MissingFilesDialogs, 1);
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(VersionInfoOnRealFilesTest, ADriverHeldOpenWithoutSharingIsPresentButHasNoVersion) {
  const std::string locked = Scratch_ + "ewf.sys";
  ASSERT_TRUE(CopyFileA((Fixtures_ + "v2.0.927.0\\ewf.sys").c_str(), locked.c_str(), TRUE));
  const HANDLE holder =
      CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  EXPECT_TRUE(FileIsPresent(Os_, locked));
  TVersionInfo reader(Os_);
  reader.SetFileName(locked);
  EXPECT_FALSE(reader.HasVersionData());
  TRecordingDialogs dialogs;
  dialogs.QueueAnswer(DialogResult::Yes);
  EXPECT_FALSE(CheckDriverFileVersions(dialogs, reader, Scratch_));
  EXPECT_TRUE(dialogs.Messages.empty());

  CloseHandle(holder);
  reader.SetFileName(locked);
  EXPECT_TRUE(reader.HasVersionData()) << "readable again once released";
}

// The whole gate on real files: an old driver is warned about with the
// versions read from it, and a refusal stops before the manager is read.
TEST_F(VersionInfoOnRealFilesTest, TheGateReadsRealVersions) {
  TVersionInfo reader(Os_);
  TRecordingDialogs quiet;
  EXPECT_TRUE(RunDriverFileChecks({Os_, quiet, reader, Fixtures_ + "v2.0.927.0\\"}));
  EXPECT_TRUE(quiet.Messages.empty());
  EXPECT_EQ(reader.FileName(), Fixtures_ + "v2.0.927.0\\ewfmgr.exe");

  TRecordingDialogs refusing;
  refusing.QueueAnswer(DialogResult::No);
  EXPECT_FALSE(RunDriverFileChecks({Os_, refusing, reader, Fixtures_ + "v2.0.926.9999\\"}));
  ASSERT_EQ(refusing.Messages.size(), 1u);
  EXPECT_NE(refusing.Messages[0].Text.find("\"ewf.sys\""), std::string::npos);
  EXPECT_NE(refusing.Messages[0].Text.find("\rVersion found: 2.0.926.9999\rMinimum version required: 2.0.927.0\r"),
            std::string::npos);
  EXPECT_EQ(reader.FileName(), Fixtures_ + "v2.0.926.9999\\ewf.sys");

  TRecordingDialogs silent;
  silent.QueueAnswer(DialogResult::Yes);
  EXPECT_FALSE(RunDriverFileChecks({Os_, silent, reader, Fixtures_ + "noversion\\"}));
  EXPECT_TRUE(silent.Messages.empty());
  EXPECT_EQ(silent.MissingFilesDialogs, 0);
}

}  // namespace
