// The prompt as the terminal lays it out, and what a change costs on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/terminal/prompt_screen.h"
#include "platform/terminal/terminal_charset.h"
#include "ui/interface_resource.h"

namespace morvane::testing {
namespace {

TEST(TerminalScreenTest, EverySizeShowsTheKeyOfEachButtonWithinTheScreen) {
  InterfaceResource prompt;
  prompt.window.setTitle("Quorix\x1b[2J Installer");  // from -t: never a command to the terminal
  prompt.textTitle.setStringValue("Die Installation ist abgeschlossen.");
  prompt.textField.setStringValue("Starten Sie neu. Überlänge: Kernelerweiterungsverzeichnis");
  prompt.countdownField.setHidden(true);
  prompt.layout2.setHidden(true);  // holds okBtn, which is then no key
  prompt.cancelBtn.setTitle("Später neu starten");
  prompt.restartBtn.setTitle("Jetzt neu starten");
  const auto bare = [](std::string text) {
    std::erase(text, ' ');
    return text;
  };
  struct Row {
    std::size_t width = 0, height = 0;
    bool whole = false;                   // every text in full, in its order from top to bottom
    std::vector<std::string> shows = {};  // lines shown as they stand
  };
  // clang-format off
  const Row rows[] = {
      {.width = 80, .height = 24, .whole = true, .shows = {"Enter = 1   Esc = close"}},
      {.width = 30, .height = 100, .whole = true}, {.width = 12, .height = 100, .whole = true},
      {.width = 3, .height = 100, .whole = true},
      // Too few rows: the texts give way, then the captions are cut, then the legend goes.
      {.width = 20, .height = 5, .shows = {"Quorix\\u{1B}[2J", "[1] Später neu start", "[2] Jetzt neu starte", "Enter = 1",
                                           "Esc = close"}},
      {.width = 12, .height = 3, .shows = {"[1] Später n", "[2] Jetzt ne", "Enter = 1"}},
      {.width = 20, .height = 1, .shows = {"[1] Späte [2] Jetzt"}}, {.width = 7, .height = 1, .shows = {"[1] [2]"}},
      {.width = 3, .height = 2, .shows = {"[1]", "[2]"}}};
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
    const PromptScreen screen = layoutPrompt(prompt.window, row.width, row.height);
    std::string all = "\n";
    for (const std::string& line : screen.lines) {  // columns: bytes that start a character
      EXPECT_LE(std::ranges::count_if(line, [](char c) { return (c & 0xC0) != 0x80; }), row.width);
      EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
      all += line + "\n";
    }
    EXPECT_LE(screen.lines.size(), row.height);
    EXPECT_NE(all.find("[1]"), std::string::npos) << all;
    EXPECT_NE(all.find("[2]"), std::string::npos) << all;
    EXPECT_EQ(screen.buttons, (std::vector<const Button*>{&prompt.cancelBtn, &prompt.restartBtn}));
    EXPECT_EQ(screen.defaultButton, &prompt.cancelBtn);
    for (const std::string& line : row.shows) {
      EXPECT_NE(all.find("\n" + line + "\n"), std::string::npos) << line << " in\n" << all;
    }
    std::erase(all, '\n');
    EXPECT_EQ(
        bare(all).find(bare("Quorix\\u{1B}[2J Installer" + prompt.textTitle.stringValue() +
                            prompt.textField.stringValue() +
                            "[1]Später neu starten[2]Jetzt neu starten")) != std::string::npos,
        row.whole)
        << all;
  }

  // Pre-install mode: the one button, moved to the hidden one's place, is the default.
  prompt.restartBtn.setHidden(true);
  prompt.cancelBtn.setFrameOrigin(prompt.restartBtn.frame().origin);
  const PromptScreen alone = layoutPrompt(prompt.window, 80, 24);
  EXPECT_EQ(alone.buttons, std::vector<const Button*>{&prompt.cancelBtn});
  EXPECT_EQ(alone.defaultButton, &prompt.cancelBtn);
  EXPECT_EQ(alone.lines.back(), "Enter = 1   Esc = close");
}

TEST(TerminalScreenTest, TextsReachTheTerminalEscapedAndInItsCharacterSet) {
  // A text's line breaks part its paragraphs; every other control is shown, not sent.
  EXPECT_EQ(shownText("a\x1b[2J\nb\x9b", {}), "a\\u{1B}[2J\nb\\x9B");
  const TerminalCharset latin1("ISO-8859-1"), utf8("UTF-8");
  EXPECT_EQ(latin1.fit("Später … 中"), "Später ... ?");
  EXPECT_EQ(latin1.encode("Später neu starten"), "Sp\xe4ter neu starten");
  EXPECT_EQ(utf8.encode(utf8.fit("Später …")), "Später …");
}

TEST(TerminalScreenTest, ARedrawRewritesOnlyTheLinesThatChanged) {
  const std::vector<std::string> before = {"Title", "", "closed in 60 seconds", "", "[1] Continue"};
  std::vector<std::string> after = before;
  after[2] = "closed in 59 seconds";
  EXPECT_EQ(redrawLines(before, after), "\x1b[3H" + after[2] + "\x1b[K");
  EXPECT_EQ(redrawLines(before, before), "");
  // Shorter: the lines no longer used are cleared, and a full draw writes every line.
  EXPECT_EQ(redrawLines(before, {"Title"}), "\x1b[2H\x1b[K\x1b[3H\x1b[K\x1b[4H\x1b[K\x1b[5H\x1b[K");
  EXPECT_EQ(redrawLines({}, {"a", "b"}), "\x1b[1Ha\x1b[K\x1b[2Hb\x1b[K");
}

}  // namespace
}  // namespace morvane::testing
