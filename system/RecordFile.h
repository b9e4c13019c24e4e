#pragma once

// Append-only record files that say by their lock whether their writer still
// runs: the writer holds an exclusive lock for as long as it writes, and the
// system drops the lock when the process ends, however it ends. So a reader
// that gets the lock knows the writer is gone, whatever became of its pid.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "system/Descriptor.h"
#include "system/SystemOps.h"

namespace quor {

// Moved, never copied; closed, and its lock released, when its holder ends.
class RecordFile {
 public:
  // Creates a new file at `path` (never an existing one: EEXIST) and locks it.
  [[nodiscard]] SysResult Create(const std::string& path);
  // Opens an existing file to append to it, if no live process holds its
  // lock (EWOULDBLOCK when one does), and takes the lock.
  [[nodiscard]] SysResult OpenUnlocked(const std::string& path);

  [[nodiscard]] bool IsOpen() const { return fd_.IsOpen(); }
  // Appends all of `data` at the end. A process killed later keeps what was
  // written: the data is the system's from here on.
  [[nodiscard]] SysResult Append(std::string_view data);
  // Cuts the file to its first `size` bytes (a line its writer never finished).
  [[nodiscard]] SysResult Truncate(std::uint64_t size);
  // Starts writing what was appended to the disk without waiting for it,
  // so that the Sync at the end finds little left to do.
  void StartWriteback();
  // Puts what was appended on the disk (fdatasync), against a power cut.
  [[nodiscard]] SysResult Sync();
  // Releases the lock and the file.
  void Close() { fd_.Close(); }

 private:
  Descriptor fd_;
};

// The first and the last `n` bytes of a regular file (all of it when it is
// shorter), without reading what lies between.
[[nodiscard]] SysResult ReadFileEnds(const std::string& path, std::size_t n, std::string& head, std::string& tail);

// True when a live process holds the lock of the file at `path`.
[[nodiscard]] bool IsLockedByAnother(const std::string& path);

// Creates a folder and the folders above it that are missing, with `mode`
// less the umask (0700 unless told: a history of names is private).
[[nodiscard]] SysResult MakeFolders(const std::string& path, unsigned mode = 0700);

// Removes a file (never a folder).
SysResult RemoveFile(const std::string& path);

}  // namespace quor
