#include "platform/posix/read_to_end.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace morvane {
namespace {

/// A pipe holds 64 KiB unless told otherwise, so a larger read rarely returns more.
constexpr std::size_t kReadChunk = 64 * 1024;

/// Below this, a new buffer is cheaper to fault in page by page than with an extra call.
constexpr std::size_t kPrefaultFrom = 1 << 20;

/// The size of a transparent huge page on x86-64 and arm64 with 4 KiB pages.
constexpr std::uintptr_t kHugePage = 2 << 20;

/// Calls madvise on the whole units of `unit` bytes inside [begin, end). A refusal (a kernel
/// older than 5.14 for MADV_POPULATE_WRITE, or one without huge pages) costs only speed: the
/// pages then fault in one by one as they are written.
void advise(std::uintptr_t begin, std::uintptr_t end, std::uintptr_t unit, int advice) {
  const std::uintptr_t first = (begin + unit - 1) / unit * unit;
  const std::uintptr_t last = end / unit * unit;
  if (last > first) {
    static_cast<void>(::madvise(reinterpret_cast<void*>(first), last - first, advice));
  }
}

/// Maps all of `text`'s buffer in one call, in huge pages where it can. Touching fresh pages
/// one at a time costs a fault per 4 KiB, which inside a virtual machine can cost more than
/// the pipe itself. The price is that the whole capacity, up to twice the output, is mapped.
void prefault(std::string& text) {
  const long page = ::sysconf(_SC_PAGESIZE);
  if (page <= 0) {
    return;
  }
  const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
  const std::uintptr_t end = begin + text.capacity();
  advise(begin, end, kHugePage, MADV_HUGEPAGE);
  advise(begin, end, static_cast<std::uintptr_t>(page), MADV_POPULATE_WRITE);
}

/// Makes room for `more` bytes after the end of `output`. The capacity doubles, so a 64 MiB
/// output costs a handful of copies; a large new buffer is mapped before the old bytes are
/// copied into it.
void growFor(std::string& output, std::size_t more) {
  if (output.capacity() - output.size() >= more) {
    return;
  }
  std::string larger;
  larger.reserve(std::max(output.size() + more, 2 * output.capacity()));
  if (larger.capacity() >= kPrefaultFrom) {
    prefault(larger);
  }
  larger.append(output);
  output.swap(larger);
}

/// Waits until `fd` has something to read, or its writers are gone; false once `until` has
/// passed first.
bool readableBy(int fd, std::chrono::steady_clock::time_point until) {
  using namespace std::chrono;
  for (;;) {
    const auto left = duration_cast<milliseconds>(until - steady_clock::now()).count();
    if (left <= 0) {
      return false;
    }
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left, INT32_MAX)));
    if (ready > 0) {
      return true;
    }
    if (ready < 0 && errno != EINTR) {
      return true;  // the read says what went wrong
    }
  }
}

}  // namespace

std::optional<std::string> readToEnd(int fd, std::size_t most,
                                     std::chrono::steady_clock::time_point until) {
  const std::unique_ptr<char[]> chunk = std::make_unique_for_overwrite<char[]>(kReadChunk);
  const bool timed = until != std::chrono::steady_clock::time_point::max();
  std::string output;
  for (;;) {
    if (timed && !readableBy(fd, until)) {
      return std::nullopt;
    }
    const ssize_t got = ::read(fd, chunk.get(), kReadChunk);
    if (got > 0 && static_cast<std::size_t>(got) > most - output.size()) {
      return std::nullopt;
    } else if (got > 0) {
      growFor(output, static_cast<std::size_t>(got));
      output.append(chunk.get(), static_cast<std::size_t>(got));
    } else if (got == 0) {
      return output;
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

}  // namespace morvane
