// What each step of an action came to, in the words the user reads: done,
// left as it was (and why), or failed (with the Windows code). Steps write
// here and never show anything; the action shows what the log holds, at the
// moment the user expects it. One log per click.
#pragma once

#include <string>
#include <vector>

#include "services/concat.h"
#include "services/win_types.h"

class TStepLog {
 public:
  void Done(const std::string& line) { Done_.push_back(line); }
  void Left(const std::string& line) { Left_.push_back(line); }
  void Failed(const std::string& line);
  // The line with "  Error <code>" after it.
  void Failed(const std::string& line, DWORD error);
  // A value that could not be written: the action ends there, and the error
  // report shows `report` ("Failed to set data for '<name>'") once the click
  // has put back what it must.
  void ValueNotWritten(const std::string& report);

  bool AnyDone() const { return !Done_.empty(); }
  bool AnyLeft() const { return !Left_.empty(); }
  bool AnyFailed() const { return !Failed_.empty() || !ValueWriteReport_.empty(); }
  size_t FailedCount() const { return Failed_.size(); }
  // Empty unless a value write failed.
  const std::string& ValueWriteReport() const { return ValueWriteReport_; }

  // Each line after a CR.
  std::string DoneText() const { return Lines(Done_); }
  std::string LeftText() const { return Lines(Left_); }
  std::string FailedText() const { return Lines(Failed_); }

 private:
  static std::string Lines(const std::vector<std::string>& lines);
  std::vector<std::string> Done_;
  std::vector<std::string> Left_;
  std::vector<std::string> Failed_;
  std::string ValueWriteReport_;
};

// Two paragraphs of a message with an empty line between them; either may be
// empty, and then no empty line is added.
std::string JoinNotes(const std::string& first, const std::string& second);
