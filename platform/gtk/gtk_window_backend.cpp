#include "platform/gtk/gtk_window_backend.h"

#include "platform/gtk/frame_layout.h"

namespace morvane {
namespace {

constexpr char kQuestionIcon[] = "dialog-question";
/// The icon's distance from the window's top left corner, in pixels.
constexpr int kIconMargin = 18;

void setMargins(GtkWidget* widget, Margins margins) {
  gtk_widget_set_margin_start(widget, margins.start);
  gtk_widget_set_margin_end(widget, margins.end);
  gtk_widget_set_margin_top(widget, margins.top);
  gtk_widget_set_margin_bottom(widget, margins.bottom);
}

Margins operator+(Margins a, Margins b) {
  return {a.start + b.start, a.end + b.end, a.top + b.top, a.bottom + b.bottom};
}

/// A text of the prompt: wraps within its frame's width, so a longer translation makes it
/// taller, never wider than its column and never clipped.
GtkWidget* newText() {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  // Without a cap the label would ask for its whole text on one line.
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_yalign(GTK_LABEL(label), 0);
  return label;
}

}  // namespace

GtkWindowBackend::GtkWindowBackend()
    : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      column_(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)) {
  GtkWindow* window = GTK_WINDOW(window_);
  // The window fits its content: a longer caption grows it.
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  // Showing the prompt never takes the keyboard from what the user is typing into.
  gtk_window_set_focus_on_map(window, FALSE);
  // A question, as the desktop's own dialogs show one: the theme's icon beside the texts, and
  // in the window's title bar and switcher.
  gtk_window_set_icon_name(window, kQuestionIcon);
  GtkWidget* icon = gtk_image_new_from_icon_name(kQuestionIcon, GTK_ICON_SIZE_DIALOG);
  gtk_widget_set_valign(icon, GTK_ALIGN_START);
  gtk_widget_set_margin_start(icon, kIconMargin);
  gtk_widget_set_margin_top(icon, kIconMargin);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_container_add(GTK_CONTAINER(row), icon);
  gtk_container_add(GTK_CONTAINER(row), column_);
  gtk_container_add(GTK_CONTAINER(window_), row);
  gtk_widget_show_all(row);
}

GtkWindowBackend::~GtkWindowBackend() {
  // The plain controls outlive the backend: later changes stay off the screen.
  for (const auto& [control, widget] : widgets_) {
    control->bind(nullptr);
  }
  if (model_ != nullptr) {
    model_->bind(nullptr);
  }
  if (window_ != nullptr) {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
  }
}

void GtkWindowBackend::attach(Window& window) {
  model_ = &window;
  g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkWindowBackend::onDelete), &window);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(&GtkWindowBackend::onKeyPress), &window);
  // A window destroyed from outside (a killed client window, a lost display) counts as closed:
  // the run must not wait on with nothing left to answer it.
  g_signal_connect(window_, "destroy", G_CALLBACK(&GtkWindowBackend::onDestroy), this);
  for (Control* control : window.subviews()) {
    gtk_container_add(GTK_CONTAINER(column_), build(*control));
  }
  placeColumn();
  window.bind(this);
  windowChanged(window);
}

GtkWidget* GtkWindowBackend::build(Control& control) {
  GtkWidget* widget = nullptr;
  switch (control.kind()) {
    case ControlKind::button:
      widget = gtk_button_new();
      g_signal_connect(widget, "clicked", G_CALLBACK(&GtkWindowBackend::onClicked),
                       static_cast<Button*>(&control));
      break;
    case ControlKind::textField:
      widget = newText();
      break;
    case ControlKind::view:
      widget = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
      for (Control* subview : static_cast<View&>(control).subviews()) {
        gtk_container_add(GTK_CONTAINER(widget), build(*subview));
      }
      break;
  }
  if (control.kind() != ControlKind::view) {
    // The frame's size is the least size; the caption may ask for more.
    const Size size = control.frame().size;
    gtk_widget_set_size_request(widget, static_cast<int>(size.width),
                                static_cast<int>(size.height));
  }
  widgets_[&control] = widget;
  control.bind(this);
  render(control);
  return widget;
}

void GtkWindowBackend::placeColumn() {
  int index = 0;
  for (const Placement& placement : stackTopToBottom(model_->subviews(), model_->contentSize())) {
    GtkWidget* widget = widgetOf(placement.control);
    gtk_box_reorder_child(GTK_BOX(column_), widget, index++);
    Margins margins = placement.margins;
    if (placement.control->kind() == ControlKind::view) {
      const auto& view = static_cast<const View&>(*placement.control);
      Margins row = rowMargins(view.subviews(), view.frame().size);
      // The row leans to the side its controls stand nearer to and keeps that margin; the
      // space on the other side is what is left over, so a wider row can take it.
      const bool leansRight = row.end < row.start;
      (leansRight ? row.start : row.end) = 0;
      margins = margins + row;
      gtk_widget_set_halign(widget, leansRight ? GTK_ALIGN_END : GTK_ALIGN_START);
      placeRow(view);
    }
    setMargins(widget, margins);
  }
}

void GtkWindowBackend::placeRow(const View& view) {
  GtkWidget* row = widgetOf(&view);
  int index = 0;
  for (const Placement& placement : lineUpLeftToRight(view.subviews())) {
    GtkWidget* widget = widgetOf(placement.control);
    gtk_box_reorder_child(GTK_BOX(row), widget, index++);
    setMargins(widget, placement.margins);
  }
}

void GtkWindowBackend::render(const Control& control) {
  GtkWidget* widget = widgetOf(&control);
  switch (control.kind()) {
    case ControlKind::button:
      gtk_button_set_label(GTK_BUTTON(widget), static_cast<const Button&>(control).title().c_str());
      break;
    case ControlKind::textField:
      gtk_label_set_text(GTK_LABEL(widget),
                         static_cast<const TextField&>(control).stringValue().c_str());
      break;
    case ControlKind::view:
      break;
  }
  // A hidden view hides what it holds, as the plain controls have it.
  gtk_widget_set_visible(widget, !control.isHidden());
}

void GtkWindowBackend::controlChanged(const Control& control) {
  if (window_ == nullptr || widgets_.count(&control) == 0) {
    return;
  }
  render(control);
  placeColumn();  // a frame may have moved; a handful of margins costs nothing
}

void GtkWindowBackend::windowChanged(const Window& window) {
  if (window_ == nullptr) {
    return;  // destroyed from outside
  }
  GtkWindow* gtkWindow = GTK_WINDOW(window_);
  gtk_window_set_title(gtkWindow, window.title().c_str());
  // Any level above the normal one is a panel: a dialog kept above normal windows.
  const bool panel = window.level() > 0;
  const GdkWindowTypeHint hint = panel ? GDK_WINDOW_TYPE_HINT_DIALOG : GDK_WINDOW_TYPE_HINT_NORMAL;
  if (gtk_window_get_type_hint(gtkWindow) != hint) {
    gtk_window_set_type_hint(gtkWindow, hint);
  }
  gtk_window_set_keep_above(gtkWindow, panel);
  if (!window.isVisible()) {
    gtk_widget_hide(window_);
  } else if (!gtk_widget_get_visible(window_)) {
    gtk_widget_show(window_);
  } else {
    // In front of its level, without taking the focus as gtk_window_present would.
    gdk_window_raise(gtk_widget_get_window(window_));
  }
}

gboolean GtkWindowBackend::onDelete(GtkWidget*, GdkEvent*, gpointer window) {
  static_cast<const Window*>(window)->performClose();
  return TRUE;  // the window stays until its close action ends the run
}

void GtkWindowBackend::onDestroy(GtkWidget*, gpointer backend) {
  auto* self = static_cast<GtkWindowBackend*>(backend);
  self->window_ = nullptr;
  self->model_->performClose();
}

gboolean GtkWindowBackend::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer window) {
  if (event->keyval != GDK_KEY_Escape) {
    return FALSE;  // Tab, Enter and the rest work as the toolkit has them
  }
  static_cast<const Window*>(window)->performClose();
  return TRUE;
}

void GtkWindowBackend::onClicked(GtkButton*, gpointer button) {
  static_cast<const Button*>(button)->performClick();
}

}  // namespace morvane
