#include "ui/interface_resource.h"

namespace morvane {

// The prompt's one description. Frames are in points from the lower-left corner of the window's
// 420 by 180 content area (a view's subviews from the view's own corner). They are where each
// control stands with the English captions, and its least size: a backend that must fit a
// longer caption grows the control and keeps the order and the margins the frames give. The
// texts stand in a column with 20 points on either side; layout1 holds the two restart buttons
// along the lower right edge, layout2 the lone OK button in the same place.
InterfaceResource::InterfaceResource()
    : window("Morvane", {420, 180}),
      okBtn("okBtn", {{292, 12}, {112, 32}}),
      cancelBtn("cancelBtn", {{172, 12}, {112, 32}}),
      restartBtn("restartBtn", {{292, 12}, {112, 32}}),
      textField("textField", {{20, 76}, {380, 56}}),
      textTitle("textTitle", {{20, 138}, {380, 22}}),
      countdownField("countdownField", {{20, 54}, {380, 16}}),
      layout1("layout1", {{0, 0}, {420, 54}}),
      layout2("layout2", {{0, 0}, {420, 54}}) {
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
  // the window (or Escape) is no consent to run anything as administrator, so it leaves without
  // installing. okBtn stands in layout2, which no run shows; it is there for a layout that
  // offers a single answer, and then it means the same as "Restart Later".
  restartBtn.setAction([&delegate](const Control* sender) { delegate.rebootConfirmed(sender); });
  cancelBtn.setAction([&delegate](const Control* sender) { delegate.rebootLater(sender); });
  okBtn.setAction([&delegate](const Control* sender) { delegate.rebootLater(sender); });
  window.setCloseAction([&delegate] { delegate.rebootRejected(nullptr); });
}

}  // namespace morvane
