#pragma once

namespace morvane {

/// Owns one file descriptor and closes it exactly once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept;
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  /// The descriptor, or -1 when none is held.
  int get() const { return fd_; }
  /// Closes the descriptor now, if one is held.
  void reset() { close(); }
  /// Closes now; false when the system reports that written data may be lost.
  bool close();

 private:
  int fd_ = -1;
};

}  // namespace morvane
