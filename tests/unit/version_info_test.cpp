// The version reader against TFakeOs: what it reads, through which calls, and
// what it keeps when a file has no readable or a damaged version resource.
#include "services/version_info.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/fake_os.h"
#include "support/version_resource_builder.h"

namespace {

const char kDriver[] = "C:\\Drivers\\ewf.sys";

std::string Parts(const FileVersionParts& v) {
  return std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." + std::to_string(v.Release) + "." +
         std::to_string(v.Build);
}

bool IsZero(const TFixedFileInfo& info) {
  const TFixedFileInfo zero{};
  return std::memcmp(&info, &zero, sizeof zero) == 0;
}

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
  return std::vector<BYTE>(values.begin(), values.end());
}

class VersionInfoTest : public ::testing::Test {
 protected:
  void Place(const std::string& path, const VersionResourceLayout& resource) {
    Os_.Files().AddFile(path, "MZ").VersionResource = BuildVersionResource(resource);
  }
  void Place(const std::string& path, const FileVersionParts& version) {
    Os_.Files().AddFile(path, "MZ").VersionResource = BuildVersionResource(version);
  }
  static VersionResourceLayout WithTranslations(std::vector<DWORD> translations) {
    VersionResourceLayout resource;
    resource.Translations = std::move(translations);
    return resource;
  }

  TFakeOs Os_;
};

TEST_F(VersionInfoTest, CreationReadsTheRunningProgram) {
  Os_.SetModulePath("D:\\Tools\\Stillvane.exe");
  Place("D:\\Tools\\Stillvane.exe", FileVersionParts{1, 0, 0, 0});

  TVersionInfo reader(Os_);
  EXPECT_EQ(reader.FileName(), "D:\\Tools\\Stillvane.exe");
  ASSERT_TRUE(reader.HasVersionData());
  EXPECT_EQ(Parts(reader.GetFileVersion()), "1.0.0.0");

  reader.SetFileName(kDriver);
  reader.SetFileName("");
  EXPECT_EQ(reader.FileName(), "D:\\Tools\\Stillvane.exe");
  EXPECT_TRUE(reader.HasVersionData());
}

TEST_F(VersionInfoTest, ReadsTheFixedInfoAndTheTranslationTableThroughTheVersionCalls) {
  Place(kDriver, WithTranslations({0x04E40809}));
  TVersionInfo reader(Os_);
  Os_.ClearCalls();

  reader.SetFileName(kDriver);

  ASSERT_TRUE(reader.HasVersionData());
  const FileVersionParts v = reader.GetFileVersion();
  EXPECT_EQ(v.Major, 2);
  EXPECT_EQ(v.Minor, 0);
  EXPECT_EQ(v.Release, 927);
  EXPECT_EQ(v.Build, 0);
  const TFixedFileInfo expected = StandInFixedInfo({2, 0, 927, 0});
  EXPECT_EQ(std::memcmp(&reader.FixedInfo(), &expected, sizeof expected), 0) << "all 52 bytes are copied";
  EXPECT_EQ(reader.TranslationCount(), 1);
  EXPECT_EQ(reader.TranslationIndex(), 0);
  EXPECT_EQ(reader.TranslationBuffer(), Bytes({0x09, 0x08, 0xE4, 0x04}));

  const std::vector<BYTE> resource = BuildVersionResource(WithTranslations({0x04E40809}));
  const std::string size = std::to_string(resource.size() * 2 + 4);
  EXPECT_EQ(reader.VersionBuffer().size(), resource.size() * 2 + 4);
  EXPECT_TRUE(std::equal(resource.begin(), resource.end(), reader.VersionBuffer().begin()));
  EXPECT_EQ(Os_.Calls(), (std::vector<std::string>{
                             "GetFileVersionInfoSizeA(C:\\Drivers\\ewf.sys)",
                             "GetFileVersionInfoA(C:\\Drivers\\ewf.sys, 0, " + size + ")",
                             "VerQueryValueA(\\)",
                             "VerQueryValueA(\\VarFileInfo\\Translation)",
                         }));
}

TEST_F(VersionInfoTest, EveryAssignmentReadsAgainEvenOfTheSameName) {
  Place(kDriver, FileVersionParts{2, 0, 926, 9999});
  TVersionInfo reader(Os_);
  reader.SetFileName(kDriver);
  EXPECT_EQ(Parts(reader.GetFileVersion()), "2.0.926.9999");

  Os_.Files().Find(kDriver)->VersionResource = BuildVersionResource(FileVersionParts{3, 0, 0, 0});
  Os_.ClearCalls();
  reader.SetFileName(kDriver);
  EXPECT_EQ(Parts(reader.GetFileVersion()), "3.0.0.0");
  EXPECT_EQ(Os_.CallsNamed("GetFileVersionInfoSizeA").size(), 1u);
}

// Assigning the name goes through the two virtual operations, reset first.
TEST_F(VersionInfoTest, AssigningTheNameCallsResetThenLoadThroughTheVirtualTable) {
  struct Observed : TVersionInfo {
    using TVersionInfo::TVersionInfo;
    void ResetVersionData() override {
      Steps.push_back(std::string("reset, data ") + (HasVersionData() ? "yes" : "no"));
      TVersionInfo::ResetVersionData();
    }
    void LoadVersionData() override {
      Steps.push_back(std::string("load, data ") + (HasVersionData() ? "yes" : "no"));
      TVersionInfo::LoadVersionData();
    }
    std::vector<std::string> Steps;
  };
  Place(kDriver, FileVersionParts{2, 0, 927, 0});
  Observed reader(Os_);
  reader.SetFileName(kDriver);
  reader.SetFileName(kDriver);
  EXPECT_EQ(reader.Steps,
            (std::vector<std::string>{"reset, data no", "load, data no", "reset, data yes", "load, data no"}));
}

TEST_F(VersionInfoTest, AFileWithoutAResourceKeepsTheBuffersAndTheSelection) {
  Place(kDriver, WithTranslations({0x04E40809, 0x04B00409}));
  Os_.Files().AddFile("C:\\Drivers\\ewfntldr", "stand-in boot loader");
  TVersionInfo reader(Os_);
  reader.SetFileName(kDriver);
  reader.SelectTranslation(1);
  ASSERT_EQ(reader.TranslationIndex(), 1);
  const std::vector<BYTE> versionBuffer = reader.VersionBuffer();
  const std::vector<BYTE> translationBuffer = reader.TranslationBuffer();
  Os_.ClearCalls();

  for (const char* path : {"C:\\Drivers\\ewfntldr", "C:\\Drivers\\missing.sys", "C:\\Drivers"}) {
    reader.SetFileName(path);
    EXPECT_FALSE(reader.HasVersionData()) << path;
    EXPECT_TRUE(IsZero(reader.FixedInfo())) << path;
    EXPECT_EQ(Parts(reader.GetFileVersion()), "0.0.0.0") << path;
    EXPECT_EQ(reader.TranslationCount(), 0) << path;
    EXPECT_EQ(reader.TranslationIndex(), 1) << path;
    EXPECT_EQ(reader.VersionBuffer(), versionBuffer) << path;
    EXPECT_EQ(reader.TranslationBuffer(), translationBuffer) << path;
  }
  EXPECT_EQ(Os_.Calls().size(), 3u) << "only GetFileVersionInfoSizeA, once per file";
}

TEST_F(VersionInfoTest, AFailedReadAfterTheSizeLeavesNoDataButANewBuffer) {
  Place(kDriver, WithTranslations({0x04E40809, 0x04B00409}));
  VersionResourceLayout small = WithTranslations({});
  small.StringFileInfo = false;
  Place("C:\\Drivers\\ewfmgr.exe", small);
  TVersionInfo reader(Os_);
  reader.SetFileName(kDriver);
  reader.SelectTranslation(1);
  const std::vector<BYTE> translationBuffer = reader.TranslationBuffer();

  Os_.ClearCalls();
  Os_.FailCall("GetFileVersionInfoA", ERROR_ACCESS_DENIED);
  reader.SetFileName("C:\\Drivers\\ewfmgr.exe");
  EXPECT_FALSE(reader.HasVersionData());
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 0);
  EXPECT_EQ(reader.TranslationIndex(), 1);
  EXPECT_EQ(reader.TranslationBuffer(), translationBuffer);
  EXPECT_EQ(reader.VersionBuffer().size(), BuildVersionResource(small).size() * 2 + 4);
  EXPECT_TRUE(Os_.CallsNamed("VerQueryValueA").empty());
}

TEST_F(VersionInfoTest, TranslationTablesOfEverySize) {
  struct Case {
    VersionResourceLayout Resource;
    int Count;
    int Index;
    size_t Bytes;
  };
  VersionResourceLayout none;
  none.VarFileInfo = false;
  VersionResourceLayout sixBytes = WithTranslations({0x04E40809, 0x04B00409});
  sixBytes.TranslationValueLength = 6;
  const Case cases[] = {
      {WithTranslations({0x04E40809}), 1, 0, 4},
      {WithTranslations({}), 0, -1, 0},
      {none, 0, -1, 0},
      {WithTranslations({1, 2, 3}), 3, 0, 12},
      {sixBytes, 1, 0, 6},
  };
  TVersionInfo reader(Os_);
  for (const Case& c : cases) {
    Place(kDriver, c.Resource);
    reader.SelectTranslation(-1);
    reader.SetFileName(kDriver);
    ASSERT_TRUE(reader.HasVersionData());
    EXPECT_EQ(reader.TranslationCount(), c.Count) << c.Count;
    EXPECT_EQ(reader.TranslationIndex(), c.Index) << c.Count;
    EXPECT_EQ(reader.TranslationBuffer().size(), c.Bytes) << c.Count;
    EXPECT_EQ(Parts(reader.GetFileVersion()), "2.0.927.0") << c.Count;
  }
}

TEST_F(VersionInfoTest, SelectTranslationTakesOnlyAnIndexInsideTheTable) {
  Place(kDriver, WithTranslations({1, 2, 3}));
  TVersionInfo reader(Os_);
  reader.SetFileName(kDriver);
  const std::pair<int, int> cases[] = {{2, 2}, {0, 0}, {3, -1}, {1, 1}, {-1, -1}, {-2, -1}, {1000, -1}};
  for (const auto& [index, selected] : cases) {
    reader.SelectTranslation(index);
    EXPECT_EQ(reader.TranslationIndex(), selected) << index;
  }
}

TEST_F(VersionInfoTest, AQueryThatFailsReadsAsZeroOrEmpty) {
  Place(kDriver, WithTranslations({0x04E40809}));
  TVersionInfo reader(Os_);

  Os_.FailCall("VerQueryValueA", ERROR_RESOURCE_TYPE_NOT_FOUND, 1);
  reader.SetFileName(kDriver);
  EXPECT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 1);

  Os_.FailCall("VerQueryValueA", ERROR_RESOURCE_TYPE_NOT_FOUND, 2);
  reader.SetFileName(kDriver);
  EXPECT_TRUE(reader.HasVersionData());
  EXPECT_EQ(Parts(reader.GetFileVersion()), "2.0.927.0");
  EXPECT_EQ(reader.TranslationCount(), 0);
  EXPECT_EQ(reader.TranslationIndex(), -1);
  EXPECT_TRUE(reader.TranslationBuffer().empty());
}

TEST_F(VersionInfoTest, FixedInfoOfOtherLengthsIsCopiedOnlyAsFarAsItGoes) {
  VersionResourceLayout none;
  none.FixedInfoLength = 0;
  VersionResourceLayout shortInfo;
  shortInfo.FixedInfoLength = 12;  // signature, structure version, file version high
  TVersionInfo reader(Os_);

  Place(kDriver, none);
  reader.SetFileName(kDriver);
  EXPECT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 1);

  Place(kDriver, shortInfo);
  reader.SetFileName(kDriver);
  EXPECT_EQ(reader.FixedInfo().dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(Parts(reader.GetFileVersion()), "2.0.0.0");
  EXPECT_EQ(reader.FixedInfo().dwFileDateLS, 0u);
}

TEST_F(VersionInfoTest, DamagedResourcesAreReadWithoutCrashing) {
  std::vector<VersionResourceLayout> damaged(4);
  damaged[0].RootLength = 0xFFFF;
  damaged[1].RootLength = 8;
  damaged[2].TranslationValueLength = 0xFFFC;
  damaged[3].Translations.assign(64, 0x04B00409);
  damaged[3].TranslationValueLength = 0xFFF0;
  TVersionInfo reader(Os_);
  for (const VersionResourceLayout& resource : damaged) {
    Place(kDriver, resource);
    reader.SetFileName(kDriver);
    EXPECT_TRUE(reader.HasVersionData());
    EXPECT_LE(reader.TranslationBuffer().size(), reader.VersionBuffer().size());
    EXPECT_LE(static_cast<size_t>(reader.TranslationCount()) * 4, reader.TranslationBuffer().size());
  }
}

// A VerQueryValueA that trusts the lengths inside the resource, as Windows
// does: the reader must not follow it outside the buffer.
class TTrustingOs : public TFakeOs {
 public:
  struct Answer {
    long Offset;  // from the start of the block
    UINT Length;
  };
  BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) override {
    const Answer& answer = std::strcmp(subBlock, "\\") == 0 ? Root : Translation;
    *buffer = reinterpret_cast<LPVOID>(reinterpret_cast<intptr_t>(block) + answer.Offset);
    *length = answer.Length;
    return TRUE;
  }
  Answer Root{40, 52};
  Answer Translation{0, 4};
};

TEST(VersionInfoOverreach, ValuesReachingPastTheBufferAreNotRead) {
  TTrustingOs os;
  const std::vector<BYTE> resource = BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  os.Files().AddFile(kDriver).VersionResource = resource;
  const long size = static_cast<long>(resource.size() * 2 + 4);
  TVersionInfo reader(os);

  os.Root = {size - 8, 52};
  os.Translation = {size - 4, 0xFFFF};
  reader.SetFileName(kDriver);
  EXPECT_TRUE(reader.HasVersionData());
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 0);
  EXPECT_TRUE(reader.TranslationBuffer().empty());

  os.Root = {size + 64, 52};
  os.Translation = {-64, 4};
  reader.SetFileName(kDriver);
  EXPECT_TRUE(IsZero(reader.FixedInfo()));
  EXPECT_EQ(reader.TranslationCount(), 0);

  // Exactly up to the end is still inside.
  os.Root = {40, 52};
  os.Translation = {size - 8, 8};
  reader.SetFileName(kDriver);
  EXPECT_EQ(Parts(reader.GetFileVersion()), "2.0.927.0");
  EXPECT_EQ(reader.TranslationCount(), 2);
  EXPECT_EQ(reader.TranslationBuffer().size(), 8u);
}

}  // namespace
