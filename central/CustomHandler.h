// SPDX-License-Identifier: Apache-2.0
#pragma once
// Follows one desktop notice until it ends and says on standard output how it ended.

#include <ostream>

class CustomHandler {
 public:
  // How a notice that was not clicked ended.
  enum DismissalReason { UserCanceled = 0, ApplicationHidden = 1, TimedOut = 2 };

  explicit CustomHandler(std::ostream& output);
  virtual ~CustomHandler();

  void toastActivated() const;
  void toastActivated(int actionIndex) const;
  void toastDismissed(int reason) const;
  void toastFailed() const;

 private:
  std::ostream& output;
};
