// Reads a file's version resource: its fixed file information and its
// translation table. Assigning FileName is what reads; there is no other way.
#pragma once

#include <string>
#include <vector>

#include "services/os.h"

// A file version as four unsigned 16-bit numbers, most significant first.
struct FileVersionParts {
  WORD Major;
  WORD Minor;
  WORD Release;
  WORD Build;
};

// The thirteen DWORDs of the resource's fixed information, kept as one block.
using TFixedFileInfo = VS_FIXEDFILEINFO;
static_assert(sizeof(TFixedFileInfo) == 52, "the fixed file information is 13 DWORDs");

class TVersionInfo {
 public:
  // Reads the running program's own version resource at once.
  explicit TVersionInfo(TOs& os);
  virtual ~TVersionInfo() = default;

  const std::string& FileName() const { return FileName_; }
  // Empty text means the running program. Every assignment re-reads, even of
  // the same name: ResetVersionData, then LoadVersionData.
  void SetFileName(const std::string& fileName);

  bool HasVersionData() const { return HasVersionData_; }
  // All zero when the file has no readable fixed information.
  const TFixedFileInfo& FixedInfo() const { return FixedInfo_; }
  int TranslationCount() const { return TranslationCount_; }
  // The chosen translation, or -1 when SelectTranslation was given no valid index.
  int TranslationIndex() const { return TranslationIndex_; }
  const std::vector<BYTE>& VersionBuffer() const { return VersionBuffer_; }
  // Pairs of 16-bit language and code-page identifiers.
  const std::vector<BYTE>& TranslationBuffer() const { return TranslationBuffer_; }

  // Takes the index when 0 <= index < TranslationCount, else -1.
  void SelectTranslation(int index);
  // Major.Minor.Release.Build of the fixed information; 0.0.0.0 without data.
  FileVersionParts GetFileVersion() const;

  virtual void ResetVersionData();
  // Never reports. Without a readable resource: HasVersionData false, FixedInfo
  // zero, TranslationCount 0, and TranslationIndex and the buffers as they were.
  // A root block or translation table that cannot be found, or that would
  // reach past VersionBuffer, reads as zero/empty.
  virtual void LoadVersionData();

 private:
  struct Block {
    const BYTE* Data;
    size_t Length;
  };
  Block QueryVersionBuffer(const char* subBlock) const;

  TOs& Os_;
  std::string FileName_;
  bool HasVersionData_ = false;
  TFixedFileInfo FixedInfo_{};
  int TranslationCount_ = 0;
  int TranslationIndex_ = 0;
  std::vector<BYTE> VersionBuffer_;
  std::vector<BYTE> TranslationBuffer_;
};
