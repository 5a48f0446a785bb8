// What an installation shows: the message dialogs, and the "Driver files not
// found" form, shown modally.
#pragma once

#include "services/dialogs.h"

class InstallDialogs : public Dialogs {
 public:
  virtual void ShowMissingFilesDialog() = 0;
};
