// The built executable, run as an installer runs it.
#include <gtest/gtest.h>

#include "tests/run_program.h"
#include "tests/usage_text.h"

namespace morvane::testing {
namespace {

// A display is named on purpose: a run that ends at launch must not try to open it.
const std::vector<std::string> kEnvironment = {"PATH=/usr/bin:/bin", "DISPLAY=:97", "LANGUAGE=de",
                                               "LC_ALL=C.UTF-8"};

ProgramResult morvane(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "Morvane");
  return runProgram(MORVANE_BINARY, arguments, kEnvironment);
}

TEST(BinaryTest, EndsOfRunAtLaunch) {
  ProgramResult none = morvane({});
  EXPECT_EQ(none.status, 255);
  EXPECT_EQ(none.out, kUsage);
  EXPECT_EQ(none.err, "");

  ProgramResult optionsOnly = morvane({"-i", "-d", "-t", "Title"});
  EXPECT_EQ(optionsOnly.status, 255);
  EXPECT_EQ(optionsOnly.out, kUsage);

  ProgramResult help = morvane({"/nonexistent/a.kext", "-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, kUsage);
  EXPECT_EQ(help.err, "");

  ProgramResult missing = morvane({"/", "/nonexistent/a.kext", "/"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "");
}

}  // namespace
}  // namespace morvane::testing
