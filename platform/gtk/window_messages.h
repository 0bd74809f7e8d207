#pragma once

// What the program and its window process say to each other over their socket. The program
// sends what the plain window and controls hold; the window process sends back what the user
// did. A message is a few text fields; on the wire, its length and then the fields, each ended
// by a zero byte, so a caption may hold any other byte.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"

namespace morvane {

using WindowMessage = std::vector<std::string>;

/// The first field of each message.
namespace verb {
// From the window process.
inline constexpr char kReady[] = "ready";    ///< the toolkit opened the display
inline constexpr char kFailed[] = "failed";  ///< it could not; the reason follows
inline constexpr char kClick[] = "click";    ///< a button, by its index, was used
inline constexpr char kClose[] = "close";    ///< the window was closed
// From the program.
inline constexpr char kWindow[] = "window";    ///< title, width, height, level, visible
inline constexpr char kControl[] = "control";  ///< a new control: kind, identifier, superview
inline constexpr char kState[] = "state";      ///< index, hidden, caption, x, y
inline constexpr char kShow[] = "show";        ///< every control is there: render them
}  // namespace verb

/// Sends `message` whole; false when the other side is gone. Never raises SIGPIPE.
bool sendMessage(int socket, const WindowMessage& message);

/// Gathers the bytes read from the socket into messages.
class MessageReader {
 public:
  /// Reads what the socket has now; false at its end, on an error, or once a message was
  /// longer than any the prompt sends.
  bool readFrom(int socket);
  /// The next whole message, if one has arrived.
  std::optional<WindowMessage> next();

 private:
  std::string buffer_;
  bool broken_ = false;
};

/// Every control of `window`, a view before the controls inside it: a control's index in the
/// messages is its place here.
std::vector<Control*> controlsInOrder(const Window& window);

/// The message that makes `control` in the window process: {control, kind, identifier, index of
/// its superview in `order` or "", x, y, width, height}.
WindowMessage controlMessage(const Control& control, const std::vector<Control*>& order);
/// The kind `name` stands for in a control message.
ControlKind kindNamed(const std::string& name);
/// The message for `control`'s state: {state, index, hidden, caption, x, y}.
WindowMessage stateMessage(std::size_t index, const Control& control);
/// {window, title, width, height, level, visible}
WindowMessage windowMessage(const Window& window);

/// A number field of a message; 0 when it is not one.
double numberField(const std::string& field);

}  // namespace morvane
