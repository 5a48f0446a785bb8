#include "support/version_resource_builder.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr WORD kBinary = 0;
constexpr WORD kText = 1;

// Writes nested blocks: wLength, wValueLength, wType, a UTF-16 key with its
// NUL, padding to 4, the value, padding to 4, then the children.
class TBlockWriter {
 public:
  size_t Begin(const std::string& key, WORD valueLength, WORD type) {
    const size_t start = Bytes_.size();
    PutWord(0);  // wLength, filled in by End
    PutWord(valueLength);
    PutWord(type);
    PutText(key);
    Pad();
    return start;
  }
  void PutBytes(const void* data, size_t length) {
    const auto* p = static_cast<const BYTE*>(data);
    Bytes_.insert(Bytes_.end(), p, p + length);
  }
  void PutWord(WORD value) { PutBytes(&value, sizeof value); }
  void PutText(const std::string& text) {
    for (char c : text) PutWord(static_cast<BYTE>(c));
    PutWord(0);
  }
  void Pad() {
    while (Bytes_.size() % 4 != 0) Bytes_.push_back(0);
  }
  void End(size_t start) { SetWord(start, static_cast<WORD>(Bytes_.size() - start)); }
  void SetWord(size_t at, WORD value) { std::memcpy(&Bytes_[at], &value, sizeof value); }
  std::vector<BYTE>& Bytes() { return Bytes_; }

 private:
  std::vector<BYTE> Bytes_;
};

void PutString(TBlockWriter& out, const std::string& key, const std::string& value) {
  const size_t start = out.Begin(key, static_cast<WORD>(value.size() + 1), kText);
  out.PutText(value);
  out.End(start);
  out.Pad();
}

}  // namespace

TFixedFileInfo StandInFixedInfo(const FileVersionParts& fileVersion) {
  TFixedFileInfo fixed{};
  fixed.dwSignature = 0xFEEF04BD;
  fixed.dwStrucVersion = 0x00010000;
  fixed.dwFileVersionMS = (DWORD{fileVersion.Major} << 16) | fileVersion.Minor;
  fixed.dwFileVersionLS = (DWORD{fileVersion.Release} << 16) | fileVersion.Build;
  fixed.dwProductVersionMS = 0x00050001;
  fixed.dwProductVersionLS = 0x0A280000;
  fixed.dwFileFlagsMask = 0x3F;
  fixed.dwFileFlags = 0x20;
  fixed.dwFileOS = 0x40004;
  fixed.dwFileType = 3;
  fixed.dwFileSubtype = 7;
  fixed.dwFileDateMS = 0x01C4A5B6;
  fixed.dwFileDateLS = 0xC7D8E9FA;
  return fixed;
}

std::vector<BYTE> BuildVersionResource(const VersionResourceLayout& resource) {
  TBlockWriter out;
  const size_t root = out.Begin("VS_VERSION_INFO", resource.FixedInfoLength, kBinary);
  out.PutBytes(&resource.Fixed, std::min<size_t>(resource.FixedInfoLength, sizeof resource.Fixed));
  out.Pad();

  if (resource.StringFileInfo) {
    const size_t info = out.Begin("StringFileInfo", 0, kText);
    const size_t table = out.Begin("080904E4", 0, kText);
    PutString(out, "FileDescription", "Stillvane test stand-in");
    PutString(out, "FileVersion", "stand-in");
    out.End(table);
    out.End(info);
  }

  size_t translationValue = 0;
  size_t varFileInfo = 0;
  if (resource.VarFileInfo) {
    varFileInfo = out.Begin("VarFileInfo", 0, kText);
    if (resource.TranslationBlock) {
      const size_t var = out.Begin("Translation", static_cast<WORD>(resource.Translations.size() * 4), kBinary);
      translationValue = var + 2;
      for (DWORD pair : resource.Translations) out.PutBytes(&pair, sizeof pair);
      out.End(var);
    }
    out.End(varFileInfo);
  }
  out.End(root);

  if (resource.RootLength) out.SetWord(root, *resource.RootLength);
  if (resource.TranslationValueLength && translationValue)
    out.SetWord(translationValue, *resource.TranslationValueLength);
  if (resource.VarFileInfoLength && resource.VarFileInfo) out.SetWord(varFileInfo, *resource.VarFileInfoLength);
  return out.Bytes();
}
