// The text block a message dialog copies on Ctrl+C.
#pragma once

#include <string>
#include <vector>

inline std::string CopiedDialogText(const std::string& caption, const std::string& message,
                                    const std::vector<std::string>& buttons) {
  const std::string rule(27, '-');
  std::string text = rule + "\r\n" + caption + "\r\n" + rule + "\r\n" + message + "\r\n" + rule + "\r\n";
  for (const std::string& button : buttons) text += button + "   ";
  return text + "\r\n" + rule + "\r\n";
}
