// The restart request: the core restart event, sent to the system process.
#include "app/MorvaneAppDelegate.h"
#include "platform/apple_events.h"

namespace morvane {
namespace {

/// A process serial number: high word, then low word.
struct ProcessSerialNumber {
  std::uint32_t highLongOfPSN;
  std::uint32_t lowLongOfPSN;
};

constexpr std::uint32_t kSystemProcess = 1;
constexpr ProcessSerialNumber kPSNOfSystemProcess = {0, kSystemProcess};
constexpr AEDesc eventReply = {typeNull, 0};
constexpr AEDesc appleEventToSend = {typeNull, 0};

}  // namespace

bool MorvaneAppDelegate::restartSystem() {
  AppleEvents& events = platform_.appleEvents;
  AEDesc targetDesc;
  AEDesc event = appleEventToSend;
  AEDesc reply = eventReply;

  OSErr status = events.createDesc(typeProcessSerialNumber, &kPSNOfSystemProcess,
                                   sizeof kPSNOfSystemProcess, &targetDesc);
  if (status != noErr) {
    return false;
  }
  status = events.createAppleEvent(kCoreEventClass, kAERestart, targetDesc, kAutoGenerateReturnID,
                                   kAnyTransactionID, &event);
  events.disposeDesc(&targetDesc);
  if (status != noErr) {
    return false;
  }
  status = events.send(event, &reply, kAENoReply, kAENormalPriority, kAEDefaultTimeout);
  events.disposeDesc(&event);
  if (status != noErr) {
    return false;
  }
  events.disposeDesc(&reply);
  return true;
}

}  // namespace morvane
