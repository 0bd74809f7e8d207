// The window process: it mirrors the program's plain window and controls from the messages on
// its socket, renders them with GTK and sends back the buttons used and the closes.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/gtk/gtk_window_backend.h"
#include "platform/gtk/window_messages.h"
#include "platform/gtk/window_module.h"

namespace morvane {
namespace {

/// A display that goes away ends the window process quietly (GDK's own handler says so on
/// standard error); the program reads the end without an answer as a close.
int endWhenDisplayIsLost(Display*) {
  ::_exit(EXIT_FAILURE);
}

/// An X window destroyed by another client (xdotool windowclose, a window manager's "destroy")
/// leaves GTK with a widget whose window is gone, which it warns about on standard error while
/// it tears the widget down. The window process sees the destruction first and ends: the
/// prompt was closed.
GdkFilterReturn endWhenDestroyedFromOutside(GdkXEvent* native, GdkEvent*, gpointer socket) {
  const auto* event = static_cast<const XEvent*>(native);
  if (event->type == DestroyNotify) {
    const GdkWindow* ours =
        gdk_x11_window_lookup_for_display(gdk_display_get_default(), event->xdestroywindow.window);
    if (ours != nullptr &&
        gdk_window_get_window_type(const_cast<GdkWindow*>(ours)) == GDK_WINDOW_TOPLEVEL) {
      sendMessage(GPOINTER_TO_INT(socket), {verb::kClose});
      ::_exit(EXIT_SUCCESS);
    }
  }
  return GDK_FILTER_CONTINUE;
}

class WindowProcess {
 public:
  explicit WindowProcess(int socket) : socket_(socket) {}

  /// Runs the toolkit's loop until the program's end of the socket closes.
  void run() {
    g_unix_fd_add(socket_, G_IO_IN, &WindowProcess::onReadable, this);
    gtk_main();
  }

 private:
  static gboolean onReadable(gint, GIOCondition, gpointer process) {
    auto* self = static_cast<WindowProcess*>(process);
    if (!self->reader_.readFrom(self->socket_)) {
      // The run has ended: nothing here is left to tidy that the system does not.
      ::_exit(EXIT_SUCCESS);
    }
    while (auto message = self->reader_.next()) {
      self->apply(*message);
    }
    return G_SOURCE_CONTINUE;
  }

  void apply(const WindowMessage& message) {
    if (message.size() == 6 && message[0] == verb::kWindow) {
      applyWindow(message);
    } else if (message.size() == 8 && message[0] == verb::kControl) {
      addControl(message);
    } else if (message.size() == 6 && message[0] == verb::kState) {
      applyState(message);
    } else if (message.size() == 1 && message[0] == verb::kShow && window_ && !backend_) {
      backend_ = std::make_unique<GtkWindowBackend>();
      backend_->attach(*window_);
      if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
        gdk_window_add_filter(nullptr, &endWhenDestroyedFromOutside, GINT_TO_POINTER(socket_));
      }
    }
  }

  void applyWindow(const WindowMessage& message) {
    const int level = std::atoi(message[4].c_str());
    const bool visible = message[5] == "1";
    if (!window_) {
      window_ = std::make_unique<Window>(message[1],
                                         Size{numberField(message[2]), numberField(message[3])});
      window_->setCloseAction([this] { sendMessage(socket_, {verb::kClose}); });
    }
    const bool same = window_->title() == message[1] && window_->level() == level;
    if (window_->title() != message[1]) {
      window_->setTitle(message[1]);
    }
    if (window_->level() != level) {
      window_->setLevel(level);
    }
    // The program's orderFront on a shown window brings it in front again.
    if (visible && (same || !window_->isVisible())) {
      window_->orderFront();
    } else if (!visible && window_->isVisible()) {
      window_->orderOut();
    }
  }

  /// {control, kind, identifier, superview index or "", x, y, width, height}
  void addControl(const WindowMessage& message) {
    const Rect frame{{numberField(message[4]), numberField(message[5])},
                     {numberField(message[6]), numberField(message[7])}};
    std::unique_ptr<Control> control;
    const ControlKind kind = kindNamed(message[1]);
    if (kind == ControlKind::button) {
      auto button = std::make_unique<Button>(message[2], frame);
      button->setAction([this, index = controls_.size()](const Control*) {
        sendMessage(socket_, {verb::kClick, std::to_string(index)});
      });
      control = std::move(button);
    } else if (kind == ControlKind::textField) {
      control = std::make_unique<TextField>(message[2], frame);
    } else {
      control = std::make_unique<View>(message[2], frame);
    }
    const std::size_t superview = std::strtoul(message[3].c_str(), nullptr, 10);
    if (!message[3].empty() && superview < controls_.size() &&
        controls_[superview]->kind() == ControlKind::view) {
      static_cast<View&>(*controls_[superview]).addSubview(*control);
    } else if (window_) {
      window_->addSubview(*control);
    }
    controls_.push_back(std::move(control));
  }

  /// {state, index, hidden, caption, x, y}
  void applyState(const WindowMessage& message) {
    const std::size_t index = std::strtoul(message[1].c_str(), nullptr, 10);
    if (index >= controls_.size()) {
      return;
    }
    Control& control = *controls_[index];
    control.setHidden(message[2] == "1");
    if (control.kind() == ControlKind::button) {
      static_cast<Button&>(control).setTitle(message[3]);
    } else if (control.kind() == ControlKind::textField) {
      static_cast<TextField&>(control).setStringValue(message[3]);
    }
    const Point origin{numberField(message[4]), numberField(message[5])};
    if (control.frame().origin != origin) {
      control.setFrameOrigin(origin);
    }
  }

  int socket_;
  MessageReader reader_;
  std::unique_ptr<Window> window_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::unique_ptr<GtkWindowBackend> backend_;
};

std::string displayName() {
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return "";
}

}  // namespace
}  // namespace morvane

extern "C" __attribute__((visibility("default"))) int morvane_run_window(int socket) {
  using namespace morvane;
  // The program keeps the locale it has: its texts come translated.
  gtk_disable_setlocale();
  // gtk_init would end the process before it could say why.
  if (!gtk_init_check(nullptr, nullptr)) {
    sendMessage(socket, {verb::kFailed, "cannot open the display " + displayName()});
    return EXIT_FAILURE;
  }
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
    XSetIOErrorHandler(&endWhenDisplayIsLost);
  }
  if (!sendMessage(socket, {verb::kReady})) {
    return EXIT_FAILURE;
  }
  WindowProcess process(socket);
  process.run();
  return EXIT_SUCCESS;
}
