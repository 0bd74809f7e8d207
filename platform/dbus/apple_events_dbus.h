#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/apple_events.h"

namespace morvane {

/// The event manager of this machine. It knows one event, the core restart event addressed to
/// the system process, and carries it to the login manager on the system bus; every other
/// event or address is refused. Descriptors are records held here: a handle names one until
/// it is disposed of.
class DbusAppleEvents final : public AppleEvents {
 public:
  OSErr createDesc(DescType type, const void* data, std::size_t size, AEDesc* result) override;
  OSErr createAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEDesc& target,
                         AEReturnID returnID, AETransactionID transactionID,
                         AEDesc* result) override;
  /// Sends the restart event without waiting for the restart; the reply stays a null
  /// descriptor.
  OSErr send(const AEDesc& event, AEDesc* reply, AESendMode mode, AESendPriority priority,
             std::int32_t timeout) override;
  OSErr disposeDesc(AEDesc* desc) override;

 private:
  /// A descriptor's data: the type and bytes given, or for an event its class and id and its
  /// address's type and bytes.
  struct Record {
    AEEventClass eventClass = 0;
    AEEventID eventID = 0;
    DescType addressType = typeNull;
    std::vector<unsigned char> bytes;
  };

  /// The record behind `desc`, or null when it names none (any longer).
  const Record* find(const AEDesc& desc) const;
  AEDesc keep(DescType type, Record record);

  std::map<std::uintptr_t, Record> records_;
  std::uintptr_t lastHandle_ = 0;
};

}  // namespace morvane
