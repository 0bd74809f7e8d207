#include "platform/gtk/window_messages.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace morvane {
namespace {

/// No message of the prompt comes near this; a longer one means the other side is broken.
constexpr std::uint32_t kLongestMessage = 1 << 16;

/// As the C locale writes it, whatever locale the program runs in.
std::string number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

/// What a control shows as its text: a button's title or a text field's string.
std::string captionOf(const Control& control) {
  switch (control.kind()) {
    case ControlKind::button:
      return static_cast<const Button&>(control).title();
    case ControlKind::textField:
      return static_cast<const TextField&>(control).stringValue();
    case ControlKind::view:
      break;
  }
  return "";
}

void addInOrder(const std::vector<Control*>& subviews, std::vector<Control*>& order) {
  for (Control* control : subviews) {
    order.push_back(control);
    if (control->kind() == ControlKind::view) {
      addInOrder(static_cast<View*>(control)->subviews(), order);
    }
  }
}

}  // namespace

bool sendMessage(int socket, const WindowMessage& message) {
  std::string body;
  for (const std::string& field : message) {
    body.append(field.c_str(), std::strlen(field.c_str()));  // a field ends at its first zero
    body.push_back('\0');
  }
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string bytes(reinterpret_cast<const char*>(&length), sizeof length);
  bytes += body;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool MessageReader::readFrom(int socket) {
  char chunk[4096];
  ssize_t n;
  do {
    n = ::read(socket, chunk, sizeof chunk);
  } while (n < 0 && errno == EINTR);
  if (n <= 0 || broken_) {
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

std::optional<WindowMessage> MessageReader::next() {
  std::uint32_t length = 0;
  if (buffer_.size() < sizeof length) {
    return std::nullopt;
  }
  std::memcpy(&length, buffer_.data(), sizeof length);
  if (length > kLongestMessage) {
    broken_ = true;  // the other side is not speaking this language: read as its end
    buffer_.clear();
    return std::nullopt;
  }
  if (buffer_.size() < sizeof length + length) {
    return std::nullopt;
  }
  WindowMessage message;
  std::size_t at = sizeof length;
  const std::size_t end = sizeof length + length;
  while (at < end) {
    const std::size_t zero = buffer_.find('\0', at);
    if (zero == std::string::npos || zero >= end) {
      break;  // a last field without its zero is dropped
    }
    message.push_back(buffer_.substr(at, zero - at));
    at = zero + 1;
  }
  buffer_.erase(0, end);
  return message;
}

std::vector<Control*> controlsInOrder(const Window& window) {
  std::vector<Control*> order;
  addInOrder(window.subviews(), order);
  return order;
}

WindowMessage controlMessage(const Control& control, const std::vector<Control*>& order) {
  std::string superview;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i] == control.superview()) {
      superview = std::to_string(i);
    }
  }
  const Rect frame = control.frame();
  const char* kind = control.kind() == ControlKind::button      ? "button"
                     : control.kind() == ControlKind::textField ? "text"
                                                                : "view";
  return {verb::kControl,           kind,
          control.identifier(),     superview,
          number(frame.origin.x),   number(frame.origin.y),
          number(frame.size.width), number(frame.size.height)};
}

ControlKind kindNamed(const std::string& name) {
  return name == "button" ? ControlKind::button
         : name == "text" ? ControlKind::textField
                          : ControlKind::view;
}

WindowMessage stateMessage(std::size_t index, const Control& control) {
  const Point origin = control.frame().origin;
  return {verb::kState,       std::to_string(index), control.isHidden() ? "1" : "0",
          captionOf(control), number(origin.x),      number(origin.y)};
}

WindowMessage windowMessage(const Window& window) {
  return {verb::kWindow,
          window.title(),
          number(window.contentSize().width),
          number(window.contentSize().height),
          std::to_string(window.level()),
          window.isVisible() ? "1" : "0"};
}

double numberField(const std::string& field) {
  double value = 0;
  std::from_chars(field.data(), field.data() + field.size(), value);
  return value;
}

}  // namespace morvane
