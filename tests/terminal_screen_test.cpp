// The prompt as the terminal lays it out, and what a change costs on the wire.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/terminal/prompt_screen.h"
#include "ui/interface_resource.h"

namespace morvane::testing {
namespace {

std::string withoutSpaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

std::size_t columns(const std::string& line) {
  return static_cast<std::size_t>(
      std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

TEST(TerminalScreenTest, EveryShownTextAndButtonFitsTheWidthWithItsKey) {
  InterfaceResource prompt;
  prompt.window.setTitle("Quorix Installer");
  prompt.textTitle.setStringValue("Die Installation ist abgeschlossen.");
  prompt.textField.setStringValue(
      "Starten Sie den Computer neu, damit die Einstellungen wirksam "
      "werden. Überlänge: Kernelerweiterungsverzeichnis");
  prompt.countdownField.setHidden(true);
  prompt.layout2.setHidden(true);  // holds okBtn, which is then no key
  prompt.cancelBtn.setTitle("Später neu starten");
  prompt.restartBtn.setTitle("Jetzt neu starten");
  const std::vector<const Button*> leftToRight = {&prompt.cancelBtn, &prompt.restartBtn};
  for (const std::size_t width : {80, 30, 12, 3}) {
    SCOPED_TRACE(width);
    const PromptScreen screen = layoutPrompt(prompt.window, width, 100);
    std::string all;
    for (const std::string& line : screen.lines) {
      EXPECT_LE(columns(line), width) << line;
      all += line;
    }
    EXPECT_EQ(screen.buttons, leftToRight);
    EXPECT_EQ(screen.defaultButton, &prompt.cancelBtn);
    // Nothing is lost on the way, the shown texts in their order from top to bottom.
    EXPECT_NE(withoutSpaces(all).find(withoutSpaces(
                  "Quorix Installer" + prompt.textTitle.stringValue() +
                  prompt.textField.stringValue() + "[1]Später neu starten[2]Jetzt neu starten")),
              std::string::npos)
        << all;
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
  const std::vector<std::string> before = {"Title", "", "The dialog will be closed in 60 seconds",
                                           "", "[1] Continue"};
  std::vector<std::string> after = before;
  after[2] = "The dialog will be closed in 59 seconds";
  EXPECT_EQ(redrawLines(before, after), "\x1b[3H" + after[2] + "\x1b[K");
  EXPECT_EQ(redrawLines(before, before), "");
  // Shorter: the lines no longer used are cleared, and a full draw writes every line.
  EXPECT_EQ(redrawLines(before, {"Title"}), "\x1b[2H\x1b[K\x1b[3H\x1b[K\x1b[4H\x1b[K\x1b[5H\x1b[K");
  EXPECT_EQ(redrawLines({}, {"a", "b"}), "\x1b[1Ha\x1b[K\x1b[2Hb\x1b[K");
}

}  // namespace
}  // namespace morvane::testing
