// The program's version: the one place it is written. The version resource
// takes its numbers and its text from here, and scripts/release.sh names the
// release after STILLVANE_VERSION_TEXT.
#pragma once

#define STILLVANE_VERSION_MAJOR 1
#define STILLVANE_VERSION_MINOR 0
#define STILLVANE_VERSION_RELEASE 0
#define STILLVANE_VERSION_BUILD 0

#define STILLVANE_STRINGIFY_(x) #x
#define STILLVANE_STRINGIFY(x) STILLVANE_STRINGIFY_(x)
// "1.0.0.0": the numbers above, as the resource's version texts show them.
#define STILLVANE_VERSION_TEXT \
  STILLVANE_STRINGIFY(STILLVANE_VERSION_MAJOR.STILLVANE_VERSION_MINOR.STILLVANE_VERSION_RELEASE.STILLVANE_VERSION_BUILD)
