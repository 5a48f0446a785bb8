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

TVersionInfo::TVersionInfo(TOs& os) : os_(os) {
  SetFileName("");
}

void TVersionInfo::SetFileName(const std::string& fileName) {
  fileName_ = fileName.empty() ? RunningProgramPath(os_) : fileName;
  ResetVersionData();
  LoadVersionData();
}

void TVersionInfo::ResetVersionData() {
  hasVersionData_ = false;
}

void TVersionInfo::LoadVersionData() {
  hasVersionData_ = false;
  fixedInfo_ = TFixedFileInfo{};
  translationCount_ = 0;

  DWORD handle = 0;
  const DWORD size = os_.GetFileVersionInfoSizeA(fileName_.c_str(), &handle);
  if (size == 0) return;
  std::vector<BYTE>().swap(versionBuffer_);
  versionBuffer_.resize(size);
  if (!os_.GetFileVersionInfoA(fileName_.c_str(), handle, size, versionBuffer_.data())) return;
  hasVersionData_ = true;

  const Block fixed = QueryVersionBuffer("\\");
  if (fixed.length > 0) std::memcpy(&fixedInfo_, fixed.data, std::min(fixed.length, sizeof fixedInfo_));

  const Block table = QueryVersionBuffer("\\VarFileInfo\\Translation");
  translationCount_ = static_cast<int>(table.length / 4);
  ReplaceBuffer(translationBuffer_, table.data, table.length);

  SelectTranslation(0);
}

// VerQueryValueA trusts the lengths inside the resource: a damaged one can
// point, or reach, past the buffer. Such a value counts as not found.
TVersionInfo::Block TVersionInfo::QueryVersionBuffer(const char* subBlock) const {
  LPVOID value = nullptr;
  UINT length = 0;
  if (!os_.VerQueryValueA(versionBuffer_.data(), subBlock, &value, &length) || value == nullptr) return {nullptr, 0};
  const auto begin = reinterpret_cast<uintptr_t>(versionBuffer_.data());
  const auto end = begin + versionBuffer_.size();
  const auto at = reinterpret_cast<uintptr_t>(value);
  if (at < begin || at > end || length > end - at) return {nullptr, 0};
  return {static_cast<const BYTE*>(value), length};
}

void TVersionInfo::SelectTranslation(int index) {
  translationIndex_ = (index >= 0 && index < translationCount_) ? index : -1;
}

FileVersionParts TVersionInfo::GetFileVersion() const {
  return {static_cast<WORD>(fixedInfo_.dwFileVersionMS >> 16), static_cast<WORD>(fixedInfo_.dwFileVersionMS & 0xFFFF),
          static_cast<WORD>(fixedInfo_.dwFileVersionLS >> 16), static_cast<WORD>(fixedInfo_.dwFileVersionLS & 0xFFFF)};
}
