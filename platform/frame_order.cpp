#include "platform/frame_order.h"

#include <algorithm>

namespace morvane {
namespace {

std::vector<const Control*> sorted(const std::vector<Control*>& controls,
                                   double (*key)(const Control&)) {
  std::vector<const Control*> order(controls.begin(), controls.end());
  std::stable_sort(order.begin(), order.end(),
                   [key](const Control* a, const Control* b) { return key(*a) < key(*b); });
  return order;
}

void appendInOrder(const std::vector<const Control*>& controls,
                   std::vector<const Control*>& order) {
  for (const Control* control : controls) {
    order.push_back(control);
    if (control->kind() == ControlKind::view) {
      appendInOrder(leftToRight(static_cast<const View&>(*control).subviews()), order);
    }
  }
}

}  // namespace

std::vector<const Control*> topToBottom(const std::vector<Control*>& controls) {
  // The higher the top edge above the lower-left corner, the nearer the top.
  return sorted(controls, [](const Control& control) {
    return -(control.frame().origin.y + control.frame().size.height);
  });
}

std::vector<const Control*> leftToRight(const std::vector<Control*>& controls) {
  return sorted(controls, [](const Control& control) { return control.frame().origin.x; });
}

std::vector<const Control*> readingOrder(const Window& window) {
  std::vector<const Control*> order;
  appendInOrder(topToBottom(window.subviews()), order);
  return order;
}

}  // namespace morvane
