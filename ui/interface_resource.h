#pragma once

#include "app/MorvaneAppDelegate.h"
#include "platform/controls.h"

namespace morvane {

/// The restart prompt as the interface resource describes it: the window and its eight
/// controls at their fixed places, as plain objects that no toolkit has seen yet. It owns them
/// and connects them to the delegate.
class InterfaceResource {
 public:
  InterfaceResource();

  /// Connects SRWindow and the eight outlets of `delegate`.
  void connect(MorvaneAppDelegate& delegate);

  Window window;
  Button okBtn;
  Button cancelBtn;
  Button restartBtn;
  TextField textField;
  TextField textTitle;
  TextField countdownField;
  View layout1;
  View layout2;
};

}  // namespace morvane
