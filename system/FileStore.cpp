#include "system/FileStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "system/Exception.h"
#include "text/TextOps.h"

namespace quor {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
  throw Exception(std::string(what) + " \"" + path + "\": " + std::strerror(err));
}

// Closes the descriptor on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  // Closes now, so that a failing close can be reported.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The file that a write to `path` should replace: the target of a link.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;  // a dangling link is replaced itself
  std::string target(real);
  std::free(real);
  return target;
}

// The temporary name of a save of `name` by process `pid`.
std::string TempName(const std::string& name, long pid, unsigned n) {
  return "." + name + "." + std::to_string(pid) + "." + std::to_string(n) + ".tmp";
}

// The pid in a temporary name of a save of `name` (".name.<pid>.<n>.tmp"),
// or 0 when `entry` is no such name.
long TempOwner(std::string_view entry, const std::string& name) {
  const std::string head = "." + name + ".";
  if (!entry.starts_with(head) || !entry.ends_with(".tmp")) return 0;
  entry = entry.substr(head.size(), entry.size() - head.size() - 4);
  const std::size_t dot = entry.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == entry.size() || dot > 9) return 0;
  const auto digits = [](std::string_view d) {
    for (const char c : d)
      if (c < '0' || c > '9') return false;
    return true;
  };
  if (!digits(entry.substr(0, dot)) || !digits(entry.substr(dot + 1))) return 0;
  return std::stol(std::string(entry.substr(0, dot)));
}

// A save killed between writing its temporary file and renaming it leaves
// the file behind; remove those of processes that no longer run. A live
// process, ours included, may be in the middle of its own save.
void RemoveLeftovers(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d)) {
    const long pid = TempOwner(e->d_name, name);
    if (pid <= 0 || pid > INT_MAX) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    const std::string path = dir + "/" + e->d_name;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) (void)::unlink(path.c_str());
  }
  ::closedir(d);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out) {
  // O_NONBLOCK so that a pipe at the path cannot hang the start-up.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    Fail("Cannot read", path, errno);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail("Cannot read", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("Cannot read", path, EISDIR);
  if (!S_ISREG(st.st_mode)) Fail("Cannot read", path, EINVAL);
  std::string data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read", path, errno);
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  out.swap(data);
  return true;
}

void ReplaceFileContents(const std::string& path, std::string_view data) {
  const std::string target = ResolveTarget(path);
  const std::string name(FileNameView(target));
  std::string dir = ExtractFileDir(target, NativeCodepage());
  if (dir.empty()) dir = ".";

  struct stat old {};
  const bool hadFile = ::stat(target.c_str(), &old) == 0;
  if (hadFile && S_ISDIR(old.st_mode)) Fail("Cannot write", path, EISDIR);
  // The rename would replace a file that its owner made read-only; refuse
  // as a write into it would.
  if (hadFile && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    Fail("Cannot write", path, errno);

  // A name of our own next to the file: same file system, so the rename is
  // atomic. O_EXCL with a fresh name never takes over someone else's file.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int raw = -1;
  for (int attempt = 0; raw < 0; ++attempt) {
    temp = dir + "/" + TempName(name, ::getpid(), counter.fetch_add(1));
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (raw < 0 && (errno != EEXIST || attempt >= 100)) Fail("Cannot write", path, errno);
  }
  Fd fd(raw);
  const auto abandon = [&](int err) {
    fd.Close();
    ::unlink(temp.c_str());
    Fail("Cannot write", path, err);
  };
  if (!WriteAll(fd.get(), data)) abandon(errno);
  // Keep the permissions the user gave the old file; the owner cannot be
  // kept without privileges, so it is left to the creating process.
  if (hadFile) (void)::fchmod(fd.get(), old.st_mode & 07777);
  if (::fsync(fd.get()) != 0) abandon(errno);
  if (fd.Close() != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("Cannot write", path, err);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("Cannot write", path, err);
  }
  // Make the rename itself durable. The content is already safe, so a
  // file system that cannot sync a folder is no reason to fail.
  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) (void)::fsync(dirFd.get());
  RemoveLeftovers(dir, name);
}

}  // namespace quor
