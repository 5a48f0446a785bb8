// Version comparison and formatting of the driver file checks.
#include <gtest/gtest.h>

#include "install/driver_checks.h"

namespace {

struct Comparison {
  FileVersionParts Found;
  bool AtLeast;
};

std::string Describe(const FileVersionParts& v) {
  return FormatFileVersion(v);
}

TEST(IsVersionAtLeast, ComparesFieldByFieldFromMajorAgainstTheMinimum) {
  const Comparison cases[] = {
      {{2, 0, 927, 0}, true},      // exactly the minimum
      {{2, 0, 926, 9999}, false},  // a larger Build does not outweigh Release
      {{2, 0, 927, 1}, true},
      {{2, 0, 927, 65535}, true},
      {{2, 0, 928, 0}, true},
      {{2, 1, 0, 0}, true},  // Minor decides before Release
      {{3, 0, 0, 0}, true},
      {{1, 65535, 65535, 65535}, false},  // Major decides before everything else
      {{2, 0, 0, 65535}, false},
      {{0, 0, 0, 0}, false},     // what a file without fixed information reads as
      {{65535, 0, 0, 0}, true},  // fields are unsigned: 65535 is not -1
      {{2, 65535, 0, 0}, true},
      {{2, 0, 65535, 0}, true},
      {{65535, 65535, 65535, 65535}, true},
  };
  for (const Comparison& c : cases) {
    EXPECT_EQ(IsVersionAtLeast(MinEwfSysVersion, c.Found), c.AtLeast) << Describe(c.Found);
    EXPECT_EQ(IsVersionAtLeast(MinEwfMgrVersion, c.Found), c.AtLeast) << Describe(c.Found);
  }
}

TEST(FormatFileVersion, JoinsTheFourFieldsInDecimalWithDots) {
  EXPECT_EQ(FormatFileVersion({2, 0, 927, 0}), "2.0.927.0");
  EXPECT_EQ(FormatFileVersion({0, 0, 0, 0}), "0.0.0.0");
  EXPECT_EQ(FormatFileVersion({1, 65535, 65535, 65535}), "1.65535.65535.65535");
  EXPECT_EQ(FormatFileVersion({10, 20, 300, 4000}), "10.20.300.4000");
}

}  // namespace
