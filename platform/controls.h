#pragma once

#include <functional>
#include <string>
#include <vector>

namespace morvane {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;
  bool operator==(const Rect&) const = default;
};

class Control;
class View;
class Window;

/// What a control does when it is used: one of the delegate's actions, given the control as
/// its sender. The interface resource sets it; no operation of the program changes it.
using Action = std::function<void(const Control* sender)>;

/// What shows the prompt on screen. Bound to the window and its controls only when the prompt
/// is shown; until then they are plain objects and nothing reaches a screen.
class ControlBackend {
 public:
  virtual ~ControlBackend() = default;
  virtual void controlChanged(const Control& control) = 0;
  virtual void windowChanged(const Window& window) = 0;
};

/// The kinds of control a backend renders.
enum class ControlKind { button, textField, view };

/// What every control of the prompt holds: its identifier in the interface resource, its frame
/// in its superview (or the window) and whether it is hidden. A control is shown only when it
/// and every view above it are not hidden.
class Control {
 public:
  Control(std::string identifier, Rect frame) : identifier_(std::move(identifier)), frame_(frame) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual ControlKind kind() const = 0;
  const std::string& identifier() const { return identifier_; }
  bool isHidden() const { return hidden_; }
  /// The view that holds this control, or null when the window itself holds it.
  const View* superview() const { return superview_; }
  void setHidden(bool hidden);
  Rect frame() const { return frame_; }
  /// Moves the control; its size stays.
  void setFrameOrigin(Point origin);
  void bind(ControlBackend* backend) { backend_ = backend; }

 protected:
  void changed();

 private:
  friend class View;

  std::string identifier_;
  Rect frame_;
  bool hidden_ = false;
  const View* superview_ = nullptr;
  ControlBackend* backend_ = nullptr;
};

class Button final : public Control {
 public:
  using Control::Control;
  ControlKind kind() const override { return ControlKind::button; }
  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);
  void setAction(Action action) { action_ = std::move(action); }
  /// What a click does: sends the button's action with the button as sender.
  void performClick() const {
    if (action_) {
      action_(this);
    }
  }

 private:
  std::string title_;
  Action action_;
};

class TextField final : public Control {
 public:
  using Control::Control;
  ControlKind kind() const override { return ControlKind::textField; }
  const std::string& stringValue() const { return stringValue_; }
  void setStringValue(const std::string& value);

 private:
  std::string stringValue_;
};

class View final : public Control {
 public:
  using Control::Control;
  ControlKind kind() const override { return ControlKind::view; }
  /// Puts `control` inside this view; the view does not own it.
  void addSubview(Control& control);
  const std::vector<Control*>& subviews() const { return subviews_; }

 private:
  std::vector<Control*> subviews_;
};

/// The window levels the program asks for by key.
inline constexpr int kCGModalPanelWindowLevelKey = 10;
/// The level that stands for a key; the modal-panel level is 8.
int CGWindowLevelForKey(int key);

class Window {
 public:
  /// `contentSize` is the size of the window's content area, which the frames of its subviews
  /// are measured in.
  Window(std::string title, Size contentSize)
      : title_(std::move(title)), contentSize_(contentSize) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);
  Size contentSize() const { return contentSize_; }
  int level() const { return level_; }
  void setLevel(int level);
  bool isVisible() const { return visible_; }
  /// Shows the window in front of its level without taking the keyboard focus.
  void orderFront();
  void orderOut();
  void bind(ControlBackend* backend) { backend_ = backend; }

  /// Puts `control` directly in the window; the window does not own it.
  void addSubview(Control& control) { subviews_.push_back(&control); }
  const std::vector<Control*>& subviews() const { return subviews_; }

  /// What closing the window does (the close box, or Escape).
  void setCloseAction(std::function<void()> action) { closeAction_ = std::move(action); }
  void performClose() const {
    if (closeAction_) {
      closeAction_();
    }
  }

 private:
  void changed();

  std::string title_;
  Size contentSize_;
  int level_ = 0;
  bool visible_ = false;
  ControlBackend* backend_ = nullptr;
  std::vector<Control*> subviews_;
  std::function<void()> closeAction_;
};

}  // namespace morvane
