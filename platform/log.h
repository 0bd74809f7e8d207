#pragma once

#include <string>

namespace morvane {

/// The system log: one line a message, no levels.
class Log {
 public:
  virtual ~Log() = default;
  virtual void write(const std::string& message) = 0;

  /// Tells the caller of the program, in one plain line on standard error, why the run ends as
  /// it does or what it did not take from the command line. An installer has only this and the
  /// exit status to go by.
  virtual void tell(const std::string& line) { (void)line; }
};

}  // namespace morvane
