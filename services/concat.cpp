#include "services/concat.h"

#include <cstring>

std::string Concat(std::initializer_list<TextPart> parts) {
  size_t size = 0;
  for (const TextPart& part : parts) size += std::strlen(part.Text);
  std::string text;
  text.reserve(size);
  for (const TextPart& part : parts) text.append(part.Text);
  return text;
}
