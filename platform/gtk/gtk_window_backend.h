#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <vector>

#include "platform/controls.h"

namespace morvane {

/// Shows the prompt's window with GTK 3, in the window process. It renders what the plain
/// window and controls hold and sends their actions; it never changes them.
class GtkWindowBackend final : public ControlBackend {
 public:
  /// The toolkit has been initialised.
  GtkWindowBackend();
  ~GtkWindowBackend() override;
  GtkWindowBackend(const GtkWindowBackend&) = delete;
  GtkWindowBackend& operator=(const GtkWindowBackend&) = delete;

  /// Renders `window` and every control in it as they stand now and binds them.
  void attach(Window& window);
  /// The window's widget; null once it was destroyed from outside.
  GtkWidget* toplevel() const { return window_; }
  void controlChanged(const Control& control) override;
  void windowChanged(const Window& window) override;

 private:
  /// Makes the widget of `control` (and of the controls inside it) and binds them.
  GtkWidget* build(Control& control);
  /// Orders the widgets of the window's subviews and gives them their margins.
  void placeColumn();
  /// Orders the widgets inside `view` and gives its row its margins.
  void placeRow(const View& view);
  void render(const Control& control);
  /// The widget built for `control`, which must have one.
  GtkWidget* widgetOf(const Control* control) const { return widgets_.find(control)->second; }

  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer window);
  static void onDestroy(GtkWidget*, gpointer backend);
  static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer window);
  static void onClicked(GtkButton*, gpointer button);

  Window* model_ = nullptr;
  GtkWidget* window_ = nullptr;
  GtkWidget* column_ = nullptr;
  std::map<Control*, GtkWidget*, std::less<>> widgets_;
};

}  // namespace morvane
