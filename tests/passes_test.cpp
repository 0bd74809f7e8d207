#include <gtest/gtest.h>

#include "tests/delegate_fixture.h"

namespace morvane::testing {
namespace {

const std::string kExt = "/System/Library/Extensions";

/// A machine as the passes see it: offered and installed kexts with their versions, loaded
/// bundle identifiers, and privileged tools whose runs change what exists.
class PassesTest : public DelegateTest {
 protected:
  void SetUp() override {
    start({});
    files.addDirectory(kExt);
    for (const char* tool : {"/usr/sbin/kextstat", "/usr/sbin/nvram", "/usr/bin/uname"}) {
      files.addFile(tool, true);
    }
    processes.answer = [this](const std::string& tool, const std::vector<std::string>& args) {
      return answerTool(tool, args);
    };
    authorization.effect = [this](const std::string& tool, const std::vector<std::string>& args) {
      applyTool(tool, args);
    };
  }

  void offer(const std::string& path, std::optional<std::string> version,
             std::optional<std::string> bundleID = std::nullopt) {
    files.addDirectory(path);
    if (version) {
      propertyLists.bundleVersions[path] = *version;
    }
    if (bundleID) {
      files.addFile(path + "/Contents/Info.plist");
      propertyLists.files[path + "/Contents/Info.plist"]["CFBundleIdentifier"] = *bundleID;
    }
  }
  void install(const std::string& name, const std::string& version) {
    offer(kExt + "/" + name, version);
  }

  /// The privileged tool runs, in order, without the journal's prefix.
  std::vector<std::string> execs() const {
    std::vector<std::string> runs;
    for (const std::string& line : journal) {
      if (line.starts_with("exec ")) {
        runs.push_back(line.substr(5));
      }
    }
    return runs;
  }

  std::optional<std::string> answerTool(const std::string& tool,
                                        const std::vector<std::string>& args) {
    if (tool == "/usr/bin/uname") {
      return machine;
    }
    if (tool == "/usr/sbin/nvram") {
      return "boot-args\t" + bootArgs;
    }
    return loaded.count(args.back()) != 0 ? "  12 0 0xff 0x50 0x50 " + args.back() + " (1.0)\n"
                                          : "";
  }

  void applyTool(const std::string& tool, const std::vector<std::string>& args) {
    if (tool == "/bin/rm") {
      files.remove(args[1]);
    } else if (tool == "/bin/cp") {
      files.addDirectory(args[2]);
      if (propertyLists.bundleVersions.count(args[1]) != 0) {
        propertyLists.bundleVersions[args[2]] = propertyLists.bundleVersions[args[1]];
      }
    } else if (tool == "/usr/bin/touch") {
      files.addFile(args[0]);
    } else if (tool == "/usr/sbin/nvram") {
      bootArgs = args[0].substr(std::string("boot-args=").size());
    }
  }

  std::optional<std::string> machine = "i386\n";
  std::string bootArgs;
  std::set<std::string> loaded;
};

TEST_F(PassesTest, InstallReplacesOnlyAnOlderCopy) {
  offer("/k/new.kext", "2.0");
  install("new.kext", "1.9");
  offer("/k/same.kext", "1.0");
  install("same.kext", "1.0");
  offer("/k/old.kext", "1.9");
  install("old.kext", "1.10");
  peer().loadKext() = true;
  peer().forceInstall() = true;  // never replaces a copy of the same or a newer version

  EXPECT_EQ(peer().installKext("/k/same.kext", kExt + "/same.kext"), 2);
  EXPECT_EQ(peer().installKext("/k/old.kext", kExt + "/old.kext"), 2);
  EXPECT_TRUE(execs().empty());

  EXPECT_EQ(peer().installKext("/k/new.kext", kExt + "/new.kext"), 1);
  EXPECT_EQ(execs(), (std::vector<std::string>{"/sbin/kextunload " + kExt + "/new.kext",
                                               "/bin/rm -rf " + kExt + "/new.kext",
                                               "/bin/cp -rf /k/new.kext " + kExt + "/new.kext",
                                               "/sbin/kextload " + kExt + "/new.kext"}));
  // Each tool has ended before the next one starts.
  EXPECT_EQ(journal[journal.size() - 4], "wait /bin/cp");

  // A free place: no version is compared, the kext is copied and loaded.
  journal.clear();
  offer("/k/free.kext", std::nullopt);
  EXPECT_EQ(peer().installKext("/k/free.kext", kExt + "/free.kext"), 1);
  EXPECT_EQ(execs().size(), 2u);
}

TEST_F(PassesTest, InstallFailuresStopWhereTheyHappen) {
  offer("/k/a.kext", "2.0");
  install("a.kext", "1.0");
  peer().loadKext() = true;
  // The removal cannot start: the copy is still attempted. The copy cannot start: no load.
  authorization.executeStatuses["/bin/rm"] = {errAuthorizationToolExecuteFailure};
  authorization.executeStatuses["/bin/cp"] = {errAuthorizationToolExecuteFailure};
  EXPECT_EQ(peer().installKext("/k/a.kext", kExt + "/a.kext"), 0);
  EXPECT_EQ(execs().back(), "/bin/cp -rf /k/a.kext " + kExt + "/a.kext");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Error: -60031", "Error: -60031"}));

  journal.clear();
  log.lines.clear();
  EXPECT_EQ(peer().installKext("/k/missing.kext", kExt + "/missing.kext"), 0);
  EXPECT_EQ(log.lines, std::vector<std::string>{"Can't found source file. [/k/missing.kext]"});
  EXPECT_TRUE(journal.empty());
}

TEST_F(PassesTest, InstallationPassStopsAtTheFirstFailureAndTouchesOnlyAfterAll) {
  for (const char* name : {"a", "b", "c"}) {
    offer(std::string("/k/") + name + ".kext", "1.0");
  }
  peer().pathArray() = {"/k/a.kext", "/k/b.kext", "/k/c.kext"};
  authorization.executeStatuses["/bin/cp"] = {0, errAuthorizationToolExecuteFailure};
  EXPECT_FALSE(peer().processKextInstall(false));
  EXPECT_EQ(execs(), (std::vector<std::string>{"/bin/cp -rf /k/a.kext " + kExt + "/a.kext",
                                               "/bin/cp -rf /k/b.kext " + kExt + "/b.kext"}));
  EXPECT_TRUE(files.fileExists(kExt + "/a.kext")) << "no rollback";

  // Everything already installed: nothing copied, the folder is still touched.
  journal.clear();
  peer().pathArray() = {"/k/a.kext"};
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_EQ(execs(), std::vector<std::string>{"/usr/bin/touch " + kExt});
}

TEST_F(PassesTest, BootArgumentComesFirstAndItsMarkerEndsThePass) {
  offer("/k/a.kext", "1.0");
  peer().pathArray() = {"/k/a.kext"};
  peer().nvram() = true;
  peer().rebootFile() = "/Users/Shared/.marker";
  machine = "x86_64\n";
  systemInfo.version = 0x1068;
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_EQ(execs(), (std::vector<std::string>{"/usr/sbin/nvram boot-args=io=0x00040000",
                                               "/usr/bin/touch /Users/Shared/.marker"}));
  // The marker is there now: the next pass copies nothing either.
  journal.clear();
  peer().nvram() = false;
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_TRUE(journal.empty());
  peer().nvram() = true;

  // A failing boot argument stops the pass before any kext, with its log line.
  journal.clear();
  files.remove("/Users/Shared/.marker");
  bootArgs.clear();
  systemInfo.status = fnfErr;
  EXPECT_FALSE(peer().processKextInstall(false));
  EXPECT_TRUE(execs().empty());
  EXPECT_EQ(log.lines, std::vector<std::string>{
                           "-[MorvaneAppDelegate(Private) processKextInstall:] writeNVRAMArg "
                           "return FALSE"});
}

TEST_F(PassesTest, UninstallPassUnloadsThenRemovesAndStopsAtAFailedRemoval) {
  for (const char* name : {"a.kext", "b.kext", "c.kext"}) {
    install(name, "1.0");
  }
  peer().pathArray() = {kExt + "/a.kext", kExt + "/b.kext", kExt + "/c.kext"};
  peer().nvram() = true;
  authorization.copyRightsStatuses = {0, 0, 0, errAuthorizationCanceled};
  EXPECT_FALSE(peer().processKextInstall(true));
  EXPECT_EQ(execs(), (std::vector<std::string>{"/sbin/kextunload " + kExt + "/a.kext",
                                               "/bin/rm -rf " + kExt + "/a.kext",
                                               "/sbin/kextunload " + kExt + "/b.kext"}));
  EXPECT_FALSE(files.fileExists(kExt + "/a.kext"));
  EXPECT_TRUE(files.fileExists(kExt + "/c.kext"));
  EXPECT_EQ(processes.launches, 0) << "the boot argument is not cleared after a failure";

  // Success: the io argument is cleared at the end, and only then.
  journal.clear();
  machine = "x86_64";
  bootArgs = "-v io=0x00040000";
  peer().pathArray() = {kExt + "/c.kext"};
  EXPECT_TRUE(peer().processKextInstall(true));
  EXPECT_EQ(execs(), (std::vector<std::string>{"/sbin/kextunload " + kExt + "/c.kext",
                                               "/bin/rm -rf " + kExt + "/c.kext",
                                               "/usr/sbin/nvram boot-args="}));
  EXPECT_EQ(bootArgs, "");
}

TEST_F(PassesTest, NothingOutsideTheExtensionsFolderIsEverTouched) {
  // Uninstall paths: only an entry directly inside the folder, after resolving the text.
  for (const std::string& path :
       {kExt, kExt + "/", kExt + "/.", kExt + "/..", kExt + "/a.kext/..", kExt + "/a.kext/b",
        std::string("/System/Library"), std::string("/"), std::string(""),
        std::string("System/Library/Extensions/a.kext"), std::string("/Users/Shared/x.kext"),
        kExt + "x/a.kext", kExt + "/../Extensions2/a.kext"}) {
    EXPECT_FALSE(peer().unInstallKext(path)) << path;
  }
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ(authorization.requests, 0) << "a refused path asks for no right";

  EXPECT_TRUE(peer().unInstallKext("/System/./Library//Extensions/../Extensions/a.kext/"));
  EXPECT_EQ(execs(), (std::vector<std::string>{"/sbin/kextunload " + kExt + "/a.kext",
                                               "/bin/rm -rf " + kExt + "/a.kext"}));

  // Sources whose last piece names no entry are refused by the installation pass.
  for (const std::string source : {"/k/./", "/k/.", "/k/..", "/", "//", ".", "/k/../"}) {
    journal.clear();
    files.addDirectory(source);
    peer().pathArray() = {source};
    EXPECT_FALSE(peer().processKextInstall(false)) << source;
    EXPECT_TRUE(journal.empty()) << source;
    EXPECT_EQ(peer().checkKextUpgrade(source), 0) << source;
  }
  // A trailing slash, as a shell's completion leaves it, still names the bundle.
  journal.clear();
  offer("/k/a.kext/", "1.0");
  peer().pathArray() = {"/k/a.kext/"};
  EXPECT_TRUE(peer().processKextInstall(false));
  EXPECT_EQ(execs(), (std::vector<std::string>{"/bin/cp -rf /k/a.kext/ " + kExt + "/a.kext",
                                               "/usr/bin/touch " + kExt}));
}

TEST_F(PassesTest, FilterDropsEveryCopyOfALoadedKextThatNeedsNoWork) {
  offer("/k/same.kext", "1.0", "com.example.same");
  install("same.kext", "1.0");
  offer("/k/idle.kext", "1.0", "com.example.idle");
  install("idle.kext", "1.0");
  offer("/k/new.kext", "2.0", "com.example.new");
  install("new.kext", "1.0");
  loaded = {"com.example.same", "com.example.new"};

  peer().pathArray() = {"/k/same.kext", "/k/new.kext", "/k/idle.kext", "/k/same.kext"};
  EXPECT_TRUE(peer().filterNotInstallKext());
  EXPECT_EQ(peer().pathArray(), (std::vector<std::string>{"/k/new.kext", "/k/idle.kext"}));

  peer().pathArray() = {"/k/same.kext", "/k/same.kext"};
  EXPECT_FALSE(peer().filterNotInstallKext());
  EXPECT_TRUE(peer().pathArray().empty());
  EXPECT_TRUE(execs().empty()) << "the filter changes nothing";
}

}  // namespace
}  // namespace morvane::testing
