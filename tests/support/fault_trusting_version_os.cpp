#include "support/fault_trusting_version_os.h"

#include <cstdint>
#include <string>

#include "support/case_insensitive.h"
#include "support/version_block.h"

namespace fault {

namespace {

using version_block::AlignUp;
using version_block::kTextType;
using version_block::WordAt;

struct Node {
  size_t End;  // as wLength states it
  std::string Key;
  size_t ValueAt;
  WORD ValueLength;  // as stated: bytes, or characters for text
  size_t ChildrenAt;
};

// The header and key at `at`; false only when they do not fit in the buffer.
bool ReadNode(const BYTE* block, size_t size, size_t at, Node* node) {
  if (at + 6 > size) return false;
  node->End = at + WordAt(block, at);
  node->ValueLength = WordAt(block, at + 2);
  const WORD type = WordAt(block, at + 4);
  node->Key.clear();
  size_t p = at + 6;
  for (;; p += 2) {
    if (p + 2 > size) return false;
    const WORD c = WordAt(block, p);
    if (c == 0) break;
    node->Key += c < 0x80 ? static_cast<char>(c) : '?';
  }
  node->ValueAt = AlignUp(p + 2);
  node->ChildrenAt = AlignUp(node->ValueAt + (type == kTextType ? size_t{node->ValueLength} * 2 : node->ValueLength));
  return true;
}

}  // namespace

BOOL TTrustingVersionOs::GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) {
  const BOOL filled = TFakeOs::GetFileVersionInfoA(fileName, handle, size, data);
  if (filled) Filled_[data] = size;
  return filled;
}

BOOL TTrustingVersionOs::VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
  const auto filled = Filled_.find(block);
  if (filled == Filled_.end() || !subBlock || !buffer || !length) return FALSE;
  const auto* bytes = static_cast<const BYTE*>(block);
  const size_t size = filled->second;

  Node node;
  if (!ReadNode(bytes, size, 0, &node)) return FALSE;
  std::string part;
  for (const char* c = subBlock;; ++c) {
    if (*c != '\\' && *c != '\0') {
      part += *c;
      continue;
    }
    if (!part.empty()) {
      bool found = false;
      for (size_t at = node.ChildrenAt; at < node.End && !found;) {
        Node child;
        if (!ReadNode(bytes, size, at, &child) || child.End <= at) return FALSE;
        found = FoldedCase(child.Key) == FoldedCase(part);
        if (found) node = child;
        at = AlignUp(child.End);
      }
      if (!found) return FALSE;
      part.clear();
    }
    if (*c == '\0') break;
  }
  // Address arithmetic on integers: the value may lie past the buffer.
  *buffer = reinterpret_cast<LPVOID>(reinterpret_cast<uintptr_t>(bytes) + node.ValueAt);
  *length = node.ValueLength;
  return TRUE;
}

}  // namespace fault
