#include "services/version_info.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "services/environment.h"

namespace {

// The old block is freed before the new one is taken: a version resource can
// be large, and two of them need not be held at once.
void ReplaceBuffer(std::vector<BYTE>& buffer, const BYTE* data, size_t length) {
  std::vector<BYTE>().swap(buffer);
  buffer.assign(data, data + length);
}

}  // namespace

TVersionInfo::TVersionInfo(TOs& os) : Os_(os) {
  SetFileName("");
}

void TVersionInfo::SetFileName(const std::string& fileName) {
  FileName_ = fileName.empty() ? RunningProgramPath(Os_) : fileName;
  ResetVersionData();
  LoadVersionData();
}

void TVersionInfo::ResetVersionData() {
  HasVersionData_ = false;
}

void TVersionInfo::LoadVersionData() {
  HasVersionData_ = false;
  FixedInfo_ = TFixedFileInfo{};
  TranslationCount_ = 0;

  DWORD handle = 0;
  const DWORD size = Os_.GetFileVersionInfoSizeA(FileName_.c_str(), &handle);
  if (size == 0) return;
  std::vector<BYTE>().swap(VersionBuffer_);
  VersionBuffer_.resize(size);
  if (!Os_.GetFileVersionInfoA(FileName_.c_str(), handle, size, VersionBuffer_.data())) return;
  HasVersionData_ = true;

  const Block fixed = QueryVersionBuffer("\\");
  if (fixed.Length > 0) std::memcpy(&FixedInfo_, fixed.Data, std::min(fixed.Length, sizeof FixedInfo_));

  const Block table = QueryVersionBuffer("\\VarFileInfo\\Translation");
  TranslationCount_ = static_cast<int>(table.Length / 4);
  ReplaceBuffer(TranslationBuffer_, table.Data, table.Length);

  SelectTranslation(0);
}

// VerQueryValueA trusts the lengths inside the resource: a damaged one can
// point, or reach, past the buffer. Such a value counts as not found.
TVersionInfo::Block TVersionInfo::QueryVersionBuffer(const char* subBlock) const {
  LPVOID value = nullptr;
  UINT length = 0;
  if (!Os_.VerQueryValueA(VersionBuffer_.data(), subBlock, &value, &length) || value == nullptr) return {nullptr, 0};
  const auto begin = reinterpret_cast<uintptr_t>(VersionBuffer_.data());
  const auto end = begin + VersionBuffer_.size();
  const auto at = reinterpret_cast<uintptr_t>(value);
  if (at < begin || at > end || length > end - at) return {nullptr, 0};
  return {static_cast<const BYTE*>(value), length};
}

void TVersionInfo::SelectTranslation(int index) {
  TranslationIndex_ = (index >= 0 && index < TranslationCount_) ? index : -1;
}

FileVersionParts TVersionInfo::GetFileVersion() const {
  return {static_cast<WORD>(FixedInfo_.dwFileVersionMS >> 16), static_cast<WORD>(FixedInfo_.dwFileVersionMS & 0xFFFF),
          static_cast<WORD>(FixedInfo_.dwFileVersionLS >> 16), static_cast<WORD>(FixedInfo_.dwFileVersionLS & 0xFFFF)};
}
