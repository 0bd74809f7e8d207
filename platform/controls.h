#pragma once

#include <string>

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
class Window;

/// What shows the prompt on screen. Bound to the window and its controls only when the prompt
/// is shown; until then they are plain objects and nothing reaches a screen.
class ControlBackend {
 public:
  virtual ~ControlBackend() = default;
  virtual void controlChanged(const Control& control) = 0;
  virtual void windowChanged(const Window& window) = 0;
};

/// What every control of the prompt holds: its identifier in the interface resource, its frame
/// and whether it is hidden.
class Control {
 public:
  Control(std::string identifier, Rect frame) : identifier_(std::move(identifier)), frame_(frame) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& identifier() const { return identifier_; }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  Rect frame() const { return frame_; }
  /// Moves the control; its size stays.
  void setFrameOrigin(Point origin);
  void bind(ControlBackend* backend) { backend_ = backend; }

 protected:
  void changed();

 private:
  std::string identifier_;
  Rect frame_;
  bool hidden_ = false;
  ControlBackend* backend_ = nullptr;
};

class Button final : public Control {
 public:
  using Control::Control;
  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);

 private:
  std::string title_;
};

class TextField final : public Control {
 public:
  using Control::Control;
  const std::string& stringValue() const { return stringValue_; }
  void setStringValue(const std::string& value);

 private:
  std::string stringValue_;
};

class View final : public Control {
 public:
  using Control::Control;
};

/// The window levels the program asks for by key.
inline constexpr int kCGModalPanelWindowLevelKey = 10;
/// The level that stands for a key; the modal-panel level is 8.
int CGWindowLevelForKey(int key);

class Window {
 public:
  explicit Window(std::string title) : title_(std::move(title)) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);
  int level() const { return level_; }
  void setLevel(int level);
  bool isVisible() const { return visible_; }
  /// Shows the window in front of its level without taking the keyboard focus.
  void orderFront();
  void orderOut();
  void bind(ControlBackend* backend) { backend_ = backend; }

 private:
  void changed();

  std::string title_;
  int level_ = 0;
  bool visible_ = false;
  ControlBackend* backend_ = nullptr;
};

}  // namespace morvane
