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

std::string DecimalText(unsigned long value) {
  char digits[20];  // enough for 64 bits, as unsigned long is off Windows
  char* first = digits + sizeof digits;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::string(first, digits + sizeof digits);
}
