#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quor::test {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object ends.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "quor") {
    std::string templ = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~TempFolder() {
    ::chmod(path_.c_str(), 0700);  // a test may have taken the write bit away
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  [[nodiscard]] const std::string& Path() const { return path_; }
  [[nodiscard]] std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  void File(const std::string& name, const std::string& content = "") const {
    std::ofstream(*this / name, std::ios::binary) << content;
  }
  void Folder(const std::string& name) const { std::filesystem::create_directory(*this / name); }
  [[nodiscard]] bool Has(const std::string& name) const {
    std::error_code ec;
    return std::filesystem::symlink_status(*this / name, ec).type() != std::filesystem::file_type::not_found;
  }
  [[nodiscard]] std::string Read(const std::string& name) const {
    std::ifstream in(*this / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Entry names, sorted, as raw bytes.
  [[nodiscard]] std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Names in the folder, sorted, without "." and "..".
inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Every name that appears in a folder (created, moved in or out, deleted)
// while the watch lives, as the kernel reports it: what any other program
// watching the folder would see.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0 || inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE) < 0)
      throw std::runtime_error("inotify failed");
  }
  ~FolderWatch() { close(fd_); }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // The names seen since the last call, in order, repeats included.
  std::vector<std::string> Seen() {
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t i = 0; i < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
        if (e->len > 0) names.emplace_back(e->name);
        i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    return names;
  }

 private:
  int fd_;
};

// Deterministic junk for files that must load without a crash.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return bytes;
}

}  // namespace quor::test
