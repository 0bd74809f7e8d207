#pragma once

#include <string>

namespace morvane {

/// The system log: one line a message, no levels.
class Log {
 public:
  virtual ~Log() = default;
  virtual void write(const std::string& message) = 0;
};

}  // namespace morvane
