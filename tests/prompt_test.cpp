// The restart prompt on the simulated machine's manual clock: the countdown, the answers and what
// each one leaves behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/posix/localizer_gettext.h"
#include "tests/fakes/machine.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

constexpr char kKext[] = "/k/a.kext";
constexpr char kMarker[] = "/m/marker";
constexpr char kCountdownKey[] = "The dialog will be closed in %@ seconds";

/// A machine that launches an installation of kKext with `options` up to the prompt. Each
/// privileged tool takes five seconds of the loop's clock, as a real copy may.
std::unique_ptr<Machine> showPrompt(Lines options, std::deque<PrivilegeOutcome> answers = {}) {
  auto machine = std::make_unique<Machine>();
  machine->offer(kKext, std::nullopt);
  machine->version = kLionSystemVersion;  // no default marker
  machine->faults.answers = std::move(answers);
  machine->toolSeconds = 5;
  options.insert(options.end(), {"-f", kKext});
  EXPECT_EQ(machine->launch(options), std::nullopt);
  return machine;
}

bool called(const Machine& machine, const std::string& prefix) {
  return std::ranges::any_of(machine.calls,
                             [&](const std::string& line) { return line.starts_with(prefix); });
}

TEST(PromptTest, CountdownShowsSixtyDownToOneAndEndsOnTheSixtiethTick) {
  auto machine = showPrompt({"-i"});
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
  EXPECT_TRUE(machine->calls.empty());

  // The sixtieth tick finds the count at 1: no 0 is shown, the run is abandoned.
  EXPECT_EQ(machine->answer(Answer::kClockRunsOut), kExitFailure);
  EXPECT_EQ(countdown.stringValue(), "noch 1 Sekunden");
  EXPECT_TRUE(machine->calls.empty());
}

TEST(PromptTest, EachAnswerRunsThePassSendsTheRequestAndEndsAsItShould) {
  struct Row {
    Answer answer;
    Lines options = {};
    bool passFails = false, restartRefused = false, passRuns = true, restartSent = false;
    std::optional<int> exit = kExitFailure;
  };
  const Lines pre = {"-i"}, preMarked = {"-i", "-r", kMarker}, marked = {"-r", kMarker};
  const std::optional<int> stays;
  using enum Answer;
  // clang-format off
  const Row rows[] = {
      {.answer = kRestartNow, .restartRefused = true, .restartSent = true, .exit = stays},
      {.answer = kRestartNow, .options = marked, .restartSent = true, .exit = stays},
      {.answer = kRestartNow, .passFails = true},
      {.answer = kRestartNow, .options = preMarked, .passFails = true},
      {.answer = kRestartNow, .options = pre},
      {.answer = kLater, .options = pre, .passFails = true},
      {.answer = kOk, .exit = kExitSuccess},
      {.answer = kClose, .options = marked, .passRuns = false},
      {.answer = kClockRunsOut, .options = {"-i", "-d", "-r", kMarker}, .passFails = true},
      {.answer = kClockRunsOut, .options = {"-d"}, .passRuns = false, .exit = stays},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(joined("answer " + std::to_string(static_cast<int>(row.answer)), row.options));
    auto machine = showPrompt(row.options, row.passFails ? std::deque{PrivilegeOutcome::kDenied}
                                                         : std::deque<PrivilegeOutcome>{});
    machine->faults.restartRefused = row.restartRefused;
    const TextField& countdown = machine->resource.countdownField;
    const bool counting = std::ranges::find(row.options, "-i") != row.options.end();
    EXPECT_EQ(countdown.isHidden(), !counting);
    const std::string before = countdown.stringValue();
    EXPECT_EQ(machine->answer(row.answer), row.exit);
    EXPECT_EQ(called(*machine, "right"), row.passRuns);
    EXPECT_EQ(called(*machine, "restart"), row.restartSent);
    // The countdown stopped before the first tool (when it ran out, at 1); a restart request
    // says in its place what became of it.
    std::string shown = row.answer == Answer::kClockRunsOut && counting
                            ? "The dialog will be closed in 1 seconds"
                            : before;
    if (row.restartSent) {
      shown = row.restartRefused
                  ? "The restart could not be requested. Please restart the computer yourself."
                  : "The restart was requested.";
    }
    EXPECT_EQ(countdown.stringValue(), shown);
    EXPECT_EQ(countdown.isHidden(), !counting && !row.restartSent);
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
