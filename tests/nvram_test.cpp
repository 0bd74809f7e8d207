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

/// The tools of a row in order: U uname, R read of the variable, S privileged set, C privileged
/// clear, T privileged touch of the marker "/tmp/m".
std::vector<std::string> toolsOf(const std::string& letters) {
  const std::map<char, std::string> lines = {
      {'U', kUname}, {'R', kRead}, {'S', kSet}, {'C', kClear}, {'T', "exec /usr/bin/touch /tmp/m"}};
  std::vector<std::string> tools;
  for (const char letter : letters) {
    tools.push_back(lines.at(letter));
  }
  return tools;
}

TEST_F(NvramTest, EveryRowOfTheDecision) {
  struct Row {
    const char* machine;  // null: uname gives no result
    OSErr gestalt;
    std::int32_t version;
    bool remove;
    const char* bootArgs;  // null: the variable cannot be read
    OSStatus write;        // status of starting the privileged nvram
    bool writeSticks;      // whether a write changes what the next read shows
    bool marker;
    bool result;
    const char* tools;
    const char* bootArgsAfter;
  };
  constexpr OSStatus kFails = errAuthorizationToolExecuteFailure;
  // clang-format off
  const Row rows[] = {
      {nullptr,     noErr,   0x1068, false, "-v", 0, true, true, true, "U", "-v"},
      {"i386\n",    noErr,   0x1068, false, "-v", 0, true, true, true, "U", "-v"},
      {"i386\n",    noErr,   0x1068, true, "io=0x00040000", 0, true, false, true, "U", "io=0x00040000"},
      {"X86_64\n",  noErr,   0x1068, true, "io=0x00040000", 0, true, false, true, "U", "io=0x00040000"},
      {" x86_64",   noErr,   0x1068, true, "io=0x00040000", 0, true, false, true, "U", "io=0x00040000"},
      {"x86_64",    fnfErr,  0x1068, false, "-v", 0, true, false, false, "U", "-v"},
      {"x86_64",    gestaltUndefSelectorErr, 0x1068, true, "io=0x00040000", 0, true, false, false, "U", "io=0x00040000"},
      {"x86_64\n",  noErr,   0x1070, false, "-v", 0, true, true, true, "U", "-v"},
      {"x86_64h\n", noErr,   0x1100, false, "-v", 0, true, false, true, "U", "-v"},
      // Clearing, on any version, empties the whole variable when it holds the io argument.
      {"x86_64\n",  noErr,   0x1070, true, "-v io=0x00040000", 0, true, true, true, "URC", ""},
      {"x86_64\n",  noErr,   0x1068, true, "io=0x00040000", 0, true, false, true, "URC", ""},
      {"x86_64\n",  noErr,   0x1068, true, "io=0x00040000", kFails, true, false, true, "URC", "io=0x00040000"},
      {"x86_64\n",  noErr,   0x1068, true, "-v", 0, true, false, true, "UR", "-v"},
      {"x86_64\n",  noErr,   0x1068, true, nullptr, 0, true, false, true, "UR", ""},
      // Setting replaces the whole variable and is confirmed by reading it again.
      {"x86_64\n",  noErr,   0x1068, false, "-v io=0x00040000", 0, true, true, true, "UR", "-v io=0x00040000"},
      {"x86_64\n",  noErr,   0x1068, false, "-v", kFails, true, true, false, "URS", "-v"},
      {"x86_64\n",  noErr,   0x1068, false, "-v", 0, false, true, false, "URSR", "-v"},
      {"x86_64\n",  noErr,   0x1068, false, nullptr, 0, true, true, false, "URSR", "io=0x00040000"},
      {"x86_64\n",  noErr,   0x1068, false, "-v", 0, true, true, true, "URSRT", "io=0x00040000"},
      {"x86_64\n",  noErr,   0x1068, false, "", 0, true, false, true, "URSR", "io=0x00040000"},
      {"x86_64\n",  noErr,   -1,     false, "", 0, true, false, true, "URSR", "io=0x00040000"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << (row.machine ? row.machine : "(none)") << " version "
                                      << std::hex << row.version << " remove " << row.remove
                                      << " boot-args " << (row.bootArgs ? row.bootArgs : "(none)"));
    journal.clear();
    machine = row.machine ? std::optional<std::string>(row.machine) : std::nullopt;
    systemInfo.status = row.gestalt;
    systemInfo.version = row.version;
    bootArgs = row.bootArgs ? row.bootArgs : "";
    nvramReadable = row.bootArgs != nullptr;
    authorization.executeStatuses = {{"/usr/sbin/nvram", {row.write}}};
    writesStick = row.writeSticks;
    peer().rebootFile() = row.marker ? std::optional<std::string>("/tmp/m") : std::nullopt;

    EXPECT_EQ(delegate().writeNVRAMArg(row.remove), row.result);
    EXPECT_EQ(tools(), toolsOf(row.tools));
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
