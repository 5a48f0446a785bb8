// The steps of an installation that went wrong, in the words the user reads.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "services/win_types.h"

class FailedSteps {
 public:
  void Add(const std::string& line);
  // The line with "  Error <code>" after it.
  void Add(const std::string& line, DWORD error);
  bool Empty() const { return lines_.empty(); }
  // Each line after a CR.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

// The parts, one after another: messages are put together in one call, not
// in a chain of temporaries at every place that writes one.
std::string Concat(std::initializer_list<std::string_view> parts);
