// Runs on the simulated machine: a command line, an answer to the prompt, then what the tools
// were asked, what the log says, what the caller was told and the status.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/machine.h"

namespace morvane::testing {
namespace {

using Outcome = PrivilegeOutcome;

// The tools of a pass over a.kext, offered at /k/a.kext.
const std::string a = entry("a.kext"), unload = "/sbin/kextunload " + a, rm = "/bin/rm -rf " + a,
                  cp = "/bin/cp -RH /k/a.kext " + a, load = "/sbin/kextload " + a,
                  touch = std::string("/usr/bin/touch ") + kExtensionsFolder,
                  marker = "/Users/Shared/.marker", touchMarker = "--mark " + marker,
                  setIo = "/usr/sbin/nvram boot-args=io=0x00040000",
                  cpB = "/bin/cp -RH /k/b.kext " + entry("b.kext"),
                  clear = "/usr/sbin/nvram boot-args=";
constexpr int kOk = kExitSuccess, kFailed = kExitFailure;
using Answer::kClockRunsOut, Answer::kClose, Answer::kLater, Answer::kNone, Answer::kRestartNow;

TEST(ScenarioTest, EachRunEndsAsItsRowSaysAndTellsTheCallerWhy) {
  const std::string refused = "Copy Rights Unsuccessful: -60005", cannot = "Error: -60031",
                    noWay = "Error Creating Initial Authorization: -60008",
                    installFailed = "the installation failed; the lines above say where",
                    removalFailed = "the removal failed; the lines above say where",
                    noPrompt = "no display, no terminal",
                    ended =
                        "asked to end while the run waited for the administrator right or a "
                        "tool: nothing more was started",
                    waits =
                        "another run is changing the extensions folder: waiting for it, up "
                        "to 10 minutes";
  const Lines removeA = {"-u", a}, installA = {"-f", "-l", "/k/a.kext"};
  struct Row {
    Lines command;
    Answer answer = kLater, then = kNone;
    bool fresh = false;                  // no copy of a.kext installed yet
    const char* entryLinksTo = nullptr;  // a.kext's entry is a link to this
    const char* bootArgs = "";
    Machine::Faults faults = {};
    std::optional<int> status = kFailed;
    Lines tools = {}, log = {}, told = {};
  };
  // clang-format off
  const Row rows[] = {
      // An upgrade asks for the right before each tool; a refusal is asked again at the next.
      {.command = installA, .status = kOk, .tools = {unload, rm, cp, load, touch}},
      {.command = removeA, .faults = {.noWay = true}, .log = {noWay, noWay}, .told = {removalFailed}},
      {.command = installA, .fresh = true, .faults = {.answers = {Outcome::kDenied}}, .log = {refused}, .told = {installFailed}},
      {.command = installA, .faults = {.answers = {Outcome::kCanceled}}, .status = kOk, .tools = {rm, cp, load, touch},
       .log = {"Copy Rights Unsuccessful: -60006"}},
      {.command = removeA, .faults = {.answers = {Outcome::kUnavailable}}, .status = kOk, .tools = {rm},
       .log = {"Copy Rights Unsuccessful: -60008"}},
      // A removal that fails or cannot start stops the copy, which would nest the bundle.
      {.command = installA, .faults = {.cannotStart = {rm}}, .tools = {unload, rm}, .log = {cannot}, .told = {installFailed}},
      {.command = installA, .faults = {.statuses = {{rm, 1}}}, .tools = {unload, rm}, .log = {"/bin/rm ended with status 1"},
       .told = {installFailed}},
      {.command = removeA, .faults = {.cannotStart = {rm}}, .tools = {unload, rm}, .log = {cannot}, .told = {removalFailed}},
      // A failed copy (a full disk) loads nothing; a refused load or touch is said, and the pass
      // goes on; a failed unload is normal.
      {.command = installA, .fresh = true, .faults = {.statuses = {{cp, 1}}}, .tools = {cp},
       .log = {"/bin/cp ended with status 1"}, .told = {installFailed}},
      {.command = installA, .fresh = true, .faults = {.cannotStart = {load}}, .tools = {cp, load}, .log = {cannot},
       .told = {installFailed}},
      {.command = installA, .faults = {.statuses = {{unload, 1}, {load, 1}, {touch, 1}}}, .status = kOk,
       .tools = {unload, rm, cp, load, touch}, .log = {"/sbin/kextload ended with status 1", "/usr/bin/touch ended with status 1"}},
      // One pass at a time: another run's pass is waited for, 10 minutes at most.
      {.command = removeA, .faults = {.lockHeld = true}, .status = kOk, .tools = {unload, rm}, .told = {waits}},
      {.command = removeA, .faults = {.lockHeld = true, .lockFreed = false},
       .log = {"Refused: another run held the extensions folder for 10 minutes. [/System/Library/Extensions]"},
       .told = {waits, removalFailed}},
      // A list with one refused member runs no tool at all.
      {.command = {"-f", "/k/a.kext", "/k/link.kext"}, .log = {"Refused: the kext to install is a link. [/k/link.kext]"},
       .told = {installFailed}},
      {.command = {"-f", "/k/a.kext", "/k/notes.txt"},
       .log = {"Refused: a kext to install is a path whose last piece ends in .kext. [/k/notes.txt]"}, .told = {installFailed}},
      {.command = {"-u", a, "/k/notes.txt"},
       .log = {"Refused: a kext to remove is an absolute path ending in .kext, without . or .. pieces. [/k/notes.txt]"},
       .told = {removalFailed}},
      // Launch.
      {.command = {}, .told = {"no kext path given"}},
      {.command = {"/k/z.kext"}, .told = {"nothing at /k/z.kext: nothing was changed"}},
      {.command = {"-u", "b.kext"}, .told = {"nothing at b.kext: nothing was changed"}},
      {.command = {"-x", "--uninstall", "-", "-f", "/k/a.kext"}, .status = kOk, .tools = {unload, rm, cp, touch},
       .told = {"ignored -x: no such option", "ignored --uninstall: no such option", "ignored -: no such option"}},
      // The prompt: closing before an installation is nothing installed, after it is not.
      {.command = {"/k/a.kext"}, .answer = kClose, .told = {"the prompt was closed: nothing was installed"}},
      {.command = {"/k/a.kext"}, .answer = kRestartNow, .then = kClose, .faults = {.restartRefused = true}, .status = kOk,
       .tools = {unload, rm, cp, touch}},
      {.command = {"/k/a.kext"}, .answer = kRestartNow, .fresh = true, .faults = {.answers = {Outcome::kDenied}},
       .log = {refused}, .told = {installFailed}},
      {.command = {"/k/a.kext"}, .answer = Answer::kOk, .status = kOk, .tools = {unload, rm, cp, touch}},
      {.command = {"-d", "/k/a.kext"}, .answer = kClockRunsOut, .status = {}},
      {.command = {"-i", "/k/a.kext"}, .answer = kClockRunsOut, .told = {"the countdown ran out without -d: nothing was installed"}},
      {.command = {"-i", "/k/a.kext"}, .faults = {.canAsk = false},
       .told = {"cannot ask whether to restart, nothing was installed: " + noPrompt}},
      // Unattended, with -i -d the countdown's end is taken at once.
      {.command = {"-i", "-d", "/k/a.kext"}, .answer = kNone, .faults = {.canAsk = false}, .status = kOk,
       .tools = {unload, rm, cp, touch},
       .told = {"nobody to ask whether to restart (" + noPrompt + "): installing at once, as -d says the countdown's end does"}},
      // The tools get relative paths as the caller meant them, from the folder it stood in; the
      // marker of a restart confirmed in pre-install mode is the run's last tool, and a signal
      // while it runs fails the run all the same.
      {.command = {"-i", "-r", "marker", "a.kext"}, .answer = kRestartNow, .fresh = true, .status = kOk,
       .tools = {"/bin/cp -RH /Users/Shared/Kit/a.kext " + a, touch, "--mark /Users/Shared/Kit/marker"}},
      {.command = {"-i", "-r", marker, "/k/a.kext"}, .answer = kRestartNow, .fresh = true,
       .faults = {.askedToEndDuring = touchMarker}, .tools = {cp, touch, touchMarker}, .told = {ended}},
      // A pass stops at the first failure and undoes nothing; with everything installed already it
      // copies nothing and still touches the folder. A trailing slash, as a shell's completion
      // leaves it, still names the bundle.
      {.command = {"/k/a.kext", "/k/b.kext", "/k/c.kext"}, .fresh = true, .faults = {.cannotStart = {cpB}},
       .tools = {cp, cpB}, .log = {cannot}, .told = {installFailed}},
      {.command = {"-f", "/k/c.kext/"}, .status = kOk, .tools = {touch}},
      // An installed entry that is still a link when the copy comes would take the copy into the
      // link's target: a dangling one, which is no installed copy to remove.
      {.command = {"-f", "/k/a.kext"}, .fresh = true, .entryLinksTo = "/nowhere",
       .log = {"Refused: the installed kext is a link. [" + a + "]"}, .told = {installFailed}},
      {.command = {"-f", "/k/a.kext"}, .fresh = true, .entryLinksTo = "/Users/Shared/real.kext", .status = kOk,
       .tools = {unload, rm, cp, touch}},
      // The boot argument comes first, and its marker ends the pass; once the caller has restarted
      // and removed the marker, the next run installs.
      {.command = {"-n", "-r", marker, "/k/a.kext"}, .fresh = true, .status = kOk, .tools = {setIo, touchMarker}},
      {.command = {"-n", "-r", marker, "/k/a.kext"}, .fresh = true, .bootArgs = "io=0x00040000", .status = kOk,
       .tools = {cp, touch}},
      // Asked to end while a tool runs: the tools up to it ran, no other starts, and the run fails.
      {.command = installA, .faults = {.askedToEndDuring = unload}, .tools = {unload}, .told = {ended}},
      {.command = installA, .faults = {.askedToEndDuring = rm}, .tools = {unload, rm}, .told = {ended}},
      {.command = installA, .faults = {.askedToEndDuring = cp}, .tools = {unload, rm, cp}, .told = {ended}},
      {.command = installA, .faults = {.askedToEndDuring = load}, .tools = {unload, rm, cp, load}, .told = {ended}},
      {.command = installA, .faults = {.askedToEndDuring = touch}, .tools = {unload, rm, cp, load, touch}, .told = {ended}},
      {.command = {"-n", "-u", a}, .faults = {.askedToEndDuring = unload}, .tools = {unload}, .told = {ended}},
      {.command = {"-n", "-u", a}, .faults = {.askedToEndDuring = rm}, .tools = {unload, rm}, .told = {ended}},
      {.command = {"-n", "-u", a}, .bootArgs = "io=0x00040000", .faults = {.askedToEndDuring = clear},
       .tools = {unload, rm, clear}, .told = {ended}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(joined("Morvane", row.command) + " (row " + std::to_string(&row - rows) + ")");
    Machine machine;
    machine.offer("/k/a.kext", "2.0");
    for (const std::string& kext :
         Lines{"/k/notes.txt", "/Users/Shared/Kit/a.kext", "/Users/Shared/real.kext", "/k/b.kext",
               "/k/c.kext", entry("c.kext")}) {
      machine.offer(kext, "1.0");
    }
    machine.links["/k/link.kext"] = "/k/a.kext";
    if (!row.fresh) {
      machine.offer(a, "1.0");
    }
    if (row.entryLinksTo) {
      machine.links[a] = row.entryLinksTo;
    }
    machine.bootArgs = row.bootArgs;
    machine.faults = row.faults;
    ::testing::internal::CaptureStdout();  // the usage text
    const std::optional<int> status = machine.launch(row.command, row.answer);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(row.then == kNone ? status : machine.answer(row.then), row.status);
    EXPECT_EQ(machine.tools(), row.tools);
    EXPECT_EQ(machine.log, row.log);
    EXPECT_EQ(machine.told, row.told);
    EXPECT_EQ(std::ranges::count(machine.calls, "right"),
              row.faults.noWay ? 0 : std::ssize(row.tools) + std::ssize(row.faults.answers));
  }
}

TEST(ScenarioTest, ASourceGoneBetweenLaunchAndTheAnswerIsRefusedWhenItsTurnComes) {
  Machine machine;
  machine.offer("/k/a.kext", "1.0");
  machine.offer("/k/d.kext", "1.0");
  EXPECT_EQ(machine.launch({"/k/a.kext", "/k/d.kext"}), std::nullopt);
  machine.files.erase("/k/d.kext");
  EXPECT_EQ(machine.answer(kLater), kFailed);
  EXPECT_EQ(machine.tools(), Lines{cp});
  EXPECT_EQ(machine.log.back(), "Can't found source file. [/k/d.kext]");
}

TEST(ScenarioTest, AnUntrustedMarkerIsNeverBelievedNorTouched) {
  // A marker that is not root's own file is neither believed nor touched: any user could plant
  // one to stop every later installation, or a link to have root touch another file.
  using Kind = Machine::Kind;
  struct Marker {
    std::optional<Kind> kind = {};
    bool link = false;
    uid_t owner = 0;
    Lines tools;
  };
  // clang-format off
  const Marker markers[] = {
      {.tools = {cp, touch, touchMarker}}, {.kind = Kind::kFile, .tools = {touchMarker}},
      {.link = true, .tools = {cp, touch}}, {.kind = Kind::kFile, .owner = 501, .tools = {cp, touch}},
      {.kind = Kind::kFolder, .tools = {cp, touch}}};
  // clang-format on
  for (const Marker& row : markers) {
    SCOPED_TRACE(&row - markers);
    Machine machine;
    machine.offer("/k/a.kext", "1.0");
    if (row.kind) {
      machine.files[marker] = *row.kind;
    }
    if (row.link) {
      machine.links[marker] = "/etc/sudoers";
    }
    machine.owners[marker] = row.owner;
    // Confirming in pre-install mode makes the marker, once the pass has run.
    EXPECT_EQ(machine.launch({"-i", "-r", marker, "/k/a.kext"}, kRestartNow), kOk);
    EXPECT_EQ(machine.tools(), row.tools);
    EXPECT_EQ(machine.log.size(), row.tools.size() == 2 ? 2u : 0u) << "looked at twice";
    // Nor does setting the boot argument touch it.
    machine.calls.clear();
    machine.files.erase(a);
    EXPECT_EQ(machine.launch({"-n", "-r", marker, "/k/a.kext"}, kLater), kOk);
    EXPECT_EQ(machine.tools().front(), setIo);
    EXPECT_EQ(std::ranges::count(machine.tools(), touchMarker), row.tools.size() == 2 ? 0 : 1);
  }
}

TEST(ScenarioTest, TheFilterDropsOnlyAKextInstalledInTheSameOrANewerVersionAndLoaded) {
  struct Row {
    std::optional<std::string> offered, installed;
    bool loaded, kept, replaced;
  };
  // clang-format off
  const Row rows[] = {
      {.offered = "2.0", .installed = "1.0", .loaded = true, .kept = true, .replaced = true},
      {.offered = "1.0", .installed = "1.0", .loaded = false, .kept = true, .replaced = false},
      {.offered = "1.0", .installed = "1.0", .loaded = true, .kept = false, .replaced = false},
      {.offered = "01.9", .installed = "1.10", .loaded = true, .kept = false, .replaced = false},
      {.offered = {}, .installed = "1.0", .loaded = true, .kept = false, .replaced = false},
      // An installed copy without a version is taken as older, so that it can be repaired.
      {.offered = "1.0", .installed = {}, .loaded = true, .kept = true, .replaced = true},
  };
  // clang-format on
  for (const Row& row : rows) {
    for (const bool force : {false, true}) {
      SCOPED_TRACE(row.offered.value_or("-") + " over " + row.installed.value_or("-") +
                   (force ? " -f" : ""));
      Machine machine;
      machine.offer("/k/a.kext", row.offered, "com.example.a");
      machine.offer(a, row.installed, "com.example.a");
      if (row.loaded) {
        machine.loaded["com.example.a"] = "1.0";
      }
      // Nothing left ends the run at launch with success; -f keeps every kext, and still never
      // replaces the same or a newer version.
      EXPECT_EQ(machine.launch(force ? Lines{"-f", "/k/a.kext"} : Lines{"/k/a.kext"}, kLater), kOk);
      EXPECT_EQ(machine.tools().empty(), !row.kept && !force);
      EXPECT_EQ(std::ranges::count(machine.tools(), cp), row.replaced ? 1 : 0);
    }
  }
  // The loaded query names a bundle without an identifier "(null)".
  Machine machine;
  machine.offer("/k/a.kext", "1.0");
  machine.offer(a, "1.0");
  machine.loaded["(null)"] = "1.0";
  EXPECT_EQ(machine.launch({"/k/a.kext"}), kOk);
  EXPECT_EQ(machine.calls, Lines{"run /usr/sbin/kextstat -l -bundle-id (null)"});
}

TEST(ScenarioTest, TheDefaultMarkerOnlyOnSystemsOlderThanLionOrUnknown) {
  // The version, and whether the default marker, found, ends the pass without a copy.
  const std::pair<std::optional<std::int32_t>, bool> rows[] = {
      {0x1068, true}, {0x106F, true}, {-1, true}, {{}, true}, {0x1070, false}, {0x1099, false}};
  for (const auto& [version, markerHolds] : rows) {
    for (const bool named : {false, true}) {
      SCOPED_TRACE(version.value_or(0));
      Machine machine;
      machine.offer("/k/a.kext", "1.0");
      machine.files["/Users/Shared/.quorix_install_reboot"] = Machine::Kind::kFile;
      machine.version = version;
      EXPECT_EQ(machine.launch(named ? Lines{"-r", "/tmp/other", "/k/a.kext"} : Lines{"/k/a.kext"},
                               kLater),
                kOk);
      EXPECT_EQ(machine.tools().empty(), markerHolds && !named);
    }
  }
}

TEST(ScenarioTest, TheLayoutsShowTheirTexts) {
  Machine machine;
  InterfaceResource& ui = machine.resource;
  // okBtn, restartBtn, cancelBtn, textTitle, textField and the window's title as shown.
  const auto shown = [&ui] {
    return Lines{ui.okBtn.title(),           ui.restartBtn.title(),      ui.cancelBtn.title(),
                 ui.textTitle.stringValue(), ui.textField.stringValue(), ui.window.title()};
  };
  const std::string note =
      "Note that you won't hear audio during your remote sessions unless this Mac has been "
      "restarted. You can restart later at your convenience.";
  machine.offer("/k/a.kext", "1.0");
  // clang-format off
  machine.translations = {{"Restart Now", "Jetzt neu starten"}, {"OK", "Gut"}, {"Continue", "Weiter"},
                          {"Installation is complete.", "Fertig."}, {note, "Hinweis"}};
  // clang-format on
  const Rect cancelFrame = ui.cancelBtn.frame();
  ASSERT_EQ(machine.launch({"-f", "/k/a.kext"}), std::nullopt);
  EXPECT_EQ(shown(),
            (Lines{"Gut", "Jetzt neu starten", "Restart Later", "The installation is completed.",
                   "Restart your computer for the settings to take effect.", "Morvane"}));
  EXPECT_FALSE(ui.layout1.isHidden() || ui.restartBtn.isHidden());
  EXPECT_TRUE(ui.layout2.isHidden() && ui.countdownField.isHidden());

  // Pre-install: the installer's own texts as they stand, Continue in Restart Now's place.
  ASSERT_EQ(machine.launch({"-i", "-t", "Installer", "-r", "/m", "-f", "/k/a.kext"}), std::nullopt);
  EXPECT_EQ(shown(), (Lines{"Gut", "Jetzt neu starten", "Continue", "Installation is complete.",
                            note, "Installer"}));
  EXPECT_TRUE(ui.restartBtn.isHidden());
  EXPECT_EQ(ui.cancelBtn.frame(), (Rect{ui.restartBtn.frame().origin, cancelFrame.size}));
}

}  // namespace
}  // namespace morvane::testing
