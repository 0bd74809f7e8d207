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
      layout2("layout2", {{0, 0}, {440, 60}}) {
  layout1.addSubview(cancelBtn);
  layout1.addSubview(restartBtn);
  layout2.addSubview(okBtn);
  for (Control* control : {static_cast<Control*>(&textTitle), static_cast<Control*>(&textField),
                           static_cast<Control*>(&countdownField), static_cast<Control*>(&layout1),
                           static_cast<Control*>(&layout2)}) {
    window.addSubview(*control);
  }
}

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
  // The buttons agree with their captions; "Continue" is the countdown's own default. Closing
  // the window is no consent to run anything as administrator, so it leaves without
  // installing. okBtn stands in layout2, which no run shows.
  restartBtn.setAction([&delegate](const Control* sender) { delegate.rebootConfirmed(sender); });
  cancelBtn.setAction([&delegate](const Control* sender) { delegate.rebootLater(sender); });
  okBtn.setAction([&delegate](const Control* sender) { delegate.rebootLater(sender); });
  window.setCloseAction([&delegate] { delegate.rebootRejected(nullptr); });
}

}  // namespace morvane
