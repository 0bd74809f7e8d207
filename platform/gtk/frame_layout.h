#pragma once

// How the window module reads the frames of the prompt's description. Frames are measured
// from the lower-left corner; the toolkit places widgets in boxes from the top left and grows
// them to fit their captions. So the frames give the order of the controls (read as every
// backend reads it, platform/frame_order.h), the margins between them and each control's least
// size, and the boxes do the rest: the window stacks its subviews from top to bottom, a view
// lines up its subviews from left to right.

#include <vector>

#include "platform/controls.h"

namespace morvane {

/// Space around a control, in pixels, one pixel a point.
struct Margins {
  int start = 0;
  int end = 0;
  int top = 0;
  int bottom = 0;
};

/// One control in its box, with the space before it; the last one also keeps the space after
/// it.
struct Placement {
  const Control* control;
  Margins margins;
};

/// `subviews` of an area of `size`, from top to bottom, each keeping its left and right
/// margins and the gap above it. Controls at the same height keep their order.
std::vector<Placement> stackTopToBottom(const std::vector<Control*>& subviews, Size size);

/// `subviews` from left to right, each keeping the gap before it. Controls at the same place
/// keep their order.
std::vector<Placement> lineUpLeftToRight(const std::vector<Control*>& subviews);

/// The space around the row of `subviews` in an area of `size`.
Margins rowMargins(const std::vector<Control*>& subviews, Size size);

}  // namespace morvane
