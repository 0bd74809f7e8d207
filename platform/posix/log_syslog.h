#pragma once

#include "platform/log.h"

namespace morvane {

/// One line to syslog and the same line, dated, to standard error:
/// "2026-12-06 05:30:51.123 Morvane[4242] message".
class SyslogLog final : public Log {
 public:
  void write(const std::string& message) override;
  /// "Morvane: LINE" on standard error.
  void tell(const std::string& line) override;
};

/// The standard-error form of a log line at the current time.
std::string formatLogLine(const std::string& message);

}  // namespace morvane
