#include "services/paths.h"

#include <gtest/gtest.h>

#include "support/fake_os.h"

namespace {

struct PathCase {
  const char* Given;
  const char* Expected;
};

TEST(Paths, TheFolderIsEverythingUpToTheLastBackslashOrColon) {
  TFakeOs os;
  const PathCase cases[] = {
      {"C:\\Program Files\\Stillvane\\Stillvane.exe", "C:\\Program Files\\Stillvane\\"},
      {"D:\\Stillvane.exe", "D:\\"},
      {"D:Stillvane.exe", "D:"},
      {"\\\\server\\share\\Stillvane.exe", "\\\\server\\share\\"},
      {"Stillvane.exe", ""},
      {"", ""},
  };
  for (const PathCase& c : cases) EXPECT_EQ(FolderOfPath(os, c.Given), c.Expected) << c.Given;
}

TEST(Paths, OneTrailingBackslashIsRemovedAndOneAppended) {
  TFakeOs os;
  const PathCase without[] = {
      {"C:\\", "C:"}, {"C:", "C:"}, {"C:\\WINDOWS\\", "C:\\WINDOWS"}, {"C:\\WINDOWS\\\\", "C:\\WINDOWS\\"},
      {"\\", ""},     {"", ""},
  };
  for (const PathCase& c : without) EXPECT_EQ(WithoutTrailingBackslash(os, c.Given), c.Expected) << c.Given;

  const PathCase folder[] = {{"C:\\", "C:\\"}, {"C:", "C:\\"}, {"C:\\WINDOWS", "C:\\WINDOWS\\"}, {"", "\\"}};
  for (const PathCase& c : folder) EXPECT_EQ(AsFolder(os, c.Given), c.Expected) << c.Given;

  // A program in a drive's root has that root as its folder, with one backslash.
  EXPECT_EQ(AsFolder(os, FolderOfPath(os, "D:\\Stillvane.exe")), "D:\\");
}

// In Shift-JIS 0x95 0x5C is one character whose second byte equals '\'.
TEST(Paths, ADoubleByteCharacterEndingIn0x5CIsNotABackslash) {
  TFakeOs os;
  os.SetCodePage(932);
  EXPECT_EQ(WithoutTrailingBackslash(os, "C:\\\x95\x5C"), "C:\\\x95\x5C");
  EXPECT_EQ(WithoutTrailingBackslash(os, "C:\\\x95\x5C\\"), "C:\\\x95\x5C");
  EXPECT_EQ(AsFolder(os, "C:\\\x95\x5C"), "C:\\\x95\x5C\\");
  EXPECT_EQ(FolderOfPath(os, "C:\\\x95\x5C\x83\x5C.exe"), "C:\\");
  EXPECT_EQ(FolderOfPath(os, "C:\\\x95\x5C\\Stillvane.exe"), "C:\\\x95\x5C\\");
  // A lead byte with nothing after it is a character of its own.
  EXPECT_EQ(WithoutTrailingBackslash(os, "C:\\\x95"), "C:\\\x95");

  // The same bytes in a single-byte code page end in a backslash.
  os.SetCodePage(1252);
  EXPECT_EQ(WithoutTrailingBackslash(os, "C:\\\x95\x5C"), "C:\\\x95");
}

}  // namespace
