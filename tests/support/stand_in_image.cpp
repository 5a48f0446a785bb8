#include "support/stand_in_image.h"

#include "install/file_contents.h"

namespace {

void PutWord(std::string& bytes, size_t at, WORD value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

}  // namespace

std::string StandInImage(const std::string& text, const StandInHeader& header) {
  constexpr size_t kPe = 0x40;
  std::string bytes(kPe + 4 + 20 + 224, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  PutWord(bytes, 0x3C, kPe);
  bytes.replace(kPe, 2, "PE");
  PutWord(bytes, kPe + 4, header.machine);
  PutWord(bytes, kPe + 20, 224);
  PutWord(bytes, kPe + 22, static_cast<WORD>(0x0002 | 0x0100 | (header.dll ? 0x2000 : 0)));
  PutWord(bytes, kPe + 24, header.optionalMagic);
  PutWord(bytes, kPe + 24 + 68, header.subsystem);
  return bytes + text;
}

std::string StandInBootLoader(const std::string& text) {
  return text + std::string(MinBootLoaderSize > text.size() ? MinBootLoaderSize - text.size() : 0, '.');
}
