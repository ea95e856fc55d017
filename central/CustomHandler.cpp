// SPDX-License-Identifier: Apache-2.0
#include "CustomHandler.h"

CustomHandler::CustomHandler(std::ostream& output) : output(output) {}

CustomHandler::~CustomHandler() = default;

void CustomHandler::toastActivated() const { output << "The user clicked in this toast" << std::endl; }

void CustomHandler::toastActivated(int actionIndex) const {
  output << "The user clicked on button #" << actionIndex << " in this toast" << std::endl;
}

void CustomHandler::toastDismissed(int reason) const {
  switch (reason) {
    case UserCanceled:
      output << "The user dismissed this toast" << std::endl;
      break;
    case ApplicationHidden:
      output << "The application hid the toast using ToastNotifier.hide()" << std::endl;
      break;
    case TimedOut:
      output << "The toast has timed out" << std::endl;
      break;
    default:
      output << "Toast not activated" << std::endl;
      break;
  }
}

void CustomHandler::toastFailed() const { output << "Error showing current toast" << std::endl; }
