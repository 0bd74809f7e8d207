#include <gtest/gtest.h>

#include "tests/delegate_fixture.h"

namespace morvane::testing {
namespace {

constexpr char kIo[] = "io=0x00040000";

/// A machine with a firmware variable "boot-args" that the nvram tool reads and writes.
class NvramTest : public DelegateTest {
 protected:
  void SetUp() override {
    start({"-n", "/k/a.kext"});
    files.addFile("/usr/bin/uname", true);
    files.addFile("/usr/sbin/nvram", true);
    processes.answer = [this](const std::string& tool, const std::vector<std::string>&) {
      if (tool == "/usr/bin/uname")
        return machine;
      return bootArgs ? std::optional<std::string>("boot-args\t" + *bootArgs + "\n") : std::nullopt;
    };
    authorization.effect = [this](const std::string& tool,
                                  const std::vector<std::string>& arguments) {
      started.push_back(arguments);
      if (tool == "/usr/sbin/nvram" && writesStick)
        bootArgs = arguments.at(0).substr(10);
    };
  }

  /// The tools run, with and without privileges, in order, one letter each: U uname, R read of
  /// the variable, S privileged set, C privileged clear, T privileged touch of the marker.
  std::string tools() const {
    const std::map<std::string, char> letters = {
        {"run /usr/bin/uname -m", 'U'},
        {"run /usr/sbin/nvram boot-args", 'R'},
        {"exec /usr/sbin/nvram boot-args=io=0x00040000", 'S'},
        {"exec /usr/sbin/nvram boot-args=", 'C'},
        {"exec /usr/bin/touch /tmp/m", 'T'}};
    std::string result;
    for (const std::string& line : journal) {
      if (line.starts_with("run ") || line.starts_with("exec "))
        result += letters.at(line);
    }
    return result;
  }

  std::optional<std::string> machine = "x86_64\n";
  std::optional<std::string> bootArgs = "-v";  // none: the variable cannot be read
  bool writesStick = true;
  std::vector<std::vector<std::string>> started;
};

TEST_F(NvramTest, EveryRowOfTheDecision) {
  // Null machine: uname gives no result; null boot-args: the variable cannot be read.
  // clang-format off
  struct Row {
    const char* machine; OSErr gestalt; std::int32_t version; bool remove; const char* bootArgs;
    bool writeFails, writeSticks, marker, result; const char* tools; const char* bootArgsAfter;
  };
  const char* const kX86 = "x86_64\n";
  const Row rows[] = {
      // Only an x86_64 machine whose system version is known goes on.
      {nullptr,   noErr,  0x1068, false, "-v", false, true, true,  true,  "U", "-v"},
      {"i386\n",  noErr,  0x1068, true,  kIo,  false, true, false, true,  "U", kIo},
      {"X86_64",  noErr,  0x1068, true,  kIo,  false, true, false, true,  "U", kIo},
      {" x86_64", noErr,  0x1068, true,  kIo,  false, true, false, true,  "U", kIo},
      {kX86,      fnfErr, 0x1068, false, "-v", false, true, false, false, "U", "-v"},
      // Clearing, on any version, empties the whole variable when it holds the io argument.
      {kX86,      noErr,  0x1070, true,  "-v io=0x00040000", false, true, true, true, "URC", ""},
      {kX86,      noErr,  0x1068, true,  kIo,  true,  true, false, true,  "URC", kIo},
      {kX86, noErr, 0x1068, true, "IO=0x00040000", false, true, false, true, "UR", "IO=0x00040000"},
      {kX86,      noErr,  0x1068, true,  nullptr, false, true, false, true, "UR", nullptr},
      // Setting happens only before Lion, replaces the whole variable and is read back.
      {"x86_64h", noErr,  0x1070, false, "-v", false, true, true,  true,  "U", "-v"},
      {kX86,      noErr,  0x1068, false, kIo,  false, true, true,  true,  "UR", kIo},
      {kX86,      noErr,  0x1068, false, "-v", true,  true, true,  false, "URS", "-v"},
      {kX86,      noErr,  0x1068, false, "-v", false, false, true, false, "URSR", "-v"},
      {kX86,      noErr,  0x1068, false, nullptr, false, false, true, false, "URSR", nullptr},
      {kX86,      noErr,  0x1068, false, "io=0x40000", false, true, true, true, "URSRT", kIo},
      {kX86,      noErr,  0x1068, false, "", false, true, false, true, "URSR", kIo},
      {kX86,      noErr,  -1,     false, "", false, true, false, true, "URSR", kIo},
  };
  // clang-format on
  const auto text = [](const char* t) { return t ? std::optional<std::string>(t) : std::nullopt; };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows));
    journal.clear();
    machine = text(row.machine);
    systemInfo.status = row.gestalt;
    systemInfo.version = row.version;
    bootArgs = text(row.bootArgs);
    authorization.executeStatuses = {
        {"/usr/sbin/nvram", {row.writeFails ? errAuthorizationToolExecuteFailure : 0}}};
    writesStick = row.writeSticks;
    peer().rebootFile() = row.marker ? std::optional<std::string>("/tmp/m") : std::nullopt;

    EXPECT_EQ(delegate().writeNVRAMArg(row.remove), row.result);
    EXPECT_EQ(tools(), row.tools);
    EXPECT_EQ(bootArgs, text(row.bootArgsAfter));
  }
}

TEST_F(NvramTest, TheMarkerPathReachesTouchAsOneArgument) {
  peer().rebootFile() = "/tmp/M\xc3\xb6rvane marker";
  ASSERT_TRUE(delegate().writeNVRAMArg(false));
  EXPECT_EQ(started.back(), std::vector<std::string>{"/tmp/M\xc3\xb6rvane marker"});
}

}  // namespace
}  // namespace morvane::testing
