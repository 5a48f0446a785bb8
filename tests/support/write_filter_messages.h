// What the program tells the user when the write filter protects the volume
// it would write to, for the unit and end-to-end tests alike.
#pragma once

#include <string>

inline std::string OverlayOnMessage(const std::string& drive) {
  return "Nothing was changed, because the Enhanced Write Filter is protecting drive " + drive +
         " at the moment, so whatever is written there would last only until the computer restarts.\r\r"
         "To turn the filter off without keeping what changed there since the computer started, restart the "
         "computer first.  Right after the restart, open a command prompt and run:\r\r"
         "ewfmgr " +
         drive +
         " -commitanddisable\r"
         "shutdown -r -t 0\r\r"
         "The first command turns the filter off from the next start, keeping the few changes made on drive " +
         drive +
         " since that restart (an overlay in RAM whose settings are kept in the registry cannot be turned off "
         "without keeping them).  The second restarts the computer.  Then use Stillvane again.  To keep the "
         "changes made before, run the two commands without the first restart.";
}
