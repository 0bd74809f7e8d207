// morvane-exec: the one program that polkit starts as root for Morvane.
//
//   morvane-exec TOOL [ARGUMENT...]
//
// It becomes TOOL, with the ARGUMENTs, when TOOL is, string for string, one of the program's
// fixed privileged tool paths; it runs nothing else. It trusts nothing it inherits: the
// descriptors above 2 are closed and 0 to 2 made sure to be open, the file mode mask is 022,
// and the tool gets a new minimal environment rather than a cleaned copy of the caller's. One
// line in the system log (authpriv) names the tool, the user who asked (PKEXEC_UID) and the
// arguments, before the tool starts.
//
// Exit statuses of its own, apart from 1 (tools' failures), 126 and 127 (pkexec's refusals):
//   64  no tool named (fewer than two arguments, also none at all)
//   65  the tool is not one of the fixed privileged tool paths
//   66  the tool could not be started
//   67  the process could not be made safe to start a tool from (descriptors, memory)
// Otherwise the status is the tool's own: the helper becomes the tool.
//
// Written like the smallest privileged programs: no exceptions, no streams, one allocation
// (the log line), and every check before an argument is read.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "exec/tool_paths.h"
#include "platform/posix/tool_environment.h"

namespace {

constexpr int kBadUsage = 64;
constexpr int kToolNotAllowed = 65;
constexpr int kExecFailed = 66;
constexpr int kUnsafeStart = 67;

/// Says why the helper refuses, on standard error (open by then, maybe on /dev/null).
int refuse(int status, const char* why) {
  const char prefix[] = "morvane-exec: ";
  (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
  (void)!write(STDERR_FILENO, why, std::strlen(why));
  (void)!write(STDERR_FILENO, "\n", 1);
  return status;
}

/// Opens /dev/null on each of 0, 1 and 2 that is closed, so that no file the tool opens can
/// become its standard input or output. open() returns the lowest free descriptor.
bool openStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && open("/dev/null", O_RDWR) != fd) {
      return false;
    }
  }
  return true;
}

/// Closes every descriptor above 2, by walking /proc/self/fd where close_range is missing.
bool closeOtherDescriptors() {
  if (syscall(SYS_close_range, 3U, ~0U, 0U) == 0) {
    return true;
  }
  const int dir = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    return false;
  }
  alignas(8) char entries[4096];
  long length = 0;
  while ((length = syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0) {
    for (long at = 0; at < length;) {
      // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name
      unsigned short record = 0;
      std::memcpy(&record, entries + at + 16, sizeof record);
      const int fd = std::atoi(entries + at + 19);
      if (fd > 2 && fd != dir) {
        close(fd);
      }
      at += record;
    }
  }
  close(dir);
  return length == 0;
}

bool isPrivilegedTool(const char* tool) {
  for (const char* allowed : morvane::kPrivilegedTools) {
    if (std::strcmp(tool, allowed) == 0) {
      return true;
    }
  }
  return false;
}

/// A byte as it stands in the log line: printable ASCII other than space and backslash as
/// itself, everything else as \xNN, so that the words of the line are the arguments.
char* appendEscaped(char* out, const char* text) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
    if (*c > ' ' && *c < 0x7f && *c != '\\') {
      *out++ = static_cast<char>(*c);
      continue;
    }
    const char hex[] = "0123456789abcdef";
    *out++ = '\\';
    *out++ = 'x';
    *out++ = hex[*c >> 4];
    *out++ = hex[*c & 0xf];
  }
  return out;
}

/// Writes "user UID runs TOOL ARG..." to the authpriv log; false when it cannot be built.
bool logToolStart(const char* user, char* const* tool) {
  const char* parts[] = {"user ", user, " runs "};
  size_t size = 1;
  for (const char* part : parts) {
    size += 4 * std::strlen(part);
  }
  for (char* const* word = tool; *word; ++word) {
    size += 4 * std::strlen(*word) + 1;
  }
  char* line = static_cast<char*>(std::malloc(size));
  if (!line) {
    return false;
  }
  char* out = line;
  out = appendEscaped(stpcpy(out, "user "), user);
  out = appendEscaped(stpcpy(out, " runs "), *tool);
  for (char* const* word = tool + 1; *word; ++word) {
    *out++ = ' ';
    out = appendEscaped(out, *word);
  }
  *out = '\0';
  openlog("morvane-exec", LOG_PID, LOG_AUTHPRIV);
  syslog(LOG_NOTICE, "%s", line);
  closelog();
  std::free(line);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!openStandardDescriptors() || !closeOtherDescriptors()) {
    return kUnsafeStart;  // nowhere safe to say why
  }
  umask(022);
  if (argc < 2) {
    return refuse(kBadUsage, "usage: morvane-exec TOOL [ARGUMENT...]");
  }
  if (!isPrivilegedTool(argv[1])) {
    return refuse(kToolNotAllowed, "not a tool of Morvane");
  }
  const char* user = std::getenv("PKEXEC_UID");
  if (!logToolStart(user ? user : "?", argv + 1)) {
    return refuse(kUnsafeStart, "out of memory");
  }
  // execve takes char* for its environment only for C's sake: it writes nothing there.
  execve(argv[1], argv + 1, const_cast<char* const*>(morvane::kToolEnvironment));
  return refuse(kExecFailed, std::strerror(errno));
}
