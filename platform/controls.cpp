#include "platform/controls.h"

namespace morvane {

void Control::setHidden(bool hidden) {
  hidden_ = hidden;
  changed();
}

void Control::setFrameOrigin(Point origin) {
  frame_.origin = origin;
  changed();
}

void Control::changed() {
  if (backend_ != nullptr) {
    backend_->controlChanged(*this);
  }
}

void Button::setTitle(const std::string& title) {
  title_ = title;
  changed();
}

void TextField::setStringValue(const std::string& value) {
  stringValue_ = value;
  changed();
}

void View::addSubview(Control& control) {
  control.superview_ = this;
  subviews_.push_back(&control);
}

int CGWindowLevelForKey(int key) {
  constexpr int kModalPanelWindowLevel = 8;
  return key == kCGModalPanelWindowLevelKey ? kModalPanelWindowLevel : 0;
}

void Window::setTitle(const std::string& title) {
  title_ = title;
  changed();
}

void Window::setLevel(int level) {
  level_ = level;
  changed();
}

void Window::orderFront() {
  visible_ = true;
  changed();
}

void Window::orderOut() {
  visible_ = false;
  changed();
}

void Window::changed() {
  if (backend_ != nullptr) {
    backend_->windowChanged(*this);
  }
}

}  // namespace morvane
