// "Enable HORM": after the user confirms, the empty marker file resmany.dat
// in the root of the partition the computer starts from switches on
// Hibernate Once Resume Many.
#pragma once

#include "services/dialogs.h"
#include "services/os.h"

// Asks first; "No" changes nothing. Creates (or empties) the marker file and
// reminds the user to commit it through the write filter (and, when
// hibernation is off, where to turn it on), or shows an error
// with the Windows error code when the file cannot be created.
void EnableHorm(TOs& os, TDialogs& dialogs);

// Whether Windows says hibernation is on; when it cannot say, it is taken to be.
bool HibernationIsOn(TOs& os);
