// The volume filter list with the write filter merged in, case by case.
#include "install/upper_filters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<BYTE> Bytes(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}

struct MergeCase {
  const char* What;
  DWORD Type;
  std::string Before;  // raw value data, NULs included
  std::string After;
};

// std::string literals keep their NULs only when the length is given.
#define RAW(text) std::string(text, sizeof(text) - 1)

const MergeCase kCases[] = {
    {"no value at all", REG_NONE, "", RAW("VolSnap\0Ewf\0\0")},
    {"empty list", REG_MULTI_SZ, RAW("\0"), RAW("VolSnap\0Ewf\0\0")},
    {"empty data", REG_MULTI_SZ, "", RAW("VolSnap\0Ewf\0\0")},
    {"only entry", REG_MULTI_SZ, RAW("VolSnap\0\0"), RAW("VolSnap\0Ewf\0\0")},
    {"only entry, other case", REG_MULTI_SZ, RAW("volsnap\0\0"), RAW("volsnap\0Ewf\0\0")},
    {"only entry, another filter", REG_MULTI_SZ, RAW("PartMgr\0\0"), RAW("VolSnap\0PartMgr\0Ewf\0\0")},
    {"first entry is the snapshot filter", REG_MULTI_SZ, RAW("VolSnap\0PartMgr\0\0"), RAW("VolSnap\0PartMgr\0Ewf\0\0")},
    {"snapshot filter last stays last", REG_MULTI_SZ, RAW("PartMgr\0VolSnap\0\0"), RAW("PartMgr\0VolSnap\0Ewf\0\0")},
    {"write filter already there, not last", REG_MULTI_SZ, RAW("VolSnap\0EWF\0PartMgr\0\0"),
     RAW("VolSnap\0EWF\0PartMgr\0\0")},
    {"write filter first", REG_MULTI_SZ, RAW("Ewf\0\0"), RAW("VolSnap\0Ewf\0\0")},
    {"duplicates are kept as they are", REG_MULTI_SZ, RAW("VolSnap\0VOLSNAP\0ewf\0Ewf\0\0"),
     RAW("VolSnap\0VOLSNAP\0ewf\0Ewf\0\0")},
    {"missing final NUL", REG_MULTI_SZ, RAW("VolSnap\0PartMgr"), RAW("VolSnap\0PartMgr\0Ewf\0\0")},
    {"no NUL at all", REG_MULTI_SZ, "VolSnap", RAW("VolSnap\0Ewf\0\0")},
    {"one NUL only", REG_MULTI_SZ, RAW("VolSnap\0"), RAW("VolSnap\0Ewf\0\0")},
    {"odd length, a name cut short", REG_MULTI_SZ, RAW("VolSnap\0E"), RAW("VolSnap\0E\0Ewf\0\0")},
    {"empty strings inside", REG_MULTI_SZ, RAW("\0VolSnap\0\0\0PartMgr\0\0"), RAW("VolSnap\0PartMgr\0Ewf\0\0")},
    {"a name that only starts like one", REG_MULTI_SZ, RAW("VolSnapX\0Ewfx\0\0"),
     RAW("VolSnap\0VolSnapX\0Ewfx\0Ewf\0\0")},
    {"a single string", REG_SZ, RAW("PartMgr\0"), RAW("VolSnap\0PartMgr\0Ewf\0\0")},
    {"a number holds no names", REG_DWORD, RAW("\1\0\0\0"), RAW("VolSnap\0Ewf\0\0")},
    {"binary data holds no names", REG_BINARY, RAW("PartMgr\0\0"), RAW("VolSnap\0Ewf\0\0")},
};

// Taking the write filter out again: other entries stay in their order;
// VolSnap goes only when the installation added it; another type is read as
// a list only to tell whether it names Ewf.
struct TakeOutCase {
  const char* What;
  DWORD Type;
  std::string Before;
  bool DropVolSnap;
  std::string After;  // empty: nothing is left
  bool MentionsEwf;   // read as a list whatever its type
};

const TakeOutCase kTakeOutCases[] = {
    {"only the two", REG_MULTI_SZ, RAW("VolSnap\0Ewf\0\0"), false, RAW("VolSnap\0\0"), true},
    {"only the two, VolSnap added", REG_MULTI_SZ, RAW("VolSnap\0Ewf\0\0"), true, "", true},
    {"others kept in order", REG_MULTI_SZ, RAW("PartMgr\0VolSnap\0Ewf\0SnapFlt\0\0"), false,
     RAW("PartMgr\0VolSnap\0SnapFlt\0\0"), true},
    {"a filter that joined after", REG_MULTI_SZ, RAW("VolSnap\0Ewf\0Later\0\0"), true, RAW("Later\0\0"), true},
    {"other case", REG_MULTI_SZ, RAW("volsnap\0EWF\0\0"), false, RAW("volsnap\0\0"), true},
    {"no Ewf", REG_MULTI_SZ, RAW("VolSnap\0\0"), false, RAW("VolSnap\0\0"), false},
    {"a name that only starts like it", REG_MULTI_SZ, RAW("Ewfx\0\0"), false, RAW("Ewfx\0\0"), false},
    {"another type naming Ewf", REG_EXPAND_SZ, RAW("VolSnap\0Ewf\0\0"), false, "", true},
    {"binary naming Ewf", REG_BINARY, RAW("Ewf\0"), false, "", true},
};

#undef RAW

TEST(UpperFilters, TheWriteFilterLeavesTheListAsItWasBeforeIt) {
  for (const TakeOutCase& out : kTakeOutCases) {
    SCOPED_TRACE(out.What);
    EXPECT_EQ(UpperFiltersWithoutEwf(out.Type, Bytes(out.Before), out.DropVolSnap), Bytes(out.After));
    EXPECT_EQ(MentionsWriteFilter(Bytes(out.Before)), out.MentionsEwf);
  }
}

TEST(UpperFilters, TheWriteFilterJoinsTheListWithoutLosingWhatIsThere) {
  for (const MergeCase& merge : kCases) {
    SCOPED_TRACE(merge.What);
    const std::vector<BYTE> after = UpperFiltersWithEwf(merge.Type, Bytes(merge.Before));
    EXPECT_EQ(after, Bytes(merge.After));
    EXPECT_EQ(UpperFiltersWithEwf(REG_MULTI_SZ, after), after) << "a second run changes something";
  }
}

TEST(UpperFilters, AMachineWithOnlyTheSnapshotFilterEndsWithExactlyThirteenBytes) {
  const std::vector<BYTE> expected{'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 'E', 'w', 'f', 0, 0};
  EXPECT_EQ(UpperFiltersWithEwf(REG_MULTI_SZ, Bytes(std::string("VolSnap\0\0", 9))), expected);
  EXPECT_EQ(UpperFiltersWithEwf(REG_NONE, {}), expected);
}

}  // namespace
