// The delegate's steps as scenarios on the simulated machine. Whole runs of the uninstall pass
// (its order, its stop at the first failure, the boot argument then left as it was), the
// launch filter and the refused paths are in e2e_test.cpp; what stays here is what a whole run
// cannot reach: the installation pass behind the prompt, refused rights, tools that cannot
// start, the launch's layout and the clean-up at termination.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/fake_world.h"

namespace morvane::testing {
namespace {

constexpr char kRequest[] = "copyRights 42 system.privilege.admin 19";
// The tools of a pass over a.kext, offered at /k/a.kext.
const std::string a = entry("a.kext"), unload = "/sbin/kextunload " + a, rm = "/bin/rm -rf " + a,
                  cp = "/bin/cp -rf /k/a.kext " + a, load = "/sbin/kextload " + a,
                  touch = "/usr/bin/touch " + std::string(kExtensionsFolder);

class ScenarioTest : public WorldTest {
 protected:
  void SetUp() override { start({}); }
  int install(const std::string& name) { return peer().installKext("/k/" + name, entry(name)); }
};

TEST_F(ScenarioTest, AnUpgradeUnloadsRemovesCopiesAndLoadsEachToolUnderItsOwnRequest) {
  // A free place (nothing compared or removed) is in the whole runs' installation pass, the
  // same or a newer installed version in UpgradeStatusAgainstTheInstalledCopy.
  world.offer("/k/new.kext", "2.0", "com.example.new");
  world.offer(entry("new.kext"), "1.9");
  peer().loadKext() = peer().forceInstall() = true;
  EXPECT_EQ(install("new.kext"), 1);
  const std::string to = entry("new.kext");
  // Each tool is waited for before the next one starts, under a right asked for each.
  EXPECT_EQ(world.journal,
            (Lines{"create 0", kRequest, "exec /sbin/kextunload " + to, "wait /sbin/kextunload",
                   kRequest, "exec /bin/rm -rf " + to, "wait /bin/rm", kRequest,
                   "exec /bin/cp -rf /k/new.kext " + to, "wait /bin/cp", kRequest,
                   "exec /sbin/kextload " + to, "wait /sbin/kextload"}));
  EXPECT_EQ(world.loaded, (std::map<std::string, std::string>{{"com.example.new", "2.0"}}));
}

TEST_F(ScenarioTest, ARefusedRightOrAToolThatCannotStartStopsWhatDependsOnIt) {
  // A failed creation asks nothing and starts nothing; the next tool tries again.
  const char* const args[] = {"/x", nullptr};
  world.createStatus = errAuthorizationInternal;
  EXPECT_FALSE(peer().executePrivilegesWithCommand("/bin/rm", args));
  world.createStatus = errAuthorizationSuccess;
  EXPECT_TRUE(peer().executePrivilegesWithCommand("/bin/rm", args));
  EXPECT_EQ(world.journal,
            (Lines{"create 0", "create 0", kRequest, "exec /bin/rm /x", "wait /bin/rm"}));
  EXPECT_EQ(world.log, Lines{"Error Creating Initial Authorization: -60008"});

  // Rows: the pass over a.kext (installed or not), the tools that cannot start, whether the
  // first request for the right is refused (the next one is granted), what started, the result.
  const std::string refused = "Copy Rights Unsuccessful: -60005", failed = "Error: -60031";
  struct Row {
    bool installed, uninstall;
    Lines cannotStart;
    bool refusedOnce, result;
    Lines execs, log;
  };
  const Row rows[] = {
      {false, false, {}, true, false, {}, {refused}},  // the copy's right: the pass fails
      {true, false, {}, true, true, {rm, cp, load, touch}, {refused}},  // the unload's: ignored
      {true, true, {}, true, true, {rm}, {refused}},
      // A failed removal still lets the copy try; a failed copy loads nothing.
      {true, false, {"/bin/rm", "/bin/cp"}, false, false, {unload, rm, cp}, {failed, failed}},
      {false, false, {"/sbin/kextload"}, false, false, {cp, load}, {failed}},
      {true, true, {"/bin/rm"}, false, false, {unload, rm}, {failed}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(joined(row.uninstall ? "-u" : "install", row.cannotStart));
    world = FakeWorld();
    world.offer("/k/a.kext", "2.0");
    if (row.installed) {
      world.offer(a, "1.0");
    }
    world.refusals = {row.refusedOnce ? errAuthorizationDenied : errAuthorizationSuccess};
    for (const std::string& tool : row.cannotStart) {
      world.startFailures[tool] = {errAuthorizationToolExecuteFailure};
    }
    peer().loadKext() = true;
    peer().pathArray() = {row.uninstall ? a : "/k/a.kext"};
    EXPECT_EQ(peer().processKextInstall(row.uninstall), row.result);
    EXPECT_EQ(world.execs(), row.execs);
    EXPECT_EQ(std::ranges::count(world.journal, kRequest),
              std::ssize(row.execs) + (row.refusedOnce ? 1 : 0));
    EXPECT_EQ(world.log, row.log);
  }
}

TEST_F(ScenarioTest, InstallationPassStopsAtTheFirstFailureAndTouchesTheFolderOnlyAfterAll) {
  for (const char* name : {"a", "b", "c"}) {
    world.offer(std::string("/k/") + name + ".kext", "1.0");
  }
  peer().pathArray() = {"/k/a.kext", "/k/b.kext", "/k/c.kext"};
  world.startFailures["/bin/cp"] = {errAuthorizationSuccess, errAuthorizationToolExecuteFailure};
  EXPECT_FALSE(peer().processKextInstall(false));
  EXPECT_EQ(world.execs(), (Lines{"/bin/cp -rf /k/a.kext " + entry("a.kext"),
                                  "/bin/cp -rf /k/b.kext " + entry("b.kext")}));
  EXPECT_TRUE(world.fileExists(entry("a.kext"))) << "no rollback";

  // Everything already installed: nothing copied, the folder is still touched. A trailing
  // slash, as a shell's completion leaves it, still names the bundle.
  world.journal.clear();
  peer().pathArray() = {"/k/a.kext/"};
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_EQ(world.execs(), Lines{touch});

  // A source gone since the launch is refused before any tool, with its log line (one that
  // names no entry: the whole runs "offered ." and "offered ..").
  world.journal.clear();
  world.log.clear();
  peer().pathArray() = {"/k/a.kext", "/k/missing.kext"};
  EXPECT_FALSE(peer().processKextInstall(false));
  EXPECT_TRUE(world.execs().empty());
  EXPECT_EQ(world.log, Lines{"Can't found source file. [/k/missing.kext]"});
}

TEST_F(ScenarioTest, TheBootArgumentComesFirstAndItsMarkerEndsThePass) {
  world.offer("/k/a.kext", "1.0");
  peer().pathArray() = {"/k/a.kext"};
  peer().nvram() = true;
  peer().rebootFile() = "/Users/Shared/.marker";
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_EQ(world.execs(), (Lines{"/usr/sbin/nvram boot-args=io=0x00040000",
                                  "/usr/bin/touch /Users/Shared/.marker"}));
  // A boot argument that fails stops the pass: the whole runs with a faulty nvram.
}

TEST_F(ScenarioTest, ALinkedSourceEntryOrMarkerIsNeverTrusted) {
  // A linked source is refused in the whole run "offered link". An installed entry that is still a
  // link when the copy comes would take the copy into the link's target: after a removal that could
  // not start, or a dangling one that is not removed.
  world.offer("/Users/Shared/real.kext", "1.0");
  world.offer("/k/a.kext", "2.0");
  const std::tuple<const char*, bool, Lines> rows[] = {
      {"/Users/Shared/real.kext", true, {unload, rm}},
      {"/nowhere", false, {}},
      {"/Users/Shared/real.kext", false, {unload, rm, cp}}};
  for (const auto& [target, rmFails, execs] : rows) {
    world.journal.clear();
    world.log = {""};
    world.links[a] = target;
    world.startFailures["/bin/rm"] = {rmFails ? errAuthorizationToolExecuteFailure : 0};
    EXPECT_EQ(install("a.kext"), execs.size() == 3 ? 1 : 0) << target;
    EXPECT_EQ(world.execs(), execs) << target;
    EXPECT_EQ(world.log.back(),
              execs.size() < 3 ? "Refused: the installed kext is a link. [" + a + "]" : "")
        << target;
  }

  // A marker that is not root's own file is never believed, nor touched: any user could plant
  // one to stop every later installation, or a link to have root touch another file.
  const std::string marker = "/Users/Shared/.marker", touchMarker = "/usr/bin/touch " + marker;
  world.offer("/k/a.kext", "1.0");
  peer().pathArray() = {"/k/a.kext"};
  peer().rebootFile() = marker;
  peer().preInstall() = true;
  using Kind = FakeWorld::Kind;
  const std::tuple<const char*, std::optional<Kind>, uid_t, Lines> markers[] = {
      {"absent", {}, 0, {cp, touch, touchMarker}},
      {"root's file", Kind::kFile, 0, {touchMarker}},
      {"a link", {}, 0, {cp, touch}},
      {"another user's file", Kind::kFile, 501, {cp, touch}},
      {"a folder", Kind::kFolder, 0, {cp, touch}}};
  for (const auto& [name, kind, owner, execs] : markers) {
    world.journal.clear();
    world.log.clear();
    world.files.erase(marker);
    world.files.erase(a);
    world.links.erase(marker);
    if (kind) {
      world.files[marker] = *kind;
    }
    if (name == std::string("a link")) {
      world.links[marker] = "/etc/sudoers";
    }
    world.owners[marker] = owner;
    EXPECT_EQ(exitStatusOf([&] { delegate().rebootConfirmed(nullptr); }), kExitSuccess) << name;
    EXPECT_EQ(world.execs(), execs) << name;
    EXPECT_EQ(world.log.size(), execs.size() == 2 ? 2u : 0u) << name;
  }
  // Setting the boot argument does not touch a refused marker either.
  world.journal.clear();
  world.files.erase(a);
  peer().nvram() = true;
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_EQ(world.execs(), (Lines{"/usr/sbin/nvram boot-args=io=0x00040000", cp, touch}));
}

TEST_F(ScenarioTest, TheFilterKeepsAKextThatIsNotLoadedOrOfferedInAHigherVersion) {
  // What it drops is pinned down by the whole runs (e2e_test.cpp).
  world.offer("/k/idle.kext", "1.0", "com.example.idle");
  world.offer(entry("idle.kext"), "1.0");
  world.offer("/k/new.kext", "2.0", "com.example.new");
  world.offer(entry("new.kext"), "1.0");
  world.loaded = {{"com.example.new", "1.0"}};
  peer().pathArray() = {"/k/new.kext", "/k/idle.kext"};
  EXPECT_TRUE(peer().filterNotInstallKext());
  EXPECT_EQ(peer().pathArray(), (Lines{"/k/new.kext", "/k/idle.kext"}));
  // The loaded query needs an Info.plist: the query by identifier, its answer, and a listing
  // that is not UTF-8 are in whole runs.
  world.journal.clear();
  world.offer("/k/bare.kext", std::nullopt);
  EXPECT_FALSE(peer().isKextLoadedInSystem("/k/bare.kext"));
  EXPECT_TRUE(world.journal.empty()) << "no Info.plist, no tool";
}

TEST_F(ScenarioTest, UpgradeStatusAgainstTheInstalledCopy) {
  // Rows: offered version, installed version (none: no bundle information), status.
  const std::tuple<std::optional<std::string>, std::optional<std::string>, int> rows[] = {
      {"1.10", "1.9", 1},
      {"1.9", "1.10", 3},
      {"01.9", "1.9", 2},
      {std::nullopt, "1.0", 2},
      {"1.0", std::nullopt, 1},
      {"", std::nullopt, 1},
      {std::nullopt, std::nullopt, 2}};
  for (const auto& [offered, installed, expected] : rows) {
    world.plists.clear();
    world.offer("/k/a.kext", offered);
    world.offer(entry("a.kext"), installed);
    SCOPED_TRACE(offered.value_or("(none)") + " vs " + installed.value_or("(none)"));
    EXPECT_EQ(peer().checkKextUpgrade("/k/a.kext/"), expected);
    // -f never replaces the same or a newer version: nothing runs.
    peer().forceInstall() = true;
    world.journal.clear();
    EXPECT_EQ(install("a.kext") == 2, expected > 1);
    EXPECT_EQ(world.journal.empty(), expected > 1);
  }
}

TEST_F(ScenarioTest, TheDefaultMarkerOnlyOnSystemsOlderThanLionOrUnknown) {
  world.offer("/k/a.kext", "1.0");
  const std::string fallback = "/Users/Shared/.quorix_install_reboot";
  const std::tuple<OSErr, std::int32_t, Lines, std::optional<std::string>> rows[] = {
      // clang-format off
      {noErr, 0x1068, {}, fallback}, {noErr, 0x106F, {}, fallback}, {noErr, -1, {}, fallback},
      {noErr, 0x1070, {}, std::nullopt}, {noErr, 0x1099, {}, std::nullopt},
      {fnfErr, 0x1099, {}, fallback}, {noErr, 0x1068, {"-r", "/tmp/marker"}, "/tmp/marker"},
      {fnfErr, 0, {"-r", "/tmp/marker"}, "/tmp/marker"},
      // clang-format on
  };
  for (auto [status, version, arguments, marker] : rows) {
    world.versionStatus = status;
    world.version = version;
    arguments.insert(arguments.end(), {"-f", "/k/a.kext"});
    EXPECT_EQ(launch(arguments), std::nullopt);
    EXPECT_EQ(peer().rebootFile(), marker) << std::hex << version << " status " << status;
  }
}

TEST_F(ScenarioTest, TheLayoutsAndTheCleanUpAtTermination) {
  // okBtn, restartBtn, cancelBtn, textTitle, textField and the window's title as shown.
  const auto shown = [this] {
    return Lines{resource.okBtn.title(),           resource.restartBtn.title(),
                 resource.cancelBtn.title(),       resource.textTitle.stringValue(),
                 resource.textField.stringValue(), resource.window.title()};
  };
  const std::string note =
      "Note that you won't hear audio during your remote sessions unless this Mac has been "
      "restarted. You can restart later at your convenience.";
  world.offer("/k/a.kext", "1.0");
  world.translations = {{"Restart Now", "Jetzt neu starten"},
                        {"OK", "Gut"},
                        {"Continue", "Weiter"},
                        {"Installation is complete.", "Fertig."},
                        {note, "Hinweis"}};
  const Rect cancelFrame = resource.cancelBtn.frame();
  ASSERT_EQ(launch({"-f", "/k/a.kext"}), std::nullopt);
  EXPECT_EQ(shown(),
            (Lines{"Gut", "Jetzt neu starten", "Restart Later", "The installation is completed.",
                   "Restart your computer for the settings to take effect.", "Morvane"}));
  EXPECT_FALSE(resource.layout1.isHidden() || resource.restartBtn.isHidden());
  EXPECT_TRUE(resource.layout2.isHidden() && resource.countdownField.isHidden());

  // Pre-install: the installer's own texts as they stand, Continue in Restart Now's place.
  ASSERT_EQ(launch({"-i", "-t", "Installer", "-r", "/m", "-f", "/k/a.kext"}), std::nullopt);
  EXPECT_EQ(shown(), (Lines{"Gut", "Jetzt neu starten", "Continue", "Installation is complete.",
                            note, "Installer"}));
  EXPECT_TRUE(resource.restartBtn.isHidden());
  EXPECT_EQ(resource.cancelBtn.frame(),
            (Rect{resource.restartBtn.frame().origin, cancelFrame.size}));

  // Termination hides the window, releases the strings and frees the credential, once.
  resource.window.orderFront();
  peer().authorizationRef() = 7;
  delegate().applicationWillTerminate();
  delegate().applicationWillTerminate();
  EXPECT_FALSE(resource.window.isVisible());
  EXPECT_EQ(peer().windowTitle(), std::nullopt);
  EXPECT_EQ(peer().rebootFile(), std::nullopt);
  EXPECT_EQ(world.journal, Lines{"free 7 0"});
}

TEST_F(ScenarioTest, ASignalDuringAToolEndsThePassAsAFailureWithoutAnotherTool) {
  // Each pass runs once for every tool of its whole sequence, the program asked to end while
  // that tool runs: the tools up to it ran, no other starts, and the pass fails.
  const Lines copy = {unload, rm, cp, load, touch},
              removal = {unload, rm, "/usr/sbin/nvram boot-args="};
  for (const bool uninstall : {false, true}) {
    const Lines& all = uninstall ? removal : copy;
    for (std::size_t during = 0; during < all.size(); ++during) {
      world = FakeWorld();
      world.offer("/k/a.kext", "2.0");
      world.offer(a, "1.0");
      world.bootArgs = "io=0x00040000";
      world.askedToEndDuring = all[during];
      peer().loadKext() = true;
      peer().nvram() = uninstall;
      peer().pathArray() = {uninstall ? a : "/k/a.kext"};
      EXPECT_FALSE(peer().processKextInstall(uninstall)) << all[during];
      EXPECT_EQ(world.execs(), Lines(all.begin(), all.begin() + during + 1)) << all[during];
    }
  }
  // The marker of a restart confirmed in pre-install mode is the run's last tool: 255 as well.
  world = FakeWorld();
  peer().nvram() = false;
  peer().preInstall() = true;
  peer().pathArray() = {};
  peer().rebootFile() = "/Users/Shared/.marker";
  world.askedToEndDuring = "/usr/bin/touch /Users/Shared/.marker";
  EXPECT_EQ(exitStatusOf([this] { delegate().rebootConfirmed(nullptr); }), kExitFailure);
}

}  // namespace
}  // namespace morvane::testing
