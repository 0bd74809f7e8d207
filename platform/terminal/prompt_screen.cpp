#include "platform/terminal/prompt_screen.h"

#include <algorithm>
#include <sstream>
#include <string_view>

#include "platform/frame_order.h"
#include "platform/utf8.h"

namespace morvane {
namespace {

constexpr char kItemGap[] = "   ";

/// Columns `text` takes: one per character.
std::size_t columns(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0, length = 0; at < text.size(); at += length, ++count) {
    decodeUtf8(text, at, &length);
  }
  return count;
}

/// The byte offset after the first `count` characters of `text`.
std::size_t prefixBytes(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t length = 0; count > 0 && at < text.size(); at += length, --count) {
    decodeUtf8(text, at, &length);
  }
  return at;
}

/// Appends `word` to `lines`, after the last line's words where it still fits.
void placeWord(std::string word, std::size_t width, std::vector<std::string>& lines,
               const std::string& gap) {
  if (!lines.empty() && columns(lines.back()) + columns(gap) + columns(word) <= width) {
    lines.back() += gap + word;
    return;
  }
  while (columns(word) > width) {
    const std::size_t cut = prefixBytes(word, width);
    lines.push_back(word.substr(0, cut));
    word.erase(0, cut);
  }
  lines.push_back(word);
}

/// Whether `control` is shown: it and every view above it are not hidden.
bool isShown(const Control& control) {
  for (const Control* at = &control; at != nullptr; at = at->superview()) {
    if (at->isHidden()) {
      return false;
    }
  }
  return true;
}

void addParagraph(std::vector<std::string> paragraph, std::vector<std::string>& lines) {
  if (!lines.empty()) {
    lines.emplace_back();
  }
  lines.insert(lines.end(), paragraph.begin(), paragraph.end());
}

/// `items` side by side while they fit, each wrapped on its own where it is wider.
std::vector<std::string> itemLines(const std::vector<std::string>& items, std::size_t width) {
  std::vector<std::string> lines;
  for (const std::string& item : items) {
    for (const std::string& piece : wrapText(item, width)) {
      placeWord(piece, width, lines, kItemGap);
    }
  }
  return lines;
}

std::vector<std::string> buttonItems(const std::vector<const Button*>& buttons) {
  std::vector<std::string> items;
  for (std::size_t key = 0; key < buttons.size(); ++key) {
    items.push_back("[" + std::to_string(key + 1) + "] " + buttons[key]->title());
  }
  return items;
}

std::vector<std::string> legendItems(const PromptScreen& screen) {
  std::vector<std::string> items;
  if (screen.defaultButton != nullptr) {
    const auto at = std::find(screen.buttons.begin(), screen.buttons.end(), screen.defaultButton);
    items.push_back("Enter = " + std::to_string(at - screen.buttons.begin() + 1));
  }
  items.push_back("Esc = close");
  return items;
}

}  // namespace

std::vector<std::string> wrapText(const std::string& text, std::size_t width) {
  width = std::max<std::size_t>(width, 1);
  std::vector<std::string> lines;
  std::istringstream paragraphs(text);
  for (std::string paragraph; std::getline(paragraphs, paragraph);) {
    std::vector<std::string> wrapped;
    std::istringstream words(paragraph);
    for (std::string word; words >> word;) {
      placeWord(word, width, wrapped, " ");
    }
    if (wrapped.empty()) {
      wrapped.emplace_back();  // a blank line of the text stays
    }
    lines.insert(lines.end(), wrapped.begin(), wrapped.end());
  }
  return lines;
}

PromptScreen layoutPrompt(const Window& window, std::size_t width, std::size_t height) {
  std::vector<const TextField*> texts;
  PromptScreen screen;
  for (const Control* control : readingOrder(window)) {
    if (!isShown(*control)) {
      continue;
    }
    if (control->kind() == ControlKind::textField) {
      texts.push_back(static_cast<const TextField*>(control));
    } else if (control->kind() == ControlKind::button) {
      screen.buttons.push_back(static_cast<const Button*>(control));
    }
  }
  screen.defaultButton = screen.buttons.empty() ? nullptr : screen.buttons.front();

  addParagraph(wrapText(window.title(), width), screen.lines);
  for (const TextField* text : texts) {
    if (!text->stringValue().empty()) {
      addParagraph(wrapText(text->stringValue(), width), screen.lines);
    }
  }
  addParagraph(itemLines(buttonItems(screen.buttons), width), screen.lines);
  addParagraph(itemLines(legendItems(screen), width), screen.lines);
  // Lines below the last row would scroll the screen and every line's place with it.
  screen.lines.resize(std::min(screen.lines.size(), height));
  return screen;
}

std::string redrawLines(const std::vector<std::string>& before,
                        const std::vector<std::string>& after) {
  std::string bytes;
  for (std::size_t row = 0; row < std::max(before.size(), after.size()); ++row) {
    const bool used = row < after.size();
    if (row < before.size() && used && before[row] == after[row]) {
      continue;
    }
    // Cursor to the row's start, the line, then erase what an older, longer line left.
    bytes += "\x1b[" + std::to_string(row + 1) + "H" + (used ? after[row] : "") + "\x1b[K";
  }
  return bytes;
}

}  // namespace morvane
