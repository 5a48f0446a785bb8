// Raw version resources as Windows stores them (the 32-bit, UTF-16 layout of
// VS_VERSIONINFO), well-formed or damaged on purpose, for seeding TFakeOs.
#pragma once

#include <optional>
#include <vector>

#include "services/version_info.h"

// The fixed information a stand-in file carries: every field distinct, so that
// a copy that stops short shows.
TFixedFileInfo StandInFixedInfo(const FileVersionParts& fileVersion);

struct VersionResourceLayout {
  TFixedFileInfo Fixed = StandInFixedInfo({2, 0, 927, 0});
  // wValueLength of the root block: 52 normally, 0 for "no fixed information";
  // only min(length, 52) bytes of `fixed` are written.
  WORD FixedInfoLength = 52;
  bool StringFileInfo = true;
  // false: no VarFileInfo block at all, so there is no translation table.
  bool VarFileInfo = true;
  // false: a VarFileInfo block without its Translation child.
  bool TranslationBlock = true;
  // Pairs of language (low word) and code page (high word).
  std::vector<DWORD> Translations{0x04E40809};
  // Damage: lengths that claim more than there is.
  std::optional<WORD> RootLength;
  std::optional<WORD> TranslationValueLength;
  std::optional<WORD> VarFileInfoLength;  // wLength of the VarFileInfo block
};

std::vector<BYTE> BuildVersionResource(const VersionResourceLayout& resource);
inline std::vector<BYTE> BuildVersionResource(const FileVersionParts& fileVersion) {
  VersionResourceLayout resource;
  resource.Fixed = StandInFixedInfo(fileVersion);
  return BuildVersionResource(resource);
}
