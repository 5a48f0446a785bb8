#include "support/stand_in_image.h"

#include <vector>

#include "install/file_contents.h"
#include "install/pe_image.h"

namespace {

void Put(std::string& bytes, size_t at, DWORD value, int size = 4) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutCheckSum(std::string& bytes) {
  Put(bytes, stand_in::kCheckSum, ImageCheckSum(std::vector<BYTE>(bytes.begin(), bytes.end()), stand_in::kCheckSum));
}

}  // namespace

std::string StandInImage(const std::string& text, const StandInHeader& header) {
  using namespace stand_in;
  constexpr size_t kOptional = kPe + 24;
  constexpr size_t kSection = kOptional + 224;
  constexpr DWORD kAlignment = 0x200;
  const DWORD codeSize = static_cast<DWORD>(text.empty() ? 1 : text.size());
  const DWORD rawSize = (codeSize + kAlignment - 1) / kAlignment * kAlignment;
  std::string bytes(kCode + rawSize, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put(bytes, 0x3C, kPe);
  bytes.replace(kPe, 2, "PE");
  Put(bytes, kPe + 4, header.Machine, 2);
  Put(bytes, kPe + 6, 1, 2);  // one section
  Put(bytes, kPe + 20, 224, 2);
  Put(bytes, kPe + 22, (header.Executable ? 0x0002 : 0) | 0x0100 | (header.Dll ? 0x2000 : 0), 2);
  Put(bytes, kOptional, header.OptionalMagic, 2);
  Put(bytes, kEntryPoint, 0x1000);
  Put(bytes, kOptional + 28, 0x10000);  // image base
  Put(bytes, kOptional + 32, 0x1000);   // section alignment
  Put(bytes, kOptional + 36, kAlignment);
  Put(bytes, kImageSize, 0x1000 + (codeSize + 0xFFF) / 0x1000 * 0x1000);
  Put(bytes, kOptional + 60, static_cast<DWORD>(kCode));  // size of the headers
  Put(bytes, kOptional + 68, header.Subsystem, 2);
  Put(bytes, kOptional + 92, 16);  // data directories
  bytes.replace(kSection, 5, ".text");
  Put(bytes, kSection + 8, codeSize);
  Put(bytes, kSection + 12, 0x1000);
  Put(bytes, kSectionRawSize, rawSize);
  Put(bytes, kSection + 20, static_cast<DWORD>(kCode));
  Put(bytes, kSection + 36, 0x60000020);  // code, executable, readable
  bytes.replace(kCode, text.size(), text);
  PutCheckSum(bytes);
  return bytes;
}

std::string StandInBootLoader(const std::string& text) {
  return text + std::string(kMinBootLoaderSize > text.size() ? kMinBootLoaderSize - text.size() : 0, '\0');
}

void PatchStandIn(std::string& image, size_t at, DWORD value) {
  Put(image, at, value);
  PutCheckSum(image);
}
