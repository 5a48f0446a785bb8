#include "install/pe_image.h"

#include <algorithm>
#include <cstdint>

#include "services/concat.h"

namespace {

constexpr WORD kMachineI386 = 0x14C;
constexpr WORD kOptionalMagicPe32 = 0x10B;
constexpr WORD kExecutableImage = 0x0002;
constexpr WORD kDll = 0x2000;
constexpr WORD kSubsystemNative = 1;
constexpr WORD kSubsystemGui = 2;
constexpr WORD kSubsystemConsole = 3;
constexpr DWORD kSectionCode = 0x00000020;
constexpr DWORD kSectionExecute = 0x20000000;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
// A PE32 optional header's fields up to and including NumberOfRvaAndSizes.
constexpr size_t kOptionalHeaderFields = 96;

DWORD Word(const std::vector<BYTE>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8);
}
DWORD Dword(const std::vector<BYTE>& bytes, size_t at) {
  return Word(bytes, at) | (Word(bytes, at + 2) << 16);
}

std::string Hex(DWORD value) {
  static const char digits[] = "0123456789ABCDEF";
  char text[11] = "0x";
  int at = 2;
  for (int shift = 28; shift >= 0; shift -= 4) {
    if ((value >> shift) || shift == 0 || at > 2) text[at++] = digits[(value >> shift) & 0xF];
  }
  text[at] = '\0';
  return text;
}

std::string SubsystemText(DWORD subsystem) {
  switch (subsystem) {
    case kSubsystemNative:
      return "the native (kernel mode) subsystem";
    case kSubsystemGui:
      return "the Windows GUI subsystem";
    case kSubsystemConsole:
      return "the Windows console subsystem";
    default:
      return Concat({"an unknown subsystem (number ", DecimalText(subsystem), ")"});
  }
}

bool IsPowerOfTwo(DWORD value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// alignment: a power of two. A mask rather than a division, which would link
// the library's 64-bit division into the exe for this alone.
uint64_t AlignUp(uint64_t value, DWORD alignment) {
  return (value + alignment - 1) & ~(uint64_t{alignment} - 1);
}

struct Section {
  DWORD VirtualAddress;
  uint64_t VirtualExtent;  // its size in memory
  DWORD RawSize;
  DWORD RawOffset;
  DWORD Characteristics;
};

Section SectionAt(const std::vector<BYTE>& bytes, size_t at) {
  const DWORD virtualSize = Dword(bytes, at + 8);
  const DWORD rawSize = Dword(bytes, at + 16);
  return {Dword(bytes, at + 12), virtualSize ? virtualSize : rawSize, rawSize, Dword(bytes, at + 20),
          Dword(bytes, at + 36)};
}

// The sections' raw data inside the file, their addresses ascending and
// adjacent at the section alignment, the image size holding them all, and the
// entry point inside code that the file carries.
std::string LayoutProblem(const std::vector<BYTE>& bytes, size_t optional, size_t sectionTable, DWORD sections) {
  const DWORD sectionAlignment = Dword(bytes, optional + 32);
  const DWORD fileAlignment = Dword(bytes, optional + 36);
  const DWORD imageSize = Dword(bytes, optional + 56);
  const DWORD headersSize = Dword(bytes, optional + 60);
  const DWORD entryPoint = Dword(bytes, optional + 16);
  const char* const layout = "it is damaged: its image size or section alignment does not agree with its sections";
  if (sections == 0) return layout;
  if (!IsPowerOfTwo(sectionAlignment) || !IsPowerOfTwo(fileAlignment) || fileAlignment > sectionAlignment ||
      imageSize % sectionAlignment != 0) {
    return layout;
  }
  uint64_t next = headersSize;
  bool entryInCode = false;
  for (DWORD i = 0; i < sections; ++i) {
    const Section section = SectionAt(bytes, sectionTable + i * kSectionHeaderSize);
    if (section.RawSize != 0 && uint64_t{section.RawOffset} + section.RawSize > bytes.size()) {
      return "it is incomplete: its sections run past the end of the file, as in a copy cut short";
    }
    if (section.VirtualAddress % sectionAlignment != 0 || section.VirtualAddress < next ||
        (i > 0 && section.VirtualAddress != next)) {
      return layout;
    }
    next = AlignUp(uint64_t{section.VirtualAddress} + section.VirtualExtent, sectionAlignment);
    const uint64_t carried = std::min<uint64_t>(section.VirtualExtent, section.RawSize);
    if ((section.Characteristics & (kSectionCode | kSectionExecute)) && entryPoint >= section.VirtualAddress &&
        entryPoint - section.VirtualAddress < carried) {
      entryInCode = true;
    }
  }
  if (next > imageSize) return layout;
  if (!entryInCode) return Concat({"it is damaged: its entry point (", Hex(entryPoint), ") lies outside its code"});
  return std::string();
}

}  // namespace

DWORD ImageCheckSum(const std::vector<BYTE>& bytes, size_t checkSumAt) {
  uint32_t sum = 0;
  for (size_t at = 0; at < bytes.size(); at += 2) {
    if (at >= checkSumAt && at < checkSumAt + 4) continue;
    sum += at + 1 < bytes.size() ? Word(bytes, at) : bytes[at];
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<DWORD>(bytes.size());
}

std::string ImageProblem(const std::vector<BYTE>& bytes, ImageKind kind) {
  const char* const notImage = "it is not a Windows program file";
  if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return notImage;
  const uint64_t pe = Dword(bytes, 0x3C);
  if (pe + 4 + kFileHeaderSize > bytes.size()) return notImage;
  if (bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 || bytes[pe + 3] != 0) return notImage;
  const size_t fileHeader = pe + 4;
  const DWORD machine = Word(bytes, fileHeader);
  const DWORD sections = Word(bytes, fileHeader + 2);
  const DWORD optionalSize = Word(bytes, fileHeader + 16);
  const DWORD characteristics = Word(bytes, fileHeader + 18);
  const size_t optional = fileHeader + kFileHeaderSize;
  const size_t sectionTable = optional + optionalSize;
  if (optionalSize < kOptionalHeaderFields || uint64_t{sectionTable} + sections * kSectionHeaderSize > bytes.size()) {
    return notImage;
  }
  if (machine != kMachineI386)
    return Concat({"it is built for another processor (machine type ", Hex(machine), "), not 32-bit x86"});
  if (Word(bytes, optional) != kOptionalMagicPe32) return "it is not a 32-bit image";
  if (!(characteristics & kExecutableImage)) return "it is not an executable image";
  const DWORD subsystem = Word(bytes, optional + 68);
  if (kind == ImageKind::KernelDriver) {
    if (subsystem != kSubsystemNative)
      return Concat({"it is not a kernel driver: it is made for ", SubsystemText(subsystem)});
    if (characteristics & kDll) return "it is a DLL, not a kernel driver";
  } else {
    if (characteristics & kDll) return "it is a DLL, not a program";
    if (subsystem != kSubsystemGui && subsystem != kSubsystemConsole)
      return Concat({"it is not a Windows program: it is made for ", SubsystemText(subsystem)});
  }
  std::string layout = LayoutProblem(bytes, optional, sectionTable, sections);
  if (!layout.empty()) return layout;
  const DWORD stored = Dword(bytes, CheckSumOffset(pe));
  if (stored != 0 && stored != ImageCheckSum(bytes, CheckSumOffset(pe))) {
    return "it is damaged: its checksum does not match its contents";
  }
  return std::string();
}
