#include "system/FolderWatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/Bytes.h"

namespace quor {

namespace {

constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB |
                                       IN_DELETE | IN_MOVED_FROM;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

}  // namespace

FolderWatcher::FolderWatcher() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (!fd_.IsOpen()) ready_ = SysResult(errno);
}

int FolderWatcher::Add(const std::string& folder, SysResult& why) {
  why = ready_;
  if (!ready_) return -1;
  if (HasNulByte(folder)) {
    why = SysResult(EINVAL);
    return -1;
  }
  // IN_EXCL_UNLINK: a file deleted while a writer still has it open is no
  // entry of the folder any more.
  const int watch =
      ::inotify_add_watch(fd_.Get(), folder.c_str(), kEntryEvents | kSelfEvents | IN_ONLYDIR | IN_EXCL_UNLINK);
  if (watch < 0) {
    why = SysResult(errno);
    return -1;
  }
  ended_.erase(watch);
  why = {};
  return watch;
}

void FolderWatcher::Remove(int watch) {
  if (ended_.insert(watch).second) (void)::inotify_rm_watch(fd_.Get(), watch);
}

SysResult FolderWatcher::Read(std::vector<FolderEvent>& events) {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd_.Get(), buffer, sizeof buffer);
    if (n < 0) return errno == EAGAIN || errno == EINTR ? SysResult() : SysResult(errno);
    if (n == 0) return {};
    for (ssize_t at = 0; at < n;) {
      inotify_event e;
      std::memcpy(&e, buffer + at, sizeof e);
      const char* name = buffer + at + sizeof e;
      at += static_cast<ssize_t>(sizeof e + e.len);
      using Kind = FolderEvent::Kind;
      if (e.mask & IN_Q_OVERFLOW) {
        events.push_back({Kind::Overflow, -1, {}, false});
        continue;
      }
      if (ended_.count(e.wd) != 0) continue;
      if (e.mask & (kSelfEvents | IN_IGNORED)) {
        // A folder moved away keeps its watch, which would report a folder
        // that is no longer the one asked for.
        Remove(e.wd);
        events.push_back({Kind::FolderGone, e.wd, {}, false});
        continue;
      }
      FolderEvent event;
      event.Watch = e.wd;
      event.Name.assign(name, e.len > 0 ? ::strnlen(name, e.len) : 0);
      event.IsFolder = (e.mask & IN_ISDIR) != 0;
      if (e.mask & IN_CREATE)
        event.What = Kind::Created;
      else if (e.mask & IN_MOVED_TO)
        event.What = Kind::MovedIn;
      else if (e.mask & (IN_DELETE | IN_MOVED_FROM))
        event.What = Kind::Left;
      else
        event.What = Kind::Changed;
      events.push_back(std::move(event));
    }
  }
}

Writers WritersOf(const std::string& path) {
  if (HasNulByte(path)) return Writers::Unknown;
  // Non-blocking: a lease of another (a file server's) makes the open fail at
  // once instead of waiting for that lease to be broken.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
  if (!fd.IsOpen()) {
    if (errno == EWOULDBLOCK) return Writers::Some;
    return errno == ELOOP ? Writers::None : Writers::Unknown;  // ELOOP: a link, which nobody writes through here
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return Writers::Unknown;
  if (!S_ISREG(st.st_mode)) return Writers::None;
  if (::fcntl(fd.Get(), F_SETLEASE, F_RDLCK) != 0) return errno == EAGAIN ? Writers::Some : Writers::Unknown;
  (void)::fcntl(fd.Get(), F_SETLEASE, F_UNLCK);
  return Writers::None;
}

namespace {

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

std::uint64_t Signature(const struct stat& st) {
  std::uint64_t h = Mix(st.st_ino);
  h = Mix(h ^ static_cast<std::uint64_t>(st.st_size));
  h = Mix(h ^ static_cast<std::uint64_t>(st.st_mtim.tv_sec));
  return Mix(h ^ static_cast<std::uint64_t>(st.st_mtim.tv_nsec) ^ (std::uint64_t{st.st_mode} << 40));
}

std::uint64_t NameHash(const char* name) {
  std::uint64_t h = 1469598103934665603ull;
  for (; *name != 0; ++name) h = (h ^ static_cast<unsigned char>(*name)) * 1099511628211ull;
  return h;
}

// Adds the signatures of the entries under the open folder `dirFd` (which
// it closes), in any order: the sum does not depend on the listing's order.
void AddTree(int dirFd, std::uint64_t& sum, std::size_t& left) {
  DIR* dir = ::fdopendir(dirFd);
  if (dir == nullptr) {
    ::close(dirFd);
    return;
  }
  while (left > 0) {
    const dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    --left;
    sum += Mix(Signature(st) ^ NameHash(e->d_name));
    if (S_ISDIR(st.st_mode)) {
      const int sub = ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub >= 0) AddTree(sub, sum, left);
    }
  }
  ::closedir(dir);
}

}  // namespace

SysResult ChangeSignature(const std::string& path, std::uint64_t& signature) {
  if (HasNulByte(path)) return SysResult(EINVAL);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return SysResult(errno);
  signature = Signature(st);
  if (!S_ISDIR(st.st_mode)) return {};
  const int dir = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return {};  // an unreadable folder: its own times tell what they can
  std::uint64_t sum = 0;
  std::size_t left = 10000;
  AddTree(dir, sum, left);
  signature = Mix(signature ^ sum);
  return {};
}

SysResult WaitForAny(std::vector<Waited>& fds, int timeoutMs) {
  std::vector<pollfd> polled;
  polled.reserve(fds.size());
  for (const Waited& w : fds) polled.push_back({w.Fd, static_cast<short>(w.Priority ? POLLPRI : POLLIN), 0});
  const int n = ::poll(polled.data(), polled.size(), timeoutMs < 0 ? -1 : timeoutMs);
  for (std::size_t i = 0; i < fds.size(); ++i) fds[i].Ready = n > 0 && polled[i].revents != 0;
  if (n < 0 && errno != EINTR) return SysResult(errno);
  return {};
}

}  // namespace quor
