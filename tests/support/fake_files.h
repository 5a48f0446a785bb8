// The file system of TFakeOs: drives (any "X:" exists), folders and files with
// attributes, times, contents and an optional version resource. Honours the
// read-only attribute, CREATE_ALWAYS's refusal of a hidden or system file
// asked for other attributes, files held open without sharing (by the
// program's own handles, or "locked" by another program) and, through the
// code page, path names whose double-byte characters end in a 0x5C trail byte.
// As XP's NTFS does: a new file takes its folder's compression, which only
// FSCTL_SET_COMPRESSION changes; a file deleted while held open keeps its
// name until the last handle goes; '?' and '*' are names only to a search.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "services/win_types.h"

// A UTC time as Windows stores it (100-ns steps since 1601).
FILETIME FileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

struct FakeFile {
  std::string Path;  // as it was created, for the names FindFirstFileA gives
  DWORD Attributes;
  FILETIME CreationTime;
  FILETIME LastAccessTime;
  FILETIME LastWriteTime;
  std::string Contents;
  bool Locked = false;                // held open by another program, no sharing
  bool HeldSharingAll = false;        // held open by another program that shares all (a virus scanner)
  bool DeletePending = false;         // deleted while held open: the name stays until the last handle goes
  std::vector<BYTE> VersionResource;  // the raw VS_VERSIONINFO block; empty: none
};

class TFakeFiles {
 public:
  explicit TFakeFiles(std::function<bool(BYTE)> isLeadByte);

  // Set-up and inspection. Missing folders on the way are made.
  void AddFolder(const std::string& path);
  // Compresses (or uncompresses) a folder, a drive's root ("C:\\") or a
  // file, as Explorer's "Compress drive to save disk space" does.
  void SetCompressed(const std::string& path, bool compressed);
  // The other program lets go of a file it held: a file deleted meanwhile goes.
  void Release(const std::string& path);
  FakeFile& AddFile(const std::string& path, const std::string& contents = "");
  void Remove(const std::string& path);
  // nullptr when nothing of that name exists.
  const FakeFile* Find(const std::string& path) const;
  FakeFile* Find(const std::string& path);
  bool IsFile(const std::string& path) const;
  bool IsFolder(const std::string& path) const;
  // Relative paths start here; "\name" starts at its drive. Initially "C:\".
  void SetCurrentFolder(const std::string& folder) { CurrentFolder_ = folder; }
  // The time stamp given to files written from now on.
  void SetNow(FILETIME now) { Now_ = now; }
  int OpenFindHandleCount() const { return static_cast<int>(Searches_.size()); }
  int OpenFileHandleCount() const { return static_cast<int>(OpenFiles_.size()); }
  // The path a handle was opened on, for the call log.
  std::string Describe(HANDLE handle) const;

  // The calls. Each returns the Win32 error code, 0 on success.
  DWORD FindFirst(const std::string& pattern, WIN32_FIND_DATAA* data, HANDLE* handle);
  DWORD CloseFind(HANDLE handle);
  DWORD Copy(const std::string& source, const std::string& target, bool failIfExists);
  // Replacing an existing target only when asked: not a folder, not a
  // read-only file, not one held open without delete sharing.
  DWORD Move(const std::string& from, const std::string& to, bool replaceExisting = false);
  // On success *existed tells whether the name was there before.
  DWORD Create(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD attributes, HANDLE* handle,
               bool* existed);
  DWORD CloseFile(HANDLE handle);
  DWORD Delete(const std::string& path);
  DWORD Attributes(const std::string& path, DWORD* attributes) const;
  DWORD SetAttributes(const std::string& path, DWORD attributes);
  // From the handle's position on, which moves past what was read.
  DWORD Read(HANDLE handle, void* buffer, DWORD size, DWORD* read);
  DWORD Size(HANDLE handle, DWORD* size) const;
  // Needs write access, as Windows' FlushFileBuffers does.
  DWORD Flush(HANDLE handle) const;
  // FSCTL_SET_COMPRESSION: COMPRESSION_FORMAT_NONE or another format.
  DWORD SetCompression(HANDLE handle, USHORT format);
  // Ends every search and closes every file, as when the process ends.
  void CloseAll();
  DWORD VersionInfoSize(const std::string& path, DWORD* size) const;
  DWORD VersionInfo(const std::string& path, DWORD size, BYTE* data, DWORD* copied) const;

 private:
  struct Name {
    std::string Path;  // absolute, "C:\A\b", no trailing backslash; "C:" for a root
    std::string Key;   // the same, case folded
    bool TrailingBackslash;
  };
  struct OpenFile {
    std::string Key;
    std::string Path;
    DWORD Access;
    DWORD Share;
    size_t Position = 0;
  };

  Name Normalize(const std::string& path) const;
  std::string ParentOf(const std::string& path) const;
  std::string LastNameOf(const std::string& path) const;
  bool FolderExists(const std::string& key) const;
  // FILE_ATTRIBUTE_COMPRESSED when the folder holding `key` is compressed.
  DWORD CompressionFrom(const std::string& key) const;
  // Erases a file deleted while held, once nothing holds it any more.
  void EraseIfLetGo(const std::string& key);
  // ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND for a name that is missing.
  DWORD MissingError(const Name& name) const;
  bool SharingAllows(const std::string& key, DWORD access, DWORD share) const;
  HANDLE NewHandle();

  std::function<bool(BYTE)> IsLeadByte_;
  std::map<std::string, FakeFile> Entries_;  // by case-folded path
  std::map<HANDLE, std::string> Searches_;
  std::map<HANDLE, OpenFile> OpenFiles_;
  std::map<std::string, bool> CompressedRoots_;  // by case-folded "c:"
  std::string CurrentFolder_ = "C:\\";
  FILETIME Now_;
  uintptr_t NextHandle_ = 0x20000;
};
