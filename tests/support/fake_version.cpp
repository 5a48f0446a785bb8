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
  size_t end;
  std::string key;
  WORD type;
  size_t valueAt;
  size_t valueBytes;
  WORD valueLength;  // as stored: bytes, or characters for text
  size_t childrenAt;
};

// The node at `at`, which must lie within `limit`.
bool ReadNode(const BYTE* block, size_t at, size_t limit, Node* node) {
  if (at + 6 > limit) return false;
  const WORD length = WordAt(block, at);
  if (length < 6 || length > limit - at) return false;
  node->end = at + length;
  node->valueLength = WordAt(block, at + 2);
  node->type = WordAt(block, at + 4);
  node->key.clear();
  size_t p = at + 6;
  for (;; p += 2) {
    if (p + 2 > node->end) return false;
    const WORD c = WordAt(block, p);
    if (c == 0) break;
    node->key += c < 0x80 ? static_cast<char>(c) : '?';
  }
  node->valueAt = AlignUp(p + 2);
  node->valueBytes = node->type == kTextType ? size_t{node->valueLength} * 2 : node->valueLength;
  if (node->valueBytes > 0 && (node->valueAt > node->end || node->valueBytes > node->end - node->valueAt)) return false;
  node->childrenAt = AlignUp(node->valueAt + node->valueBytes);
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
    for (size_t at = node.childrenAt; at + 6 <= node.end && !found; at = AlignUp(child.end)) {
      if (!ReadNode(block, at, node.end, &child)) return false;
      found = FoldedCase(child.key) == FoldedCase(part);
    }
    if (!found) return false;
    node = child;
  }
  if (node.type == kTextType && node.valueBytes > 0) return false;
  *value = block + (node.valueAt < node.end ? node.valueAt : node.end);
  *length = node.valueLength;
  return true;
}
