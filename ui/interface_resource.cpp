#include "ui/interface_resource.h"

namespace morvane {

// Frames in points from the window's lower-left corner; the window is 440 by 170. layout1 holds
// the two restart buttons, layout2 the lone OK button.
InterfaceResource::InterfaceResource()
    : window("Morvane"),
      okBtn("okBtn", {{330, 14}, {96, 32}}),
      cancelBtn("cancelBtn", {{210, 14}, {116, 32}}),
      restartBtn("restartBtn", {{330, 14}, {96, 32}}),
      textField("textField", {{88, 60}, {338, 52}}),
      textTitle("textTitle", {{88, 120}, {338, 24}}),
      countdownField("countdownField", {{88, 44}, {338, 16}}),
      layout1("layout1", {{0, 0}, {440, 60}}),
      layout2("layout2", {{0, 0}, {440, 60}}) {}

void InterfaceResource::connect(MorvaneAppDelegate& delegate) {
  delegate.setSRWindow(&window);
  delegate.okBtn = &okBtn;
  delegate.cancelBtn = &cancelBtn;
  delegate.restartBtn = &restartBtn;
  delegate.textField = &textField;
  delegate.textTitle = &textTitle;
  delegate.countdownField = &countdownField;
  delegate.layout1 = &layout1;
  delegate.layout2 = &layout2;
}

}  // namespace morvane
