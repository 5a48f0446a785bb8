// The steps of an installation that went wrong, in the words the user reads.
#pragma once

#include <string>
#include <vector>

#include "services/win_types.h"

class FailedSteps {
 public:
  void Add(const std::string& line) { lines_.push_back(line); }
  void Add(const std::string& line, DWORD error) { Add(line + "  Error " + std::to_string(error)); }
  bool Empty() const { return lines_.empty(); }
  std::string Text() const {
    std::string text;
    for (const std::string& line : lines_) text += "\r" + line;
    return text;
  }

 private:
  std::vector<std::string> lines_;
};
