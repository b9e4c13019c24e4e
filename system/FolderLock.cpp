#include "system/FolderLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "system/Descriptor.h"
#include "text/Bytes.h"

namespace quor {

namespace {

// The folders this process holds, by device and inode, with the thread that
// holds each. A flock belongs to an open file, so a second open of the same
// folder in this process would wait for the first forever: it takes the
// first's lock again instead.
struct Holder {
  Descriptor Fd;
  std::uint64_t Owner = 0;
  unsigned Count = 0;
};

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

// The registry of this process: a child made by fork starts with none,
// since what its parent holds is not its own.
std::map<std::pair<std::uint64_t, std::uint64_t>, Holder>& Registry() {
  static std::map<std::pair<std::uint64_t, std::uint64_t>, Holder> held;
  static pid_t owner = ::getpid();
  if (owner != ::getpid()) {
    held.clear();
    owner = ::getpid();
  }
  return held;
}

// A token per thread that no later thread reuses, as a thread id may be.
std::uint64_t ThisThread() {
  static std::atomic<std::uint64_t> next{1};
  thread_local const std::uint64_t token = next.fetch_add(1);
  return token;
}

}  // namespace

FolderLock::FolderLock(FolderLock&& other) noexcept
    : held_(std::exchange(other.held_, false)), dev_(other.dev_), ino_(other.ino_) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Unlock();
    held_ = std::exchange(other.held_, false);
    dev_ = other.dev_;
    ino_ = other.ino_;
  }
  return *this;
}

SysResult FolderLock::TryLock(const std::string& folder) {
  Unlock();
  if (HasNulByte(folder)) return SysResult(EINVAL);
  Descriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
  if (!fd.IsOpen()) return SysResult(errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return SysResult(errno);
  const std::pair<std::uint64_t, std::uint64_t> key{st.st_dev, st.st_ino};
  const std::lock_guard<std::mutex> guard(RegistryMutex());
  auto& registry = Registry();
  if (const auto it = registry.find(key); it != registry.end()) {
    if (it->second.Owner != ThisThread()) return SysResult(EWOULDBLOCK);
    ++it->second.Count;
  } else {
    if (const SysResult locked = LockNow(fd); !locked) return locked;
    registry.emplace(key, Holder{std::move(fd), ThisThread(), 1});
  }
  held_ = true;
  dev_ = key.first;
  ino_ = key.second;
  return {};
}

void FolderLock::Unlock() {
  if (!held_) return;
  held_ = false;
  const std::lock_guard<std::mutex> guard(RegistryMutex());
  auto& registry = Registry();
  const auto it = registry.find({dev_, ino_});
  if (it != registry.end() && --it->second.Count == 0) registry.erase(it);
}

}  // namespace quor
