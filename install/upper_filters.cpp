#include "install/upper_filters.h"

#include <algorithm>
#include <string>

namespace {

const char kSnapshotFilter[] = "VolSnap";
const char kWriteFilter[] = "Ewf";

// Service names are ASCII and Windows matches them without regard to case.
bool SameName(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& entry) { return SameName(entry, name); });
}

// As regedit reads a multi-string: empty strings are skipped, not taken for
// the end, and text after the last NUL is an entry of its own.
std::vector<std::string> FilterNames(DWORD type, const std::vector<BYTE>& data) {
  std::vector<std::string> names;
  if (type != REG_MULTI_SZ && type != REG_SZ) return names;
  std::string name;
  for (BYTE byte : data) {
    if (byte != 0) {
      name += static_cast<char>(byte);
    } else if (!name.empty()) {
      names.push_back(name);
      name.clear();
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

std::vector<BYTE> MultiString(const std::vector<std::string>& names) {
  std::vector<BYTE> data;
  for (const std::string& name : names) {
    for (const char c : name) data.push_back(static_cast<BYTE>(c));
    data.push_back(0);
  }
  data.push_back(0);
  return data;
}

}  // namespace

std::vector<BYTE> UpperFiltersWithEwf(DWORD type, const std::vector<BYTE>& existing) {
  std::vector<std::string> names = FilterNames(type, existing);
  if (!Contains(names, kSnapshotFilter)) names.insert(names.begin(), kSnapshotFilter);
  if (!Contains(names, kWriteFilter)) names.push_back(kWriteFilter);
  return MultiString(names);
}

bool MentionsWriteFilter(const std::vector<BYTE>& data) {
  return Contains(FilterNames(REG_MULTI_SZ, data), kWriteFilter);
}

bool ListsWriteFilter(DWORD type, const std::vector<BYTE>& data) {
  return Contains(FilterNames(type, data), kWriteFilter);
}

bool ListsSnapshotFilter(DWORD type, const std::vector<BYTE>& data) {
  return Contains(FilterNames(type, data), kSnapshotFilter);
}

std::vector<BYTE> UpperFiltersWithoutEwf(DWORD type, const std::vector<BYTE>& existing, bool dropVolSnap) {
  std::vector<std::string> names = FilterNames(type, existing);
  std::erase_if(names, [&](const std::string& name) {
    return SameName(name, kWriteFilter) || (dropVolSnap && SameName(name, kSnapshotFilter));
  });
  return names.empty() ? std::vector<BYTE>() : MultiString(names);
}
