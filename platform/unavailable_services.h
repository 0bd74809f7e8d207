#pragma once

// PLACEHOLDER for the restart request until its Linux implementation exists. It refuses:
// no event is sent.

#include "platform/apple_events.h"

namespace morvane {

class UnavailableAppleEvents final : public AppleEvents {
 public:
  OSErr createDesc(DescType, const void*, std::size_t, AEDesc*) override { return kUnavailable; }
  OSErr createAppleEvent(AEEventClass, AEEventID, const AEDesc&, AEReturnID, AETransactionID,
                         AEDesc*) override {
    return kUnavailable;
  }
  OSErr send(const AEDesc&, AEDesc*, AESendMode, AESendPriority, std::int32_t) override {
    return kUnavailable;
  }
  OSErr disposeDesc(AEDesc*) override { return noErr; }

 private:
  static constexpr OSErr kUnavailable = -1;
};

}  // namespace morvane
