#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"

namespace morvane {

/// The prompt as the terminal shows it: its lines, none wider than the terminal, and the
/// buttons that can be pressed, in the order of their keys ("1" is the first).
struct PromptScreen {
  std::vector<std::string> lines;
  std::vector<const Button*> buttons;
  /// The button Enter presses: the leftmost one shown, the one the window gives the focus
  /// first ("Restart Later", or "Continue"). Null when no button is shown.
  const Button* defaultButton = nullptr;
};

/// What the terminal says beside the window's own texts, and how it shows a text.
struct ScreenTexts {
  /// The legend's two items, translated; "%@" stands for the key of the default button.
  std::string enterKey = "Enter = %@";
  std::string closeKey = "Esc = close";
  /// A text, its control characters escaped already, as the terminal will show it (in UTF-8,
  /// so that its columns can be counted). Empty: as it stands.
  std::function<std::string(std::string_view)> fit;
};

/// `text` as the terminal shows it: each line's control characters escaped, then fitted.
std::string shownText(const std::string& text, const ScreenTexts& texts);

/// Lays out what `window` shows now on a terminal of `width` columns and `height` rows: the
/// title, each shown non-empty text from top to bottom, each shown button with its key, and
/// the keys' legend. Texts are wrapped at spaces; a word wider than the terminal is broken.
/// Where the rows are too few, the texts give up their lines first (each keeps its first line
/// longest), then the buttons' captions are cut and the legend loses its last items; the key
/// of every shown button always stays.
PromptScreen layoutPrompt(const Window& window, std::size_t width, std::size_t height,
                          const ScreenTexts& texts = {});

/// `text` in lines of at most `width` columns (one column per character).
std::vector<std::string> wrapText(const std::string& text, std::size_t width);

/// The bytes that turn a screen showing `before` into one showing `after`: only the lines that
/// differ are rewritten, each in place, and lines no longer used are cleared.
std::string redrawLines(const std::vector<std::string>& before,
                        const std::vector<std::string>& after);

}  // namespace morvane
