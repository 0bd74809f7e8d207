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

/// `text` cut to its first `width` columns, without the spaces the cut leaves at its end.
std::string cut(const std::string& text, std::size_t width) {
  std::string head = text.substr(0, prefixBytes(text, width));
  head.erase(head.find_last_not_of(' ') + 1);
  return head;
}

/// Each of `items` on a line of its own, cut to the width.
std::vector<std::string> cutLines(const std::vector<std::string>& items, std::size_t width) {
  std::vector<std::string> lines;
  for (const std::string& item : items) {
    lines.push_back(cut(item, width));
  }
  return lines;
}

/// All of `items` on one line, each cut to an equal share of the width, but never below its
/// key ("[1]").
std::string sharedLine(const std::vector<std::string>& items, std::size_t width) {
  const std::size_t share = std::max<std::size_t>((width + 1) / items.size(), 4) - 1;
  std::string line;
  for (const std::string& item : items) {
    line += (line.empty() ? "" : " ") + cut(item, share);
  }
  return cut(line, width);
}

std::string substituteKey(std::string text, std::size_t key) {
  if (const std::size_t at = text.find("%@"); at != std::string::npos) {
    text.replace(at, 2, std::to_string(key));
  }
  return text;
}

std::vector<std::string> buttonItems(const std::vector<const Button*>& buttons,
                                     const ScreenTexts& texts) {
  std::vector<std::string> items;
  for (std::size_t key = 0; key < buttons.size(); ++key) {
    items.push_back("[" + std::to_string(key + 1) + "] " + shownText(buttons[key]->title(), texts));
  }
  return items;
}

std::vector<std::string> legendItems(const PromptScreen& screen, const ScreenTexts& texts) {
  std::vector<std::string> items;
  if (screen.defaultButton != nullptr) {
    const auto at = std::find(screen.buttons.begin(), screen.buttons.end(), screen.defaultButton);
    items.push_back(shownText(
        substituteKey(texts.enterKey, static_cast<std::size_t>(at - screen.buttons.begin()) + 1),
        texts));
  }
  items.push_back(shownText(texts.closeKey, texts));
  return items;
}

/// Cuts `blocks` to `rows` lines in all: each keeps its first line before any keeps a second,
/// and the upper ones keep more.
void shorten(std::vector<std::vector<std::string>>& blocks, std::size_t rows) {
  std::vector<std::size_t> kept(blocks.size(), 0);
  for (std::size_t i = 0; i < blocks.size() && rows > 0; ++i) {
    kept[i] = std::min<std::size_t>(blocks[i].size(), 1);
    rows -= kept[i];
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::size_t more = std::min(blocks[i].size() - kept[i], rows);
    kept[i] += more;
    rows -= more;
    blocks[i].resize(kept[i]);
  }
}

/// The non-empty `blocks` one below the other, apart by a blank line while rows are left.
std::vector<std::string> stack(const std::vector<std::vector<std::string>>& blocks,
                               std::size_t rows) {
  std::size_t spare = rows;
  for (const auto& block : blocks) {
    spare -= std::min(spare, block.size());
  }
  std::vector<std::string> lines;
  for (const auto& block : blocks) {
    if (block.empty()) {
      continue;
    }
    if (!lines.empty() && spare > 0) {
      lines.emplace_back();
      --spare;
    }
    lines.insert(lines.end(), block.begin(), block.end());
  }
  return lines;
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

std::string shownText(const std::string& text, const ScreenTexts& texts) {
  // Line breaks stay: they part the text's paragraphs.
  std::string shown;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    shown += escapeControls(line) + "\n";
  }
  if (!shown.empty()) {
    shown.pop_back();
  }
  return texts.fit ? texts.fit(shown) : shown;
}

PromptScreen layoutPrompt(const Window& window, std::size_t width, std::size_t height,
                          const ScreenTexts& texts) {
  width = std::max<std::size_t>(width, 1);
  height = std::max<std::size_t>(height, 1);
  PromptScreen screen;
  std::vector<std::vector<std::string>> blocks = {
      wrapText(shownText(window.title(), texts), width)};
  for (const Control* control : readingOrder(window)) {
    if (!isShown(*control)) {
      continue;
    }
    if (control->kind() == ControlKind::textField) {
      const std::string& text = static_cast<const TextField*>(control)->stringValue();
      if (!text.empty()) {
        blocks.push_back(wrapText(shownText(text, texts), width));
      }
    } else if (control->kind() == ControlKind::button) {
      screen.buttons.push_back(static_cast<const Button*>(control));
    }
  }
  screen.defaultButton = screen.buttons.empty() ? nullptr : screen.buttons.front();

  // The keys are how to answer: they keep their rows, then the legend, then the texts.
  const std::vector<std::string> items = buttonItems(screen.buttons, texts);
  std::vector<std::string> keys = itemLines(items, width);
  std::vector<std::string> legend = itemLines(legendItems(screen, texts), width);
  if (keys.size() + legend.size() > height) {
    keys = cutLines(items, width);
  }
  if (keys.size() > height) {
    keys = {sharedLine(items, width)};
  }
  legend.resize(std::min(legend.size(), height - keys.size()));
  shorten(blocks, height - keys.size() - legend.size());
  blocks.push_back(std::move(keys));
  blocks.push_back(std::move(legend));
  screen.lines = stack(blocks, height);
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
