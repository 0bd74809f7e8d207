#include "platform/gtk/frame_layout.h"

#include <algorithm>
#include <cmath>

#include "platform/frame_order.h"

namespace morvane {
namespace {

int pixels(double points) {
  return std::max(0, static_cast<int>(std::lround(points)));
}

double topOf(const Control& control, Size area) {
  const Rect frame = control.frame();
  return area.height - (frame.origin.y + frame.size.height);
}

double rightOf(const Control& control) {
  return control.frame().origin.x + control.frame().size.width;
}

}  // namespace

std::vector<Placement> stackTopToBottom(const std::vector<Control*>& subviews, Size size) {
  std::vector<Placement> column;
  for (const Control* control : topToBottom(subviews)) {
    column.push_back({control, {}});
  }
  double above = 0;
  for (Placement& placement : column) {
    const Rect frame = placement.control->frame();
    const double top = topOf(*placement.control, size);
    placement.margins = {pixels(frame.origin.x), pixels(size.width - rightOf(*placement.control)),
                         pixels(top - above), 0};
    above = top + frame.size.height;
  }
  if (!column.empty()) {
    column.back().margins.bottom = pixels(size.height - above);
  }
  return column;
}

std::vector<Placement> lineUpLeftToRight(const std::vector<Control*>& subviews) {
  std::vector<Placement> row;
  for (const Control* control : leftToRight(subviews)) {
    row.push_back({control, {}});
  }
  for (std::size_t i = 1; i < row.size(); ++i) {
    row[i].margins.start = pixels(row[i].control->frame().origin.x - rightOf(*row[i - 1].control));
  }
  return row;
}

Margins rowMargins(const std::vector<Control*>& subviews, Size size) {
  if (subviews.empty()) {
    return {};
  }
  double left = size.width, right = 0, top = size.height, bottom = 0;
  for (const Control* control : subviews) {
    const Rect frame = control->frame();
    left = std::min(left, frame.origin.x);
    right = std::max(right, rightOf(*control));
    top = std::min(top, topOf(*control, size));
    bottom = std::max(bottom, size.height - frame.origin.y);
  }
  return {pixels(left), pixels(size.width - right), pixels(top), pixels(size.height - bottom)};
}

}  // namespace morvane
