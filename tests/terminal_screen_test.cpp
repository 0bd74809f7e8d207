// The prompt as the terminal lays it out, and what a change costs on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/terminal/prompt_screen.h"
#include "ui/interface_resource.h"

namespace morvane::testing {
namespace {

TEST(TerminalScreenTest, EveryShownTextAndButtonFitsTheWidthWithItsKey) {
  InterfaceResource prompt;
  prompt.window.setTitle("Quorix Installer");
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
  for (const std::size_t width : {80, 30, 12, 3}) {
    const PromptScreen screen = layoutPrompt(prompt.window, width, 100);
    std::string all;
    for (const std::string& line : screen.lines) {  // columns: bytes that start a character
      EXPECT_LE(std::ranges::count_if(line, [](char c) { return (c & 0xC0) != 0x80; }), width);
      all += line;
    }
    EXPECT_EQ(screen.buttons, (std::vector<const Button*>{&prompt.cancelBtn, &prompt.restartBtn}));
    EXPECT_EQ(screen.defaultButton, &prompt.cancelBtn);
    // Nothing is lost on the way, the shown texts in their order from top to bottom.
    EXPECT_NE(bare(all).find(bare("Quorix Installer" + prompt.textTitle.stringValue() +
                                  prompt.textField.stringValue() +
                                  "[1]Später neu starten[2]Jetzt neu starten")),
              std::string::npos)
        << width << ": " << all;
  }
  EXPECT_EQ(layoutPrompt(prompt.window, 80, 4).lines.size(), 4u) << "never below the last row";

  // Pre-install mode: the one button, moved to the hidden one's place, is the default.
  prompt.restartBtn.setHidden(true);
  prompt.cancelBtn.setFrameOrigin(prompt.restartBtn.frame().origin);
  const PromptScreen alone = layoutPrompt(prompt.window, 80, 24);
  EXPECT_EQ(alone.buttons, std::vector<const Button*>{&prompt.cancelBtn});
  EXPECT_EQ(alone.defaultButton, &prompt.cancelBtn);
  EXPECT_EQ(alone.lines.back(), "Enter = 1   Esc = close");
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
