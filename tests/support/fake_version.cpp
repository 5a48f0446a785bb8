#include "support/fake_version.h"

#include <string>
#include <vector>

#include "support/case_insensitive.h"
#include "support/version_block.h"

namespace {

using version_block::AlignUp;
using version_block::kTextType;
using version_block::WordAt;

struct Node {
  size_t End;
  std::string Key;
  WORD Type;
  size_t ValueAt;
  size_t ValueBytes;
  WORD ValueLength;  // as stored: bytes, or characters for text
  size_t ChildrenAt;
};

// The node at `at`, which must lie within `limit`.
bool ReadNode(const BYTE* block, size_t at, size_t limit, Node* node) {
  if (at + 6 > limit) return false;
  const WORD length = WordAt(block, at);
  if (length < 6 || length > limit - at) return false;
  node->End = at + length;
  node->ValueLength = WordAt(block, at + 2);
  node->Type = WordAt(block, at + 4);
  node->Key.clear();
  size_t p = at + 6;
  for (;; p += 2) {
    if (p + 2 > node->End) return false;
    const WORD c = WordAt(block, p);
    if (c == 0) break;
    node->Key += c < 0x80 ? static_cast<char>(c) : '?';
  }
  node->ValueAt = AlignUp(p + 2);
  node->ValueBytes = node->Type == kTextType ? size_t{node->ValueLength} * 2 : node->ValueLength;
  if (node->ValueBytes > 0 && (node->ValueAt > node->End || node->ValueBytes > node->End - node->ValueAt)) return false;
  node->ChildrenAt = AlignUp(node->ValueAt + node->ValueBytes);
  return true;
}

std::vector<std::string> PathParts(const char* subBlock) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* c = subBlock;; ++c) {
    if (*c == '\\' || *c == '\0') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (*c == '\0') break;
    } else {
      part += *c;
    }
  }
  return parts;
}

}  // namespace

bool FindVersionValue(const BYTE* block, size_t limit, const char* subBlock, const BYTE** value, UINT* length) {
  if (!block || !subBlock) return false;
  Node node;
  if (!ReadNode(block, 0, limit, &node)) return false;
  for (const std::string& part : PathParts(subBlock)) {
    Node child;
    bool found = false;
    for (size_t at = node.ChildrenAt; at + 6 <= node.End && !found; at = AlignUp(child.End)) {
      if (!ReadNode(block, at, node.End, &child)) return false;
      found = FoldedCase(child.Key) == FoldedCase(part);
    }
    if (!found) return false;
    node = child;
  }
  if (node.Type == kTextType && node.ValueBytes > 0) return false;
  *value = block + (node.ValueAt < node.End ? node.ValueAt : node.End);
  *length = node.ValueLength;
  return true;
}
