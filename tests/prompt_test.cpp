// The restart prompt on the simulated machine's manual clock: the countdown, the answers and what
// each one leaves behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/posix/localizer_gettext.h"
#include "tests/fakes/fake_world.h"

namespace morvane::testing {
namespace {

constexpr char kKext[] = "/k/a.kext";
constexpr char kMarker[] = "/m/marker";
constexpr char kCountdownKey[] = "The dialog will be closed in %@ seconds";

class PromptTest : public WorldTest {
 protected:
  /// Launches an installation of kKext with `options` and shows the prompt. A pass that an
  /// answer runs then fails when `passFails` (the administrator right is refused).
  void showPrompt(Lines options, bool passFails = false) {
    world.journal.clear();
    world.offer(kKext, std::nullopt);
    world.files.erase(entry("a.kext"));  // what an earlier answer left behind
    world.files.erase(kMarker);
    world.version = kLionSystemVersion;  // no default marker
    world.refusals = {passFails ? errAuthorizationDenied : errAuthorizationSuccess};
    world.toolSeconds = 5;
    options.insert(options.end(), {"-f", kKext});
    start(options);
    ASSERT_EQ(exitStatusOf([this] { delegate().applicationWillFinishLaunching(); }), std::nullopt);
    ASSERT_EQ(exitStatusOf([this] { delegate().applicationDidFinishLaunching(); }), std::nullopt);
  }

  bool journalHas(const std::string& prefix) const {
    return std::any_of(world.journal.begin(), world.journal.end(),
                       [&](const std::string& line) { return line.starts_with(prefix); });
  }
};

TEST_F(PromptTest, CountdownShowsSixtyDownToOneAndEndsOnTheSixtiethTick) {
  world.translations = {{kCountdownKey, "noch %@ Sekunden"}};
  showPrompt({"-i"});
  EXPECT_FALSE(resource.countdownField.isHidden());
  EXPECT_TRUE(resource.window.isVisible());
  Lines shown = {resource.countdownField.stringValue()}, expected;
  for (int tick = 1; tick < 60; ++tick) {
    world.advance(1.0);
    shown.push_back(resource.countdownField.stringValue());
  }
  for (int count = 60; count >= 1; --count) {
    expected.push_back("noch " + std::to_string(count) + " Sekunden");
  }
  EXPECT_EQ(shown, expected);
  EXPECT_TRUE(world.journal.empty());

  // The sixtieth tick finds the count at 1: no 0 is shown, the run is abandoned.
  EXPECT_EQ(exitStatusOf([this] { world.advance(1.0); }), kExitFailure);
  EXPECT_EQ(resource.countdownField.stringValue(), "noch 1 Sekunden");
  EXPECT_EQ(exitStatusOf([this] { world.advance(60.0); }), std::nullopt) << "a tick after";
  EXPECT_TRUE(world.journal.empty());
}

TEST_F(PromptTest, EachAnswerRunsThePassSendsTheRequestAndTouchesTheMarkerAsItShould) {
  struct Row {
    Button* answer;  // a control of the description; none: the clock runs out
    Lines options;
    bool passFails;
    bool passRuns, restartSent;
    std::optional<int> exit;
  };
  const Lines pre = {"-i"}, preMarked = {"-i", "-r", kMarker}, marked = {"-r", kMarker};
  const std::optional<int> stays, ok = kExitSuccess, failed = kExitFailure;
  Button *const restart = &resource.restartBtn, *const cancel = &resource.cancelBtn;
  // The answers of the whole runs (PromptE2eTest.EachAnswerOnTheTerminalAndInTheWindow), and
  // the marker of a confirmed restart (ScenarioTest's marker rows), are left to them: no answer
  // here touches the marker.
  const Row rows[] = {
      {restart, marked, false, true, true, stays},
      {restart, {}, true, true, false, failed},
      {restart, preMarked, true, true, false, failed},
      {restart, pre, false, true, false, failed},
      {cancel, pre, true, true, false, failed},
      {&resource.okBtn, {}, false, true, false, ok},
      {nullptr, {"-i", "-d", "-r", kMarker}, true, true, false, failed},
      {nullptr, {"-d"}, false, false, false, stays},
  };
  for (const Row& row : rows) {
    showPrompt(row.options, row.passFails);
    SCOPED_TRACE(joined(row.answer ? row.answer->title() : "clock", row.options) +
                 (row.passFails ? " (pass fails)" : ""));
    const bool counting =
        std::find(row.options.begin(), row.options.end(), "-i") != row.options.end();
    EXPECT_EQ(resource.countdownField.isHidden(), !counting);
    const std::string before = resource.countdownField.stringValue();
    EXPECT_EQ(exitStatusOf([&] { row.answer ? row.answer->performClick() : world.advance(60.0); }),
              row.exit);
    EXPECT_EQ(journalHas("copyRights"), row.passRuns);
    EXPECT_EQ(journalHas("AESend"), row.restartSent);
    EXPECT_FALSE(journalHas(std::string("exec /usr/bin/touch ") + kMarker));
    // Each tool takes five seconds of the loop's clock, as a real copy may: the countdown
    // stopped before the first one (when it ran out, at 1).
    EXPECT_EQ(resource.countdownField.stringValue(),
              row.answer ? before : "The dialog will be closed in 1 seconds");
  }
}

TEST_F(PromptTest, TheGermanCatalogueTranslatesEveryCaptionOfTheNormalLayout) {
  // Without a table every caption is its own key ("OK" is the same word in German); the
  // countdown's text keeps its one placeholder.
  ::setenv("LANGUAGE", "de", 1);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  const GettextLocalizer german(MORVANE_LOCALE_BUILD_DIR);
  for (const std::string key :
       {kCountdownKey, "Restart Now", "Restart Later", "The installation is completed.",
        "Restart your computer for the settings to take effect."}) {
    const std::string text = german.localizedString(key);
    EXPECT_NE(text, key) << "no German text for \"" << key << "\"";
    const std::size_t placeholder = text.find("%@");
    EXPECT_EQ(placeholder != std::string::npos, key == kCountdownKey) << text;
    EXPECT_EQ(text.find("%@", placeholder + 1), std::string::npos) << text;
  }
  EXPECT_EQ(german.localizedString("No such text"), "No such text") << "the key stands";
  ::unsetenv("LANGUAGE");
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace morvane::testing
