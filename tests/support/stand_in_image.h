// The contents of stand-in driver files for FakeOs: just enough of a PE
// header for the content checks, followed by a text that tells copies apart.
#pragma once

#include <string>

#include "services/win_types.h"

struct StandInHeader {
  WORD subsystem = 1;  // 1 native, 2 Windows GUI, 3 Windows console
  WORD machine = 0x14C;
  bool dll = false;
  WORD optionalMagic = 0x10B;  // PE32; 0x20B is PE32+
};

std::string StandInImage(const std::string& text, const StandInHeader& header = {});
inline std::string StandInDriver(const std::string& text) {
  return StandInImage(text);
}
inline std::string StandInProgram(const std::string& text) {
  return StandInImage(text, {3});
}
// `text`, padded to the smallest size a boot loader may have.
std::string StandInBootLoader(const std::string& text);
