// Finding the unwind entry of a code address, standing in for libgcc's
// unwind-dw2-fde.c. The library sorts every entry of every registered table
// into an array at the first throw, under a lock, with some 10 KB of code;
// this program has one table (the exe's .eh_frame section, which crtbegin.o
// registers at start-up) and throws rarely, so a walk through it is enough.
//
// The table is the exception frame format of the System V ABI's supplement
// for DWARF (.eh_frame): records of a 32-bit length (0 ends the table), a
// 32-bit field that is 0 in a CIE and otherwise the distance back to the
// FDE's CIE, then the record. An FDE's code range is encoded as its CIE's
// "R" augmentation says. What follows mirrors GCC 12's i686 libgcc, whose
// unwinder calls _Unwind_Find_FDE; tests/lean_runtime throws through it
// every way the program does.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if __GNUC__ != 12 || !defined(__i386__)
#error "lean_unwind_lookup.cpp mirrors GCC 12's i686 unwinder: check it against this compiler's libgcc"
#endif

// The unwinder's own layout of what it is told besides the entry
// (unwind-dw2-fde.h).
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};

namespace {

using Byte = unsigned char;

const Byte* gFrameTable;  // the exe's .eh_frame, as crtbegin.o registers it

// Pointer encodings (DW_EH_PE_*): the low four bits give the format, the
// next three what the value is relative to.
constexpr Byte kEncodingOmitted = 0xff;
constexpr Byte kAbsolutePointer = 0x00;
constexpr Byte kUleb128 = 0x01;
constexpr Byte kUdata2 = 0x02;
constexpr Byte kUdata4 = 0x03;
constexpr Byte kSleb128 = 0x09;
constexpr Byte kSdata2 = 0x0a;
constexpr Byte kSdata4 = 0x0b;
constexpr Byte kRelativeMask = 0x70;
constexpr Byte kPcRelative = 0x10;
constexpr Byte kAligned = 0x50;
constexpr Byte kIndirect = 0x80;

std::uint32_t Read32(const Byte* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// A LEB128 number at p, p moved past it; sign-extended when `isSigned`.
std::uintptr_t ReadLeb128(const Byte*& p, bool isSigned) {
  std::uintptr_t value = 0;
  unsigned shift = 0;
  Byte byte;
  do {
    byte = *p++;
    if (shift < 32) value |= static_cast<std::uintptr_t>(byte & 0x7f) << shift;
    shift += 7;
  } while (byte & 0x80);
  if (isSigned && shift < 32 && (byte & 0x40)) value |= ~std::uintptr_t{0} << shift;
  return value;
}

// One encoded value at p, p moved past it. False for a format or base this
// target's compiler does not write (8-byte values, text, data or function
// relative).
bool ReadEncoded(Byte encoding, const Byte*& p, std::uintptr_t* value) {
  const Byte* field = p;
  if ((encoding & kRelativeMask) == kAligned) {
    p = reinterpret_cast<const Byte*>((reinterpret_cast<std::uintptr_t>(p) + 3) & ~std::uintptr_t{3});
    *value = Read32(p);
    p += 4;
    return true;
  }
  switch (encoding & 0x0f) {
    case kAbsolutePointer:
    case kUdata4:
    case kSdata4:
      *value = Read32(p);
      p += 4;
      break;
    case kUdata2:
      *value = static_cast<std::uint16_t>(p[0] | p[1] << 8);
      p += 2;
      break;
    case kSdata2:
      *value = static_cast<std::uintptr_t>(static_cast<std::int16_t>(p[0] | p[1] << 8));
      p += 2;
      break;
    case kUleb128:
    case kSleb128:
      *value = ReadLeb128(p, encoding & 0x08);
      break;
    default:
      return false;
  }
  if (*value == 0) return true;  // a null pointer stays null, whatever its base
  switch (encoding & kRelativeMask) {
    case 0:
      break;
    case kPcRelative:
      *value += reinterpret_cast<std::uintptr_t>(field);
      break;
    default:
      return false;
  }
  if (encoding & kIndirect) *value = *reinterpret_cast<const std::uintptr_t*>(*value);
  return true;
}

// The encoding of the code ranges in the FDEs of this CIE; false when the
// CIE cannot be read.
bool FdeEncoding(const Byte* cie, Byte* encoding) {
  const Byte* p = cie + 8;
  const Byte version = *p++;
  const char* augmentation = reinterpret_cast<const char*>(p);
  p += std::strlen(augmentation) + 1;
  ReadLeb128(p, false);  // code alignment
  ReadLeb128(p, true);   // data alignment
  if (version == 1) {
    ++p;  // return address register
  } else {
    ReadLeb128(p, false);
  }
  *encoding = kAbsolutePointer;
  if (augmentation[0] != 'z') return augmentation[0] == '\0';
  ReadLeb128(p, false);  // the augmentation data's length
  for (const char* letter = augmentation + 1; *letter; ++letter) {
    if (*letter == 'R') {
      *encoding = *p;
      return true;
    }
    if (*letter == 'P') {
      const Byte personalityEncoding = *p++;
      std::uintptr_t personality;
      if (!ReadEncoded(personalityEncoding & ~kIndirect, p, &personality)) return false;
    } else if (*letter == 'L') {
      ++p;
    } else if (*letter != 'S' && *letter != 'B') {
      return false;  // an augmentation this reader does not know the length of
    }
  }
  return true;
}

}  // namespace

extern "C" {

// crtbegin.o registers the exe's table at start-up, and takes it back at
// exit; the object it passes is the library's bookkeeping, which this lookup
// does not need. A second table (code of another module registering its own)
// would have its throws end the program far from the cause, or hide the
// exe's table: the program ends here instead, at once and plainly.
void __register_frame_info(const void* begin, void* /*object*/) {
  if (gFrameTable && gFrameTable != begin) std::abort();
  gFrameTable = static_cast<const Byte*>(begin);
}

void* __deregister_frame_info(const void* begin) {
  if (begin == gFrameTable) gFrameTable = nullptr;
  return nullptr;
}

// The FDE whose code range holds pc, or null (the unwinder then ends the
// program: no handler can be found without it). As the library does, an
// entry whose code start is null belongs to code the link threw away.
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases) {
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(pc);
  for (const Byte* record = gFrameTable; record && Read32(record) != 0; record += 4 + Read32(record)) {
    if (Read32(record) == 0xffffffff) return nullptr;  // 64-bit lengths are not written on this target
    const std::uint32_t cieDistance = Read32(record + 4);
    if (cieDistance == 0) continue;  // a CIE
    Byte encoding;
    if (!FdeEncoding(record + 4 - cieDistance, &encoding) || encoding == kEncodingOmitted) continue;
    const Byte* p = record + 8;
    std::uintptr_t start;
    std::uintptr_t length;
    if (!ReadEncoded(encoding, p, &start) || !ReadEncoded(encoding & 0x0f, p, &length)) continue;
    if (start == 0) continue;
    if (address - start < length) {
      bases->tbase = nullptr;
      bases->dbase = nullptr;
      bases->func = reinterpret_cast<void*>(start);
      return record;
    }
  }
  return nullptr;
}

}  // extern "C"
