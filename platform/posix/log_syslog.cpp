#include "platform/posix/log_syslog.h"

#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/utf8.h"

namespace morvane {

std::string formatLogLine(const std::string& message) {
  using std::chrono::system_clock;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  char prefix[96];
  std::snprintf(prefix, sizeof prefix, "%s.%03lld Morvane[%ld] ", stamp,
                static_cast<long long>(millis), static_cast<long>(::getpid()));
  return prefix + message + "\n";
}

void SyslogLog::write(const std::string& raw) {
  // A caller's path may hold a line break: one message is one line, whatever it holds.
  const std::string message = escapeControls(raw);
  // The message is data, never a format.
  ::syslog(LOG_NOTICE | LOG_USER, "%s", message.c_str());
  const std::string line = formatLogLine(message);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void SyslogLog::tell(const std::string& line) {
  const std::string text = "Morvane: " + escapeControls(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace morvane
