#pragma once

// The order in which the prompt's controls appear, read from the frames of its description,
// one reading for every backend. Frames are measured from the lower-left corner of the window
// (or of the view that holds them); a prompt is read from the top. So the window's subviews
// stand in a column, from top to bottom, and a view's subviews in a row, from left to right.
// Controls at the same place keep the order in which the description adds them.

#include <vector>

#include "platform/controls.h"

namespace morvane {

/// `controls`, a column, from top to bottom by their top edges.
std::vector<const Control*> topToBottom(const std::vector<Control*>& controls);

/// `controls`, a row, from left to right by their left edges.
std::vector<const Control*> leftToRight(const std::vector<Control*>& controls);

/// Every control of `window`, shown or not, in the order the prompt reads: its column from top
/// to bottom, and a view's row, from left to right, right after the view.
std::vector<const Control*> readingOrder(const Window& window);

}  // namespace morvane
