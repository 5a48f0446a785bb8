// The steps of an installation that went wrong, in the words the user reads.
#pragma once

#include <string>
#include <vector>

#include "services/concat.h"
#include "services/win_types.h"

class TFailedSteps {
 public:
  void Add(const std::string& line);
  // The line with "  Error <code>" after it.
  void Add(const std::string& line, DWORD error);
  bool Empty() const { return Lines_.empty(); }
  size_t Count() const { return Lines_.size(); }
  // Each line after a CR.
  std::string Text() const;

 private:
  std::vector<std::string> Lines_;
};

// Two paragraphs of a message with an empty line between them; either may be
// empty, and then no empty line is added.
std::string JoinNotes(const std::string& first, const std::string& second);
