#include "platform/dbus/apple_events_dbus.h"

#include <cstring>

#include "platform/dbus/login_manager.h"

namespace morvane {
namespace {

constexpr std::uint32_t kSystemProcessHigh = 0;
constexpr std::uint32_t kSystemProcessLow = 1;

bool isSystemProcess(DescType type, const std::vector<unsigned char>& bytes) {
  const std::uint32_t systemProcess[] = {kSystemProcessHigh, kSystemProcessLow};
  return type == typeProcessSerialNumber && bytes.size() == sizeof systemProcess &&
         std::memcmp(bytes.data(), systemProcess, sizeof systemProcess) == 0;
}

}  // namespace

const DbusAppleEvents::Record* DbusAppleEvents::find(const AEDesc& desc) const {
  const auto record = records_.find(desc.dataHandle);
  return record == records_.end() ? nullptr : &record->second;
}

AEDesc DbusAppleEvents::keep(DescType type, Record record) {
  records_.emplace(++lastHandle_, std::move(record));
  return AEDesc{type, lastHandle_};
}

OSErr DbusAppleEvents::createDesc(DescType type, const void* data, std::size_t size,
                                  AEDesc* result) {
  if (result == nullptr || (data == nullptr && size != 0)) {
    return paramErr;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  *result = keep(type, Record{0, 0, type, std::vector<unsigned char>(bytes, bytes + size)});
  return noErr;
}

OSErr DbusAppleEvents::createAppleEvent(AEEventClass eventClass, AEEventID eventID,
                                        const AEDesc& target, AEReturnID, AETransactionID,
                                        AEDesc* result) {
  const Record* address = find(target);
  if (result == nullptr || address == nullptr) {
    return errAENotAEDesc;
  }
  *result =
      keep(typeAppleEvent, Record{eventClass, eventID, target.descriptorType, address->bytes});
  return noErr;
}

OSErr DbusAppleEvents::send(const AEDesc& event, AEDesc* reply, AESendMode, AESendPriority,
                            std::int32_t) {
  const Record* record = find(event);
  if (record == nullptr || event.descriptorType != typeAppleEvent) {
    return errAENotAppleEvent;
  }
  if (reply != nullptr) {
    *reply = AEDesc{};
  }
  if (record->eventClass != kCoreEventClass || record->eventID != kAERestart) {
    return errAEEventNotHandled;
  }
  if (!isSystemProcess(record->addressType, record->bytes)) {
    return procNotFound;
  }
  switch (requestReboot()) {
    case RebootRequest::kAccepted:
      return noErr;
    case RebootRequest::kNoBus:
      return connectionInvalid;
    case RebootRequest::kRefused:
      break;
  }
  return errAEEventFailed;
}

OSErr DbusAppleEvents::disposeDesc(AEDesc* desc) {
  if (desc == nullptr) {
    return paramErr;
  }
  // A null descriptor holds nothing; disposing of it is no error.
  const bool held = desc->dataHandle == 0 || records_.erase(desc->dataHandle) == 1;
  *desc = AEDesc{};
  return held ? noErr : errAENotAEDesc;
}

}  // namespace morvane
