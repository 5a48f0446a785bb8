// The contents of stand-in driver files for TFakeOs: a whole, small PE image
// (headers, one code section holding `text`, a correct checksum) that passes
// the content checks, and a boot loader of the smallest size allowed.
#pragma once

#include <string>

#include "services/win_types.h"

struct StandInHeader {
  WORD Subsystem = 1;  // 1 native, 2 Windows GUI, 3 Windows console
  WORD Machine = 0x14C;
  bool Dll = false;
  WORD OptionalMagic = 0x10B;  // PE32; 0x20B is PE32+
  bool Executable = true;      // the executable-image flag
};

// Where the fields a damaged form changes lie in a stand-in image.
namespace stand_in {
inline constexpr size_t kPe = 0x40;
inline constexpr size_t kEntryPoint = kPe + 24 + 16;
inline constexpr size_t kCheckSum = kPe + 24 + 64;
inline constexpr size_t kImageSize = kPe + 24 + 56;
inline constexpr size_t kSectionVirtualSize = kPe + 24 + 224 + 8;
inline constexpr size_t kSectionRawSize = kPe + 24 + 224 + 16;
inline constexpr size_t kCode = 0x200;  // where the section's bytes start
}  // namespace stand_in

std::string StandInImage(const std::string& text, const StandInHeader& header = {});
inline std::string StandInDriver(const std::string& text) {
  return StandInImage(text);
}
inline std::string StandInProgram(const std::string& text) {
  return StandInImage(text, {3});
}
// `text`, padded with zeros to the smallest size a boot loader may have.
std::string StandInBootLoader(const std::string& text);
// Windows' own boot loader as the machines of the tests hold it.
inline std::string OriginalBootLoader() {
  return StandInBootLoader("original boot loader");
}

// Puts `value` at `at` and the checksum that matches the result.
void PatchStandIn(std::string& image, size_t at, DWORD value);
