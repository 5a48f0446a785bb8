// The user's guide and the recovery card read as a user follows them: the
// commands they have the user type, taken from one of their sections, and
// carried out on the test machine as the Recovery Console would, refusing
// what it would refuse (a command prompt takes all the Recovery Console
// takes).
#pragma once

#include <map>
#include <string>
#include <vector>

// The guide shipped with the release (STILLVANE_GUIDE).
std::string ReadGuide();

// The recovery card shipped with the release (STILLVANE_RECOVERY_CARD); its
// first line is its title, a heading for GuideCommandBlocks.
std::string ReadRecoveryCard();

// The commands of the guide's section under `heading`, in the blocks the
// guide sets them apart in: indented lines that begin with cd, dir, attrib,
// ren, copy or del.
std::vector<std::vector<std::string>> GuideCommandBlocks(const std::string& guide, const std::string& heading);

class TCommandPrompt {
 public:
  // `drives` maps a drive letter, as the guide types it, to the folder that
  // stands for its root here ('c' -> "C:\", 'd' -> a scratch folder).
  explicit TCommandPrompt(std::map<char, std::string> drives);

  // Carries out the commands in order; what each refused, empty when all
  // were done. A copy onto a name that exists is refused: the user would be
  // asked whether to overwrite it, which the guide never expects.
  std::vector<std::string> Run(const std::vector<std::string>& commands);

 private:
  std::string Path(const std::string& name) const;
  std::string RunOne(const std::string& command);

  std::map<char, std::string> Drives_;
  std::string Current_;
};
