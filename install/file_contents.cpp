#include "install/file_contents.h"

#include <vector>

#include "install/failed_steps.h"
#include "services/files.h"
#include "services/handles.h"

namespace {

constexpr WORD kMachineI386 = 0x14C;
constexpr WORD kOptionalMagicPe32 = 0x10B;
constexpr WORD kExecutableImage = 0x0002;
constexpr WORD kDll = 0x2000;
constexpr WORD kSubsystemNative = 1;
constexpr WORD kSubsystemGui = 2;
constexpr WORD kSubsystemConsole = 3;
// The headers of any image the linkers make lie within its first page.
constexpr DWORD kHeadSize = 4096;

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
  for (int shift = 12; shift >= 0; shift -= 4) {
    if ((value >> shift) || shift == 0 || at > 2) text[at++] = digits[(value >> shift) & 0xF];
  }
  text[at] = '\0';
  return text;
}

const char* SubsystemName(DWORD subsystem) {
  switch (subsystem) {
    case kSubsystemNative:
      return "native (kernel mode)";
    case kSubsystemGui:
      return "Windows GUI";
    case kSubsystemConsole:
      return "Windows console";
    default:
      return "another";
  }
}

std::string ImageProblem(const std::vector<BYTE>& head, FileKind kind) {
  const char* const notImage = "it is not a Windows program file";
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return notImage;
  const DWORD pe = Dword(head, 0x3C);
  // Signature, file header (20 bytes) and the PE32 optional header up to its subsystem.
  if (pe > head.size() || head.size() - pe < 4 + 20 + 70) return notImage;
  if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) return notImage;
  const DWORD machine = Word(head, pe + 4);
  if (machine != kMachineI386)
    return Concat({"it is built for another processor (machine type ", Hex(machine), "), not 32-bit x86"});
  const DWORD characteristics = Word(head, pe + 22);
  if (Word(head, pe + 24) != kOptionalMagicPe32) return "it is not a 32-bit image";
  if (!(characteristics & kExecutableImage)) return "it is not an executable image";
  const DWORD subsystem = Word(head, pe + 24 + 68);
  if (kind == FileKind::KernelDriver) {
    if (subsystem != kSubsystemNative) {
      return Concat({"it is not a kernel driver: it is made for the ", SubsystemName(subsystem), " subsystem"});
    }
    return std::string();
  }
  if (characteristics & kDll) return "it is a DLL, not a program";
  if (subsystem != kSubsystemGui && subsystem != kSubsystemConsole) {
    return Concat({"it is not a Windows program: it is made for the ", SubsystemName(subsystem), " subsystem"});
  }
  return std::string();
}

}  // namespace

ContentCheck CheckFileContents(Os& os, const std::string& path, FileKind kind) {
  UniqueFileHandle file = OpenFileToRead(os, path);
  if (!file) return {os.GetLastError(), ""};
  DWORD sizeHigh = 0;
  os.SetLastError(ERROR_SUCCESS);  // a size of 0xFFFFFFFF is not a failure by itself
  const DWORD size = os.GetFileSize(file.get(), &sizeHigh);
  if (size == INVALID_FILE_SIZE) {
    const DWORD error = os.GetLastError();
    if (error != ERROR_SUCCESS) return {error, ""};
  }
  const bool large = sizeHigh != 0 || size == INVALID_FILE_SIZE;
  if (size == 0 && !large) return {0, "it is empty"};
  if (kind == FileKind::BootLoader) {
    if (!large && size < MinBootLoaderSize) {
      return {0, Concat({"it is only ", std::to_string(size), " bytes long, and a boot loader is at least ",
                         std::to_string(MinBootLoaderSize), " bytes long"})};
    }
    return {0, ""};
  }
  std::vector<BYTE> head(large || size > kHeadSize ? kHeadSize : size);
  DWORD read = 0;
  if (!os.ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) {
    return {os.GetLastError(), ""};
  }
  head.resize(read);
  return {0, ImageProblem(head, kind)};
}

std::string ContentProblemText(const std::string& path, const ContentCheck& check) {
  if (check.error) {
    return Concat({"The file \"", path, "\" could not be read.  Error ", std::to_string(check.error),
                   "\r\rNothing has been changed."});
  }
  return Concat({"The file \"", path, "\" cannot be installed: ", check.problem, ".\r\rNothing has been changed."});
}
