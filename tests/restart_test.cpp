// The restart request: the event manager's calls in order on the simulated machine, and this
// machine's event manager against a private bus.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "platform/dbus/apple_events_dbus.h"
#include "platform/posix/process_launcher_posix.h"
#include "tests/fakes/fake_world.h"
#include "tests/temp_folder.h"

namespace morvane::testing {
namespace {

TEST_F(WorldTest, TheRestartRequestDisposesOfWhatWasMadeAndStopsAtTheFirstFailure) {
  const std::pair<std::string, Lines> rows[] = {
      {"",
       {"AECreateDesc", "AECreateAppleEvent", "AEDisposeDesc 1", "AESend", "AEDisposeDesc 2",
        "AEDisposeDesc 0"}},
      {"AECreateDesc", {"AECreateDesc"}},
      {"AECreateAppleEvent", {"AECreateDesc", "AECreateAppleEvent", "AEDisposeDesc 1"}},
      {"AESend",
       {"AECreateDesc", "AECreateAppleEvent", "AEDisposeDesc 1", "AESend", "AEDisposeDesc 2"}},
  };
  for (const auto& [failing, calls] : rows) {
    start({"/k/a.kext"});
    world.journal.clear();
    world.failingEvent = failing;
    EXPECT_EQ(peer().restartSystem(), failing.empty()) << failing;
    EXPECT_EQ(world.journal, calls) << failing;
  }
}

/// Sends an event made of these parts through this machine's event manager, checking the calls
/// around the send; the status of the send.
OSErr sendEvent(AEEventClass eventClass, AEEventID id, DescType addressType, std::uint32_t lowPSN) {
  DbusAppleEvents events;
  const std::uint32_t psn[] = {0, lowPSN};
  AEDesc target, event, reply{typeNull, 99};
  EXPECT_EQ(events.createDesc(addressType, psn, sizeof psn, &target), noErr);
  EXPECT_EQ(events.createAppleEvent(eventClass, id, target, kAutoGenerateReturnID,
                                    kAnyTransactionID, &event),
            noErr);
  const OSErr status = events.send(event, &reply, kAENoReply, kAENormalPriority, -1);
  EXPECT_EQ(reply.dataHandle, 0u) << "no reply is waited for";
  EXPECT_EQ(events.disposeDesc(&target), noErr);
  EXPECT_EQ(events.disposeDesc(&event), noErr);
  return status;
}

TEST(DbusAppleEventsTest, SendsOnlyTheRestartToTheSystemProcessAndReportsTheBus) {
  TempFolder folder;
  const std::string socket = (folder.path() / "bus").string();
  // Every send of this test goes to a private bus: none can reach the login manager.
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
  const std::tuple<const char*, AEEventClass, AEEventID, DescType, std::uint32_t, OSErr> rows[] = {
      {"restart, no bus", kCoreEventClass, kAERestart, typeProcessSerialNumber, 1,
       connectionInvalid},
      {"other process", kCoreEventClass, kAERestart, typeProcessSerialNumber, 2, procNotFound},
      {"other address type", kCoreEventClass, kAERestart, 0x7369676E, 1, procNotFound},
      {"other event", kCoreEventClass, 0x71756974, typeProcessSerialNumber, 1,
       errAEEventNotHandled},
  };
  for (const auto& [name, eventClass, id, addressType, lowPSN, status] : rows) {
    EXPECT_EQ(sendEvent(eventClass, id, addressType, lowPSN), status) << name;
  }

  // A bus on which nobody answers for the login manager refuses the call.
  const std::optional<std::string> daemon = PosixProcessLauncher().launchAndReadOutput(
      "/usr/bin/dbus-daemon", {"--config-file=" MORVANE_SANDBOX_DIR "/private-bus.conf",
                               "--address=unix:path=" + socket, "--fork", "--print-pid"});
  ASSERT_TRUE(daemon && !daemon->empty()) << "no private bus";
  EXPECT_EQ(sendEvent(kCoreEventClass, kAERestart, typeProcessSerialNumber, 1), errAEEventFailed);
  ::kill(std::stoi(*daemon), SIGTERM);
}

}  // namespace
}  // namespace morvane::testing
