#include "support/fake_files.h"

#include <algorithm>
#include <cstring>

#include "support/case_insensitive.h"

namespace {

constexpr DWORD kReadAccess = GENERIC_READ | 0x10000000 /* GENERIC_ALL */ | 0x0001 /* FILE_READ_DATA */;
constexpr DWORD kWriteAccess = GENERIC_WRITE | 0x10000000 | 0x0002 /* FILE_WRITE_DATA */ | 0x0004 /* append */;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether one opener's access and sharing admit another's, both ways round.
bool Compatible(DWORD accessA, DWORD shareA, DWORD accessB, DWORD shareB) {
  const auto admits = [](DWORD access, DWORD share) {
    return (!(access & kReadAccess) || (share & FILE_SHARE_READ)) &&
           (!(access & kWriteAccess) || (share & FILE_SHARE_WRITE)) &&
           (!(access & DELETE) || (share & FILE_SHARE_DELETE));
  };
  return admits(accessA, shareB) && admits(accessB, shareA);
}

// '*' and '?' as FindFirstFileA reads them, without regard to case.
bool MatchesPattern(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') return MatchesPattern(pattern + 1, name) || (*name && MatchesPattern(pattern, name + 1));
  if (*name == '\0') return false;
  return (*pattern == '?' || FoldCase(*pattern) == FoldCase(*name)) && MatchesPattern(pattern + 1, name + 1);
}

// A file as it is when written: no version resource, held by no one.
FakeFile NewFile(const std::string& path, DWORD attributes, FILETIME created, FILETIME now,
                 const std::string& contents) {
  FakeFile file{};
  file.Path = path;
  file.Attributes = attributes;
  file.CreationTime = created;
  file.LastAccessTime = file.LastWriteTime = now;
  file.Contents = contents;
  return file;
}

bool IsRoot(const std::string& path) {
  return path.size() == 2 && path[1] == ':';
}

// "Naming Files, Paths, and Namespaces": '?' and '*' are reserved; only
// FindFirstFile reads them, as wildcards, and only in the last name. Neither
// can be a trail byte, so a plain search is safe in any code page.
bool HasWildcard(const std::string& path) {
  return path.find_first_of("?*") != std::string::npos;
}

// "DeleteFile function": a file deleted while a handle holds it is only
// marked for deletion; opening it again fails with ERROR_ACCESS_DENIED, and
// so does anything that would replace it, until the last handle is closed.
bool IsPending(const FakeFile& file) {
  return file.DeletePending;
}

}  // namespace

FILETIME FileTimeOf(int year, int month, int day, int hour, int minute, int second) {
  // Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
  const int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const long long days = era * 146097LL + dayOfEra - 719468 + 134774;  // then from 1601-01-01
  const unsigned long long ticks = ((days * 86400ULL) + hour * 3600ULL + minute * 60ULL + second) * 10000000ULL;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TFakeFiles::TFakeFiles(std::function<bool(BYTE)> isLeadByte)
    : IsLeadByte_(std::move(isLeadByte)), Now_(FileTimeOf(2005, 6, 1, 12)) {}

// Absolute form of a path: drive-relative and relative names resolved, "."
// and ".." applied, '/' read as '\'. Only whole characters are taken for
// separators, so a double-byte character ending in 0x5C stays in its name.
TFakeFiles::Name TFakeFiles::Normalize(const std::string& path) const {
  std::string full = path;
  if (full.size() >= 2 && full[1] == ':') {
    if (full.size() == 2 || (full[2] != '\\' && full[2] != '/')) full.insert(2, "\\");
  } else if (!full.empty() && (full[0] == '\\' || full[0] == '/')) {
    full = CurrentFolder_.substr(0, 2) + full;
  } else {
    full = CurrentFolder_ + "\\" + full;
  }

  std::vector<std::string> names;
  std::string name;
  const auto endName = [&] {
    if (name == "..") {
      if (names.size() > 1) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    name.clear();
  };
  bool trailing = false;
  for (size_t i = 0; i < full.size();) {
    const bool pair = IsLeadByte_(static_cast<BYTE>(full[i])) && i + 1 < full.size();
    trailing = !pair && (full[i] == '\\' || full[i] == '/');
    if (trailing) {
      endName();
    } else {
      name.append(full, i, pair ? 2 : 1);
    }
    i += pair ? 2 : 1;
  }
  endName();

  Name result{names.empty() ? std::string() : names[0], "", trailing && names.size() > 1};
  for (size_t i = 1; i < names.size(); ++i) result.Path += "\\" + names[i];
  result.Key = FoldedCase(result.Path);
  return result;
}

std::string TFakeFiles::ParentOf(const std::string& path) const {
  size_t cut = std::string::npos;
  for (size_t i = 0; i < path.size(); i += (IsLeadByte_(static_cast<BYTE>(path[i])) ? 2 : 1)) {
    if (path[i] == '\\') cut = i;
  }
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string TFakeFiles::LastNameOf(const std::string& path) const {
  const std::string parent = ParentOf(path);
  return parent.empty() ? path : path.substr(parent.size() + 1);
}

bool TFakeFiles::FolderExists(const std::string& key) const {
  if (IsRoot(key)) return true;
  const auto found = Entries_.find(key);
  return found != Entries_.end() && (found->second.Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD TFakeFiles::CompressionFrom(const std::string& key) const {
  const std::string folder = ParentOf(key);
  if (IsRoot(folder)) {
    const auto root = CompressedRoots_.find(folder);
    return root != CompressedRoots_.end() && root->second ? FILE_ATTRIBUTE_COMPRESSED : 0;
  }
  const auto found = Entries_.find(folder);
  return found == Entries_.end() ? 0 : found->second.Attributes & FILE_ATTRIBUTE_COMPRESSED;
}

void TFakeFiles::EraseIfLetGo(const std::string& key) {
  const auto found = Entries_.find(key);
  if (found == Entries_.end() || !found->second.DeletePending || found->second.HeldSharingAll) return;
  for (const auto& open : OpenFiles_) {
    if (open.second.Key == key) return;
  }
  Entries_.erase(found);
}

DWORD TFakeFiles::MissingError(const Name& name) const {
  return FolderExists(ParentOf(name.Key)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool TFakeFiles::SharingAllows(const std::string& key, DWORD access, DWORD share) const {
  const auto found = Entries_.find(key);
  if (found != Entries_.end() && found->second.Locked) return false;
  if (found != Entries_.end() && found->second.HeldSharingAll && !Compatible(GENERIC_READ, kShareAll, access, share)) {
    return false;
  }
  for (const auto& open : OpenFiles_) {
    if (open.second.Key == key && !Compatible(open.second.Access, open.second.Share, access, share)) return false;
  }
  return true;
}

HANDLE TFakeFiles::NewHandle() {
  const HANDLE handle = reinterpret_cast<HANDLE>(NextHandle_);
  NextHandle_ += 4;
  return handle;
}

void TFakeFiles::AddFolder(const std::string& path) {
  const Name name = Normalize(path);
  if (IsRoot(name.Key) || name.Key.empty()) return;
  AddFolder(ParentOf(name.Path));
  if (Entries_.count(name.Key)) return;
  FakeFile& folder = Entries_[name.Key];
  folder.Path = name.Path;
  folder.Attributes = FILE_ATTRIBUTE_DIRECTORY | CompressionFrom(name.Key);
  folder.CreationTime = folder.LastAccessTime = folder.LastWriteTime = Now_;
}

void TFakeFiles::SetCompressed(const std::string& path, bool compressed) {
  const Name name = Normalize(path);
  if (IsRoot(name.Key)) {
    CompressedRoots_[name.Key] = compressed;
  } else if (FakeFile* entry = Find(path)) {
    entry->Attributes = (entry->Attributes & ~FILE_ATTRIBUTE_COMPRESSED) | (compressed ? FILE_ATTRIBUTE_COMPRESSED : 0);
  }
}

void TFakeFiles::Release(const std::string& path) {
  const Name name = Normalize(path);
  if (FakeFile* file = Find(path)) file->HeldSharingAll = false;
  EraseIfLetGo(name.Key);
}

FakeFile& TFakeFiles::AddFile(const std::string& path, const std::string& contents) {
  const Name name = Normalize(path);
  AddFolder(ParentOf(name.Path));
  FakeFile& file = Entries_[name.Key];
  file = NewFile(name.Path, FILE_ATTRIBUTE_ARCHIVE | CompressionFrom(name.Key), Now_, Now_, contents);
  return file;
}

void TFakeFiles::Remove(const std::string& path) {
  Entries_.erase(Normalize(path).Key);
}

const FakeFile* TFakeFiles::Find(const std::string& path) const {
  const auto found = Entries_.find(Normalize(path).Key);
  return found == Entries_.end() ? nullptr : &found->second;
}

FakeFile* TFakeFiles::Find(const std::string& path) {
  const auto found = Entries_.find(Normalize(path).Key);
  return found == Entries_.end() ? nullptr : &found->second;
}

bool TFakeFiles::IsFile(const std::string& path) const {
  const FakeFile* file = Find(path);
  return file && !(file->Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool TFakeFiles::IsFolder(const std::string& path) const {
  return FolderExists(Normalize(path).Key);
}

std::string TFakeFiles::Describe(HANDLE handle) const {
  if (const auto search = Searches_.find(handle); search != Searches_.end()) return search->second;
  if (const auto open = OpenFiles_.find(handle); open != OpenFiles_.end()) return open->second.Path;
  return handle == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : "<bad handle>";
}

DWORD TFakeFiles::FindFirst(const std::string& pattern, WIN32_FIND_DATAA* data, HANDLE* handle) {
  const Name name = Normalize(pattern);
  if (name.TrailingBackslash || IsRoot(name.Key)) return ERROR_FILE_NOT_FOUND;
  const std::string folder = ParentOf(name.Key);
  if (HasWildcard(folder)) return ERROR_INVALID_NAME;
  if (!FolderExists(folder)) return ERROR_PATH_NOT_FOUND;

  const std::string wanted = LastNameOf(name.Key);
  const FakeFile* found = nullptr;
  for (const auto& entry : Entries_) {
    if (ParentOf(entry.first) == folder && MatchesPattern(wanted.c_str(), LastNameOf(entry.first).c_str())) {
      found = &entry.second;
      break;
    }
  }
  if (!found) return ERROR_FILE_NOT_FOUND;

  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = found->Attributes;
  data->ftCreationTime = found->CreationTime;
  data->ftLastAccessTime = found->LastAccessTime;
  data->ftLastWriteTime = found->LastWriteTime;
  data->nFileSizeLow = static_cast<DWORD>(found->Contents.size());
  const std::string shown = LastNameOf(found->Path);
  std::strncpy(data->cFileName, shown.c_str(), sizeof data->cFileName - 1);
  *handle = NewHandle();
  Searches_[*handle] = name.Path;
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::CloseFind(HANDLE handle) {
  return Searches_.erase(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

DWORD TFakeFiles::Copy(const std::string& source, const std::string& target, bool failIfExists) {
  if (HasWildcard(source) || HasWildcard(target)) return ERROR_INVALID_NAME;
  const Name from = Normalize(source);
  const Name to = Normalize(target);
  const auto original = Entries_.find(from.Key);
  if (original == Entries_.end()) return MissingError(from);
  if ((original->second.Attributes & FILE_ATTRIBUTE_DIRECTORY) || IsPending(original->second)) {
    return ERROR_ACCESS_DENIED;
  }
  if (!SharingAllows(from.Key, GENERIC_READ, FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
  if (!FolderExists(ParentOf(to.Key))) return ERROR_PATH_NOT_FOUND;
  DWORD compression = CompressionFrom(to.Key);
  if (const auto existing = Entries_.find(to.Key); existing != Entries_.end()) {
    if ((existing->second.Attributes & FILE_ATTRIBUTE_DIRECTORY) || IsPending(existing->second)) {
      return ERROR_ACCESS_DENIED;
    }
    if (failIfExists) return ERROR_FILE_EXISTS;
    // "CopyFile function": an existing hidden or read-only target is refused.
    if (existing->second.Attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return ERROR_ACCESS_DENIED;
    if (to.Key == from.Key || !SharingAllows(to.Key, GENERIC_WRITE, 0)) return ERROR_SHARING_VIOLATION;
    compression = existing->second.Attributes & FILE_ATTRIBUTE_COMPRESSED;  // the same file, overwritten
  }
  // A copy keeps the contents, attributes and last-write time of its source;
  // "Compression Attribute": a new file is compressed as its folder is.
  FakeFile copy = original->second;
  copy.Path = to.Path;
  copy.Attributes = (copy.Attributes & ~FILE_ATTRIBUTE_COMPRESSED) | FILE_ATTRIBUTE_ARCHIVE | compression;
  copy.CreationTime = copy.LastAccessTime = Now_;
  copy.Locked = copy.HeldSharingAll = false;
  Entries_[to.Key] = copy;
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Move(const std::string& fromPath, const std::string& toPath, bool replaceExisting) {
  if (HasWildcard(fromPath) || HasWildcard(toPath)) return ERROR_INVALID_NAME;
  const Name from = Normalize(fromPath);
  const Name to = Normalize(toPath);
  const auto source = Entries_.find(from.Key);
  if (source == Entries_.end()) return MissingError(from);
  if (IsPending(source->second)) return ERROR_ACCESS_DENIED;
  if (!FolderExists(ParentOf(to.Key))) return ERROR_PATH_NOT_FOUND;
  const auto existing = Entries_.find(to.Key);
  if (to.Key != from.Key && existing != Entries_.end()) {
    if (!replaceExisting) return ERROR_ALREADY_EXISTS;
    if ((existing->second.Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ||
        (source->second.Attributes & FILE_ATTRIBUTE_DIRECTORY) || IsPending(existing->second)) {
      return ERROR_ACCESS_DENIED;
    }
    if (!SharingAllows(to.Key, DELETE, kShareAll)) return ERROR_SHARING_VIOLATION;
  }
  if (to.Key.compare(0, from.Key.size() + 1, from.Key + "\\") == 0) return ERROR_SHARING_VIOLATION;
  if (!SharingAllows(from.Key, DELETE, kShareAll)) return ERROR_SHARING_VIOLATION;
  if (to.Key != from.Key) Entries_.erase(to.Key);

  // A folder takes everything below it along; a renamed file stays compressed or not.
  std::map<std::string, FakeFile> moved;
  for (auto entry = Entries_.begin(); entry != Entries_.end();) {
    const bool below = entry->first.compare(0, from.Key.size() + 1, from.Key + "\\") == 0;
    if (entry->first != from.Key && !below) {
      ++entry;
      continue;
    }
    FakeFile file = entry->second;
    file.Path = to.Path + file.Path.substr(from.Path.size());
    moved[to.Key + entry->first.substr(from.Key.size())] = file;
    entry = Entries_.erase(entry);
  }
  Entries_.insert(moved.begin(), moved.end());
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Create(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD attributes,
                         HANDLE* handle, bool* existed) {
  const Name name = Normalize(path);
  if (name.TrailingBackslash || IsRoot(name.Key) || HasWildcard(path)) return ERROR_INVALID_NAME;
  if (!FolderExists(ParentOf(name.Key))) return ERROR_PATH_NOT_FOUND;
  const auto found = Entries_.find(name.Key);
  *existed = found != Entries_.end();
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;

  if (*existed) {
    const FakeFile& file = found->second;
    if ((file.Attributes & FILE_ATTRIBUTE_DIRECTORY) || IsPending(file)) return ERROR_ACCESS_DENIED;
    if ((file.Attributes & FILE_ATTRIBUTE_READONLY) && ((access & kWriteAccess) || truncates)) {
      return ERROR_ACCESS_DENIED;
    }
    // CreateFile's remarks: CREATE_ALWAYS refuses a hidden or system file
    // unless asked for the same attributes.
    const DWORD hiddenOrSystem = file.Attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (disposition == CREATE_ALWAYS && (attributes & hiddenOrSystem) != hiddenOrSystem) return ERROR_ACCESS_DENIED;
    if (!SharingAllows(name.Key, access, share)) return ERROR_SHARING_VIOLATION;
  }
  switch (disposition) {
    case CREATE_NEW:
      if (*existed) return ERROR_FILE_EXISTS;
      break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
      if (!*existed) return ERROR_FILE_NOT_FOUND;
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      break;
    default:
      return ERROR_INVALID_PARAMETER;
  }

  if (!*existed || truncates) {
    FakeFile& file = Entries_[name.Key];
    const FILETIME created = *existed ? file.CreationTime : Now_;
    // CreateFile ignores FILE_ATTRIBUTE_COMPRESSED; the file's own state, or its folder's, holds.
    const DWORD compression = *existed ? file.Attributes & FILE_ATTRIBUTE_COMPRESSED : CompressionFrom(name.Key);
    const DWORD kept = attributes & ~(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED);
    file = NewFile(*existed ? file.Path : name.Path, kept | compression | FILE_ATTRIBUTE_ARCHIVE, created, Now_, "");
  }
  *handle = NewHandle();
  OpenFiles_[*handle] = {name.Key, name.Path, access, share};
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::CloseFile(HANDLE handle) {
  const auto open = OpenFiles_.find(handle);
  if (open == OpenFiles_.end()) return ERROR_INVALID_HANDLE;
  const std::string key = open->second.Key;
  OpenFiles_.erase(open);
  EraseIfLetGo(key);
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Delete(const std::string& path) {
  if (HasWildcard(path)) return ERROR_INVALID_NAME;
  const Name name = Normalize(path);
  const auto found = Entries_.find(name.Key);
  if (found == Entries_.end()) return MissingError(name);
  if ((found->second.Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) || IsPending(found->second)) {
    return ERROR_ACCESS_DENIED;
  }
  if (!SharingAllows(name.Key, DELETE, kShareAll)) return ERROR_SHARING_VIOLATION;
  found->second.DeletePending = true;
  EraseIfLetGo(name.Key);
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Attributes(const std::string& path, DWORD* attributes) const {
  *attributes = INVALID_FILE_ATTRIBUTES;
  if (HasWildcard(path)) return ERROR_INVALID_NAME;
  const Name name = Normalize(path);
  if (IsRoot(name.Key)) {
    const auto root = CompressedRoots_.find(name.Key);
    const bool compressed = root != CompressedRoots_.end() && root->second;
    *attributes = FILE_ATTRIBUTE_DIRECTORY | (compressed ? FILE_ATTRIBUTE_COMPRESSED : 0);
    return ERROR_SUCCESS;
  }
  const auto found = Entries_.find(name.Key);
  if (found == Entries_.end()) return MissingError(name);
  if (IsPending(found->second)) return ERROR_ACCESS_DENIED;
  *attributes = found->second.Attributes ? found->second.Attributes : FILE_ATTRIBUTE_NORMAL;
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::SetAttributes(const std::string& path, DWORD attributes) {
  if (HasWildcard(path)) return ERROR_INVALID_NAME;
  const Name name = Normalize(path);
  const auto found = Entries_.find(name.Key);
  if (found == Entries_.end()) return MissingError(name);
  if (IsPending(found->second)) return ERROR_ACCESS_DENIED;
  const DWORD settable =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  // "SetFileAttributes function": compression is not set or cleared here.
  const DWORD kept = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED;
  found->second.Attributes = (found->second.Attributes & kept) | (attributes & settable);
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Read(HANDLE handle, void* buffer, DWORD size, DWORD* read) {
  *read = 0;
  const auto open = OpenFiles_.find(handle);
  if (open == OpenFiles_.end()) return ERROR_INVALID_HANDLE;
  if (!(open->second.Access & kReadAccess)) return ERROR_ACCESS_DENIED;
  const auto found = Entries_.find(open->second.Key);
  if (found == Entries_.end()) return ERROR_INVALID_HANDLE;
  const std::string& contents = found->second.Contents;
  const size_t from = std::min(open->second.Position, contents.size());
  *read = static_cast<DWORD>(std::min<size_t>(size, contents.size() - from));
  std::memcpy(buffer, contents.data() + from, *read);
  open->second.Position = from + *read;
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Size(HANDLE handle, DWORD* size) const {
  *size = INVALID_FILE_SIZE;
  const auto open = OpenFiles_.find(handle);
  if (open == OpenFiles_.end()) return ERROR_INVALID_HANDLE;
  const auto found = Entries_.find(open->second.Key);
  if (found == Entries_.end()) return ERROR_INVALID_HANDLE;
  *size = static_cast<DWORD>(found->second.Contents.size());
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::Flush(HANDLE handle) const {
  const auto open = OpenFiles_.find(handle);
  if (open == OpenFiles_.end()) return ERROR_INVALID_HANDLE;
  return (open->second.Access & kWriteAccess) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD TFakeFiles::SetCompression(HANDLE handle, USHORT format) {
  const auto open = OpenFiles_.find(handle);
  if (open == OpenFiles_.end()) return ERROR_INVALID_HANDLE;
  // "FSCTL_SET_COMPRESSION IOCTL": the handle must allow reading and writing the data.
  if (!(open->second.Access & kReadAccess) || !(open->second.Access & kWriteAccess)) return ERROR_ACCESS_DENIED;
  if (format > 2 /* COMPRESSION_FORMAT_LZNT1 */) return ERROR_INVALID_PARAMETER;
  FakeFile& file = Entries_.at(open->second.Key);
  file.Attributes = (file.Attributes & ~FILE_ATTRIBUTE_COMPRESSED) |
                    (format == COMPRESSION_FORMAT_NONE ? 0 : FILE_ATTRIBUTE_COMPRESSED);
  return ERROR_SUCCESS;
}

void TFakeFiles::CloseAll() {
  Searches_.clear();
  std::vector<std::string> held;
  for (const auto& open : OpenFiles_) held.push_back(open.second.Key);
  OpenFiles_.clear();
  for (const std::string& key : held) EraseIfLetGo(key);
}

DWORD TFakeFiles::VersionInfoSize(const std::string& path, DWORD* size) const {
  *size = 0;
  if (HasWildcard(path)) return ERROR_INVALID_NAME;
  const Name name = Normalize(path);
  const auto found = Entries_.find(name.Key);
  if (found == Entries_.end()) return MissingError(name);
  if ((found->second.Attributes & FILE_ATTRIBUTE_DIRECTORY) || IsPending(found->second)) return ERROR_ACCESS_DENIED;
  if (!SharingAllows(name.Key, GENERIC_READ, FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
  if (found->second.VersionResource.empty()) return ERROR_RESOURCE_DATA_NOT_FOUND;
  // Windows asks for twice the block and 4 bytes more: room for the ANSI
  // copies VerQueryValueA may make, after a "FE2X" mark.
  *size = static_cast<DWORD>(found->second.VersionResource.size() * 2 + 4);
  return ERROR_SUCCESS;
}

DWORD TFakeFiles::VersionInfo(const std::string& path, DWORD size, BYTE* data, DWORD* copied) const {
  *copied = 0;
  DWORD needed = 0;
  if (const DWORD error = VersionInfoSize(path, &needed)) return error;
  if (!data || size == 0) return ERROR_INVALID_PARAMETER;
  const std::vector<BYTE>& block = Find(path)->VersionResource;
  *copied = static_cast<DWORD>(std::min<size_t>(size, block.size()));
  std::memcpy(data, block.data(), *copied);
  std::memset(data + *copied, 0, size - *copied);
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result): a four-byte signature, not a string
  if (size >= block.size() + 4) std::memcpy(data + block.size(), "FE2X", 4);
  // A block cut short says so in its own length, so that reading it stays inside.
  if (*copied < block.size() && *copied >= 2) {
    data[0] = static_cast<BYTE>(*copied);
    data[1] = static_cast<BYTE>(*copied >> 8);
  }
  return ERROR_SUCCESS;
}
