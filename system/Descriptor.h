#pragma once

// An open file descriptor with one owner, closed when the owner ends or
// takes another one; moved, never copied. The folder locks and the record
// files hold their descriptor, and with it their lock, through one.

#include <utility>

#include "system/SystemOps.h"

namespace quor {

class Descriptor {
 public:
  Descriptor() = default;
  // Owns `fd`; a negative one, as a failed open returns, is none.
  explicit Descriptor(int fd) : fd_(fd < 0 ? -1 : fd) {}
  ~Descriptor() { Close(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  [[nodiscard]] int Get() const { return fd_; }
  [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
  // Closes it; a lock taken on it goes with the file's last descriptor.
  void Close();

 private:
  int fd_ = -1;
};

// Takes the exclusive lock (flock) of the open file without waiting:
// EWOULDBLOCK while another open file holds it.
[[nodiscard]] SysResult LockNow(const Descriptor& fd);

}  // namespace quor
