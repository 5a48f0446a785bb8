// Names compared as Windows compares registry, environment and file names:
// ASCII letters without regard to case, other bytes as they are.
#pragma once

#include <string>

inline char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string FoldedCase(std::string text) {
  for (char& c : text) c = FoldCase(c);
  return text;
}

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const { return FoldedCase(a) < FoldedCase(b); }
};
