// morvane-exec: the one program that starts Morvane's privileged tools as root, whichever way
// the program got the right (pkexec, sudo, or running as root itself).
//
//   morvane-exec TOOL [ARGUMENT...]
//   morvane-exec --mark PATH
//
// It becomes TOOL, with the ARGUMENTs, only when the whole vector matches a row of the
// program's own table (exec/tool_vectors.h): the tool's path string for string, each argument
// by its shape. It runs nothing else. With --mark it creates the reboot marker at PATH itself,
// or refreshes its time, and never through a link (see makeMarker). It trusts nothing it
// inherits: the descriptors above 2 are closed and 0 to 2 made sure to be open, the file mode
// mask is 022, and the tool gets a new minimal environment rather than a cleaned copy of the
// caller's. One line in the system log (authpriv) names the user who asked (PKEXEC_UID, else
// SUDO_UID, else the real user), the tool and the arguments, before the tool starts, or says
// that the vector was refused.
//
// Exit statuses of its own, apart from 1 (tools' failures, and the marker's), 126 and 127
// (pkexec's refusals):
//   64  no tool named (fewer than two arguments, also none at all)
//   65  not allowed: the vector matches no row of the table
//   66  the tool could not be started
//   67  the process could not be made safe to start a tool from (descriptors, memory)
// Otherwise the status is the tool's own: the helper becomes the tool.
//
// Written like the smallest privileged programs: no exceptions, no streams, one allocation
// (the log line), and every check before an argument is used.
#include <fcntl.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exec/tool_vectors.h"
#include "platform/posix/tool_environment.h"

namespace {

constexpr int kFailed = 1;
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

/// Writes "user UID VERB TOOL ARG..." to the authpriv log; false when it cannot be built.
bool logVector(const char* user, const char* verb, char* const* tool) {
  const char* parts[] = {"user ", user, verb};
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
  out = appendEscaped(stpcpy(out, verb), *tool);
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

/// The user who asked: pkexec's and sudo's word for it, or the real user.
const char* whoAsked(char (&number)[24]) {
  const char* names[] = {"PKEXEC_UID", "SUDO_UID"};
  for (const char* name : names) {
    if (const char* user = std::getenv(name)) {
      return user;
    }
  }
  std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(getuid()));
  return number;
}

/// Creates the reboot marker at `path`, or refreshes its time, without following a link at its
/// last piece, whoever plants one and whenever: root's touch would follow a link planted after
/// the program looked, and create or touch the file it names. Never truncates, and refuses
/// anything but a regular file (a folder, a device, a pipe with nobody reading).
int makeMarker(const char* path) {
  const int fd =
      open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) {
    return refuse(kFailed, std::strerror(errno));
  }
  struct stat facts {};
  int status = 0;
  if (fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
    status = refuse(kFailed, "the marker is not a regular file");
  } else if (futimens(fd, nullptr) != 0) {
    status = refuse(kFailed, std::strerror(errno));
  }
  close(fd);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (!openStandardDescriptors() || !closeOtherDescriptors()) {
    return kUnsafeStart;  // nowhere safe to say why
  }
  umask(022);
  // A file size limit passed on by the caller would cut root's copies short; as root the helper
  // may lift it. The other limits and the nice value pass on: they can slow a tool or stop it,
  // and its status then says so.
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &unlimited);
  if (argc < 2) {
    return refuse(kBadUsage, "usage: morvane-exec TOOL [ARGUMENT...]");
  }
  char number[24];
  const char* user = whoAsked(number);
  if (!morvane::isAllowedVector(argv + 1)) {
    logVector(user, " may not run ", argv + 1);
    return refuse(kToolNotAllowed, "not allowed: not a vector of Morvane's tools");
  }
  if (!logVector(user, " runs ", argv + 1)) {
    return refuse(kUnsafeStart, "out of memory");
  }
  if (std::strcmp(argv[1], morvane::kMarkerOperation) == 0) {
    return makeMarker(argv[2]);
  }
  // execve takes char* for its environment only for C's sake: it writes nothing there.
  execve(argv[1], argv + 1, const_cast<char* const*>(morvane::kToolEnvironment));
  return refuse(kExecFailed, std::strerror(errno));
}
