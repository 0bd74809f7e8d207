#pragma once

// PLACEHOLDERS for the services whose Linux implementations are not written yet. Each one
// refuses: no event is sent, no loop runs.

#include "platform/apple_events.h"
#include "platform/application.h"

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

class UnavailableApplication final : public Application {
 public:
  Timer* scheduledTimer(double, std::function<void(Timer*)>) override { return nullptr; }
  bool bindWindow(Window&) override { return false; }
  /// Nothing reaches the loop while every run ends before the prompt.
  int run() override { return -1; }
};

}  // namespace morvane
