// The restart prompt on the simulated machine's manual clock: the countdown, the answers and what
// each one leaves behind.
#include <gtest/gtest.h>

#include "platform/posix/localizer_gettext.h"
#include "tests/fakes/machine.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

constexpr char kCountdownKey[] = "The dialog will be closed in %@ seconds";

/// A machine that shows the prompt for `command`, an installation of /k/a.kext.
std::unique_ptr<Machine> showPrompt(const Lines& command) {
  auto machine = std::make_unique<Machine>();
  machine->offer("/k/a.kext", std::nullopt);
  machine->version = kLionSystemVersion;  // no default marker
  EXPECT_EQ(machine->launch(command), std::nullopt);
  return machine;
}

TEST(PromptTest, CountdownShowsSixtyDownToOneStopsAtAnAnswerAndEndsOnTheSixtiethTick) {
  auto machine = showPrompt({"-i", "-f", "/k/a.kext"});
  machine->translations = {{kCountdownKey, "noch %@ Sekunden"}};
  const TextField& countdown = machine->resource.countdownField;
  EXPECT_FALSE(countdown.isHidden());
  EXPECT_TRUE(machine->resource.window.isVisible());
  Lines shown = {countdown.stringValue()}, expected = {"The dialog will be closed in 60 seconds"};
  for (int tick = 1; tick < 60; ++tick) {
    machine->advance(1.0);
    shown.push_back(countdown.stringValue());
    expected.push_back("noch " + std::to_string(60 - tick) + " Sekunden");
  }
  EXPECT_EQ(shown, expected);
  // The sixtieth tick finds the count at 1: no 0 is shown, the run is abandoned.
  EXPECT_EQ(machine->answer(Answer::kClockRunsOut), kExitFailure);
  EXPECT_EQ(countdown.stringValue(), "noch 1 Sekunden");

  // An answer stops the countdown before the pass's first tool, however long a copy takes.
  machine = showPrompt({"-i", "-f", "/k/a.kext"});
  machine->toolSeconds = 5;
  EXPECT_EQ(machine->answer(Answer::kLater), kExitSuccess);
  EXPECT_EQ(machine->resource.countdownField.stringValue(),
            "The dialog will be closed in 60 seconds");
}

TEST(PromptTest, TheRestartRequestSaysWhatBecameOfItAndTheQuestionStands) {
  for (const bool refused : {false, true}) {
    auto machine = showPrompt({"-f", "/k/a.kext"});
    machine->faults.restartRefused = refused;
    EXPECT_EQ(machine->answer(Answer::kRestartNow), std::nullopt);
    EXPECT_FALSE(machine->resource.countdownField.isHidden());
    EXPECT_EQ(machine->resource.countdownField.stringValue(),
              refused ? "The restart could not be requested. Please restart the computer yourself."
                      : "The restart was requested.");
  }
}

TEST(PromptTest, TheGermanCatalogueTranslatesEveryCaptionOfTheNormalLayoutAndTheLegend) {
  // Without a table every caption is its own key ("OK" is the same word in German); the
  // countdown's text and the legend's Enter keep their one placeholder.
  const ScopedVariable language("LANGUAGE", "de"), locale("LC_ALL", "C.UTF-8");
  const GettextLocalizer german(MORVANE_LOCALE_BUILD_DIR);
  for (const std::string key :
       {kCountdownKey, "Restart Now", "Restart Later", "The installation is completed.",
        "Restart your computer for the settings to take effect.", "The restart was requested.",
        "The restart could not be requested. Please restart the computer yourself.", "Enter = %@",
        "Esc = close"}) {
    const std::string text = german.localizedString(key);
    EXPECT_NE(text, key) << "no German text for \"" << key << "\"";
    const std::size_t placeholder = text.find("%@");
    EXPECT_EQ(placeholder != std::string::npos, key.find("%@") != std::string::npos) << text;
    EXPECT_EQ(text.find("%@", placeholder + 1), std::string::npos) << text;
  }
  EXPECT_EQ(german.localizedString("No such text"), "No such text") << "the key stands";
}

}  // namespace
}  // namespace morvane::testing
