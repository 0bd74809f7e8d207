#include "platform/posix/unique_fd.h"

#include <unistd.h>

#include <utility>

namespace morvane {

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool UniqueFd::close() {
  // Linux releases the descriptor even when close reports EINTR, so it is never retried.
  const int fd = std::exchange(fd_, -1);
  return fd < 0 || ::close(fd) == 0;
}

}  // namespace morvane
