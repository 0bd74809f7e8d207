#include <gtest/gtest.h>

#include <algorithm>

#include "tests/delegate_fixture.h"

namespace morvane::testing {
namespace {

constexpr char kUname[] = "run /usr/bin/uname -m";
constexpr char kRead[] = "run /usr/sbin/nvram boot-args";
constexpr char kSet[] = "exec /usr/sbin/nvram boot-args=io=0x00040000";
constexpr char kClear[] = "exec /usr/sbin/nvram boot-args=";

/// A machine with a firmware variable "boot-args" that the nvram tool reads and writes.
class NvramTest : public DelegateTest {
 protected:
  void SetUp() override {
    start({"-n", "/k/a.kext"});
    files.addFile("/usr/bin/uname", true);
    files.addFile("/usr/sbin/nvram", true);
    processes.answer = [this](const std::string& tool, const std::vector<std::string>&) {
      if (tool == "/usr/bin/uname") {
        return machine;
      }
      return nvramReadable ? std::optional<std::string>("boot-args\t" + bootArgs + "\n")
                           : std::nullopt;
    };
    authorization.effect = [this](const std::string& tool,
                                  const std::vector<std::string>& arguments) {
      started.push_back(arguments);
      if (tool == "/usr/sbin/nvram" && writesStick) {
        bootArgs = arguments.at(0).substr(std::string("boot-args=").size());
      }
    };
  }

  /// The tools run, with and without privileges, in order.
  std::vector<std::string> tools() const {
    std::vector<std::string> lines;
    for (const std::string& line : journal) {
      if (line.starts_with("run ") || line.starts_with("exec ")) {
        lines.push_back(line);
      }
    }
    return lines;
  }

  std::optional<std::string> machine = "x86_64\n";
  std::string bootArgs;
  bool nvramReadable = true;
  bool writesStick = true;
  std::vector<std::vector<std::string>> started;
};

TEST_F(NvramTest, TheIoArgumentIsFoundAnywhereInTheVariable) {
  const std::pair<std::string, bool> cases[] = {
      {"", false},
      {"io=0x00040000", true},
      {"debug=0x144 io=0x00040000 -v", true},
      {"io=0x000400001", true},
      {"IO=0x00040000", false},
      {"io=0x40000", false},
      {"io=0x0004000", false},
  };
  for (const auto& [value, present] : cases) {
    bootArgs = value;
    EXPECT_EQ(peer().hasNVRAMArg(), present) << value;
  }
  nvramReadable = false;
  EXPECT_FALSE(peer().hasNVRAMArg());
  files.remove("/usr/sbin/nvram");
  nvramReadable = true;
  EXPECT_FALSE(peer().hasNVRAMArg());
}

TEST_F(NvramTest, EveryRowOfTheDecision) {
  struct Row {
    const char* name;
    std::optional<std::string> machine;
    OSErr gestalt;
    std::int32_t version;
    bool remove;
    std::optional<std::string> bootArgs;  // none: the variable cannot be read
    OSStatus writeStatus;
    bool writeSticks;
    std::optional<std::string> marker;
    bool result;
    std::vector<std::string> tools;
    std::string bootArgsAfter;
  };
  const std::string io = "io=0x00040000";
  const std::string other = "debug=0x144";
  const std::string both = other + " " + io;
  const std::optional<std::string> none;
  const std::string mark = "exec /usr/bin/touch /tmp/m";
  const Row rows[] = {
      {"no machine name",
       none,
       noErr,
       0x1068,
       false,
       other,
       0,
       true,
       "/tmp/m",
       true,
       {kUname},
       other},
      {"i386 set", "i386\n", noErr, 0x1068, false, other, 0, true, "/tmp/m", true, {kUname}, other},
      {"i386 clear", "i386\n", noErr, 0x1068, true, both, 0, true, none, true, {kUname}, both},
      {"upper case", "X86_64\n", noErr, 0x1068, true, both, 0, true, none, true, {kUname}, both},
      {"leading space", " x86_64", noErr, 0x1068, true, both, 0, true, none, true, {kUname}, both},
      {"gestalt error set",
       "x86_64",
       fnfErr,
       0x1068,
       false,
       other,
       0,
       true,
       none,
       false,
       {kUname},
       other},
      {"gestalt error clear",
       "x86_64",
       gestaltUndefSelectorErr,
       0x1068,
       true,
       both,
       0,
       true,
       none,
       false,
       {kUname},
       both},
      {"lion set",
       "x86_64\n",
       noErr,
       0x1070,
       false,
       other,
       0,
       true,
       "/tmp/m",
       true,
       {kUname},
       other},
      {"later set", "x86_64h\n", noErr, 0x1100, false, other, 0, true, none, true, {kUname}, other},
      {"lion clear present",
       "x86_64\n",
       noErr,
       0x1070,
       true,
       both,
       0,
       true,
       "/tmp/m",
       true,
       {kUname, kRead, kClear},
       ""},
      {"old clear present",
       "x86_64\n",
       noErr,
       0x1068,
       true,
       io,
       0,
       true,
       none,
       true,
       {kUname, kRead, kClear},
       ""},
      {"clear whose write fails",
       "x86_64\n",
       noErr,
       0x1068,
       true,
       io,
       errAuthorizationToolExecuteFailure,
       true,
       none,
       true,
       {kUname, kRead, kClear},
       io},
      {"clear absent",
       "x86_64\n",
       noErr,
       0x1068,
       true,
       other,
       0,
       true,
       none,
       true,
       {kUname, kRead},
       other},
      {"clear unreadable",
       "x86_64\n",
       noErr,
       0x1068,
       true,
       none,
       0,
       true,
       none,
       true,
       {kUname, kRead},
       ""},
      {"set present",
       "x86_64\n",
       noErr,
       0x1068,
       false,
       both,
       0,
       true,
       "/tmp/m",
       true,
       {kUname, kRead},
       both},
      {"set whose write fails",
       "x86_64\n",
       noErr,
       0x1068,
       false,
       other,
       errAuthorizationToolExecuteFailure,
       true,
       "/tmp/m",
       false,
       {kUname, kRead, kSet},
       other},
      {"set not confirmed",
       "x86_64\n",
       noErr,
       0x1068,
       false,
       other,
       0,
       false,
       "/tmp/m",
       false,
       {kUname, kRead, kSet, kRead},
       other},
      {"set unreadable",
       "x86_64\n",
       noErr,
       0x1068,
       false,
       none,
       0,
       true,
       "/tmp/m",
       false,
       {kUname, kRead, kSet, kRead},
       io},
      {"set with marker",
       "x86_64\n",
       noErr,
       0x1068,
       false,
       other,
       0,
       true,
       "/tmp/m",
       true,
       {kUname, kRead, kSet, kRead, mark},
       io},
      {"set without marker",
       "x86_64\n",
       noErr,
       0x1068,
       false,
       "",
       0,
       true,
       none,
       true,
       {kUname, kRead, kSet, kRead},
       io},
      {"negative version is old",
       "x86_64\n",
       noErr,
       -1,
       false,
       "",
       0,
       true,
       none,
       true,
       {kUname, kRead, kSet, kRead},
       io},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    journal.clear();
    machine = row.machine;
    systemInfo.status = row.gestalt;
    systemInfo.version = row.version;
    bootArgs = row.bootArgs.value_or("");
    nvramReadable = row.bootArgs.has_value();
    authorization.executeStatuses.clear();
    authorization.executeStatuses["/usr/sbin/nvram"] = {row.writeStatus};
    writesStick = row.writeSticks;
    peer().rebootFile() = row.marker;

    EXPECT_EQ(delegate().writeNVRAMArg(row.remove), row.result);
    EXPECT_EQ(tools(), row.tools);
    EXPECT_EQ(bootArgs, row.bootArgsAfter);
  }
}

TEST_F(NvramTest, PrivilegedToolsGetExactlyOneArgumentEach) {
  peer().rebootFile() = "/Users/Shared/M\xc3\xb6rvane marker";
  bootArgs = "-v";
  ASSERT_TRUE(delegate().writeNVRAMArg(false));
  ASSERT_TRUE(delegate().writeNVRAMArg(true));
  EXPECT_EQ(started, (std::vector<std::vector<std::string>>{
                         {"boot-args=io=0x00040000"},
                         {"/Users/Shared/M\xc3\xb6rvane marker"},
                         {"boot-args="},
                     }));
  EXPECT_EQ(bootArgs, "");
  // Each privileged tool had ended before the next read of the variable.
  const auto wait = std::find(journal.begin(), journal.end(), "wait /usr/sbin/nvram");
  ASSERT_NE(wait, journal.end());
  EXPECT_NE(std::find(wait, journal.end(), std::string(kRead)), journal.end());
}

TEST_F(NvramTest, AFailedMarkerTouchOrARefusedRightIsReportedAsTheRunnerSaysSo) {
  authorization.executeStatuses["/usr/bin/touch"] = {errAuthorizationToolExecuteFailure};
  peer().rebootFile() = "/tmp/m";
  EXPECT_TRUE(delegate().writeNVRAMArg(false)) << "the marker's failure is ignored";
  EXPECT_EQ(bootArgs, "io=0x00040000");

  bootArgs = "";
  journal.clear();
  authorization.copyRightsStatuses = {errAuthorizationDenied};
  EXPECT_FALSE(delegate().writeNVRAMArg(false));
  EXPECT_EQ(tools(), (std::vector<std::string>{kUname, kRead}));
  EXPECT_EQ(log.lines.back(), "Copy Rights Unsuccessful: -60005");
}

}  // namespace
}  // namespace morvane::testing
