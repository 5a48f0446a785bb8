// What an installation shows: the message dialogs, and the "Driver files not
// found" form, shown modally.
#pragma once

#include "services/dialogs.h"

class TInstallDialogs : public TDialogs {
 public:
  virtual void ShowMissingFilesDialog() = 0;
};
