#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system_info.h"

namespace morvane {

using DescType = std::uint32_t;
using AEEventClass = std::uint32_t;
using AEEventID = std::uint32_t;
using AESendMode = std::int32_t;
using AESendPriority = std::int16_t;
using AEReturnID = std::int16_t;
using AETransactionID = std::int32_t;

inline constexpr DescType typeNull = 0x6E756C6C;                 // 'null'
inline constexpr DescType typeProcessSerialNumber = 0x70736E20;  // 'psn '
inline constexpr AEEventClass kCoreEventClass = 0x61657674;      // 'aevt'
inline constexpr AEEventID kAERestart = 0x72657374;              // 'rest'
inline constexpr DescType typeAppleEvent = 0x61657674;           // 'aevt'
inline constexpr AEReturnID kAutoGenerateReturnID = -1;
inline constexpr AETransactionID kAnyTransactionID = 0;
inline constexpr AESendMode kAENoReply = 1;
inline constexpr AESendPriority kAENormalPriority = 0;
inline constexpr std::int32_t kAEDefaultTimeout = -1;

inline constexpr OSErr paramErr = -50;
inline constexpr OSErr procNotFound = -600;
inline constexpr OSErr connectionInvalid = -609;
inline constexpr OSErr errAENotAEDesc = -1704;
inline constexpr OSErr errAENotAppleEvent = -1707;
inline constexpr OSErr errAEEventNotHandled = -1708;
inline constexpr OSErr errAEEventFailed = -10000;

/// A descriptor: its type and an opaque handle to its data, 0 when it has none.
struct AEDesc {
  DescType descriptorType = typeNull;
  std::uintptr_t dataHandle = 0;
};

/// The event manager that carries the restart request to the system process.
class AppleEvents {
 public:
  virtual ~AppleEvents() = default;
  virtual OSErr createDesc(DescType type, const void* data, std::size_t size, AEDesc* result) = 0;
  virtual OSErr createAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEDesc& target,
                                 AEReturnID returnID, AETransactionID transactionID,
                                 AEDesc* result) = 0;
  virtual OSErr send(const AEDesc& event, AEDesc* reply, AESendMode mode, AESendPriority priority,
                     std::int32_t timeout) = 0;
  virtual OSErr disposeDesc(AEDesc* desc) = 0;
};

}  // namespace morvane
