#include "system/Find.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "text/Bytes.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// The bits that a directory entry gives without a stat.
constexpr std::uint32_t kListedBits =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_REPARSE_POINT;

bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// "." and ".." are the folder and its parent, not entries someone hid.
std::uint32_t NameBits(const char* name) {
  return name[0] == '.' && !IsDots(name) ? FILE_ATTRIBUTE_HIDDEN : 0;
}

std::uint32_t TypeBits(mode_t mode) {
  if (S_ISDIR(mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISLNK(mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
  return 0;
}

FileTime ToFileTime(const statx_timestamp& t) {
  constexpr std::int64_t kEpochDelta = 11644473600;  // seconds from 1601 to 1970
  if (t.tv_sec < -kEpochDelta) return 0;
  return static_cast<FileTime>(t.tv_sec + kEpochDelta) * 10000000u + t.tv_nsec / 100u;
}

}  // namespace

// The state of one search: the open folder and the mask.
class FindSearch {
 public:
  FindSearch(DIR* dir, std::string_view mask, std::string folder)
      : dir_(dir), mask_(mask), folder_(std::move(folder)), matchAll_(mask == "*" || mask == "*.*"),
        cp_(NativeCodepage()) {}
  ~FindSearch() { closedir(dir_); }
  FindSearch(const FindSearch&) = delete;
  FindSearch& operator=(const FindSearch&) = delete;

  // Reads entries up to the next match and puts it into `data`.
  bool Fetch(FindData& data) {
    for (;;) {
      const dirent* entry = readdir(dir_);
      if (entry == nullptr) return false;
      if (!matchAll_ && !MatchesFindMask(entry->d_name, mask_, cp_)) continue;
      Fill(*entry, data);
      return true;
    }
  }

 private:
  void Fill(const dirent& entry, FindData& data) {
    // The record may come from another search; it keeps its buffers.
    if (data.folder_ != folder_) data.folder_ = folder_;
    data.cFileName.assign(entry.d_name);
    data.Inode = entry.d_ino;
    data.cAlternateFileName[0] = 0;
    data.detailsLoaded_ = false;
    std::uint32_t bits = NameBits(entry.d_name);
    data.listedKind_ = 'o';
    switch (entry.d_type) {
      case DT_DIR:
        bits |= FILE_ATTRIBUTE_DIRECTORY;
        data.listedKind_ = 'd';
        break;
      case DT_LNK:
        bits |= FILE_ATTRIBUTE_REPARSE_POINT;
        data.listedKind_ = 'l';
        break;
      case DT_REG:
        data.listedKind_ = 'f';
        break;
      case DT_UNKNOWN:
        // Some file systems leave the type out of the listing.
        data.listedKind_ = '?';
        data.listedAttributes_ = bits;
        data.LoadDetails();
        data.listedAttributes_ = data.attributes_ & kListedBits;
        data.listedKind_ = data.kind_;
        return;
      default:
        break;
    }
    data.listedAttributes_ = bits;
  }

  DIR* dir_;
  std::string mask_;
  std::string folder_;
  bool matchAll_;
  Codepage cp_;
};

void FindData::LoadDetails() const {
  if (detailsLoaded_) return;
  detailsLoaded_ = true;
  attributes_ = listedAttributes_;
  lastAccessTime_ = lastWriteTime_ = 0;
  size_ = 0;
  std::string path = folder_;
  path += '/';
  path += cFileName;
  struct statx st {};
  const unsigned want = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME;
  kind_ = listedKind_;
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, want, &st) == 0) {
    attributes_ = (listedAttributes_ & FILE_ATTRIBUTE_HIDDEN) | TypeBits(st.stx_mode);
    kind_ = S_ISREG(st.stx_mode) ? 'f' : S_ISDIR(st.stx_mode) ? 'd' : S_ISLNK(st.stx_mode) ? 'l' : 'o';
    if (!S_ISLNK(st.stx_mode) && (st.stx_mode & 0222) == 0) attributes_ |= FILE_ATTRIBUTE_READONLY;
    lastAccessTime_ = ToFileTime(st.stx_atime);
    lastWriteTime_ = ToFileTime(st.stx_mtime);
    if (S_ISREG(st.stx_mode)) size_ = st.stx_size;
  }
  // The entry may be gone by now; what the listing said still stands.
  if (attributes_ == 0) attributes_ = FILE_ATTRIBUTE_NORMAL;
}

char FindData::Kind() const { return listedKind_; }

std::uint32_t FindData::FileAttributes() const {
  LoadDetails();
  return attributes_;
}

bool FindData::HasAnyAttribute(std::uint32_t mask) const {
  if (mask == 0) return false;
  if ((mask & ~kListedBits) == 0) return (listedAttributes_ & mask) != 0;
  return (FileAttributes() & mask) != 0;
}

FileTime FindData::LastAccessTime() const {
  LoadDetails();
  return lastAccessTime_;
}

FileTime FindData::LastWriteTime() const {
  LoadDetails();
  return lastWriteTime_;
}

std::uint64_t FindData::FileSize() const {
  LoadDetails();
  return size_;
}

SearchHandle FindFirstFile(const std::string& pattern, FindData& data) {
  // A NUL would cut the path short and list some other folder.
  if (pattern.empty() || HasNulByte(pattern)) return INVALID_HANDLE_VALUE;
  const std::string_view mask = FileNameView(pattern);
  if (mask.empty()) return INVALID_HANDLE_VALUE;
  std::string folder = ExtractFileDir(pattern, NativeCodepage());
  if (folder.empty()) folder = ".";

  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  auto* search = new (std::nothrow) FindSearch(dir, mask, std::move(folder));
  if (search == nullptr) {
    closedir(dir);
    return INVALID_HANDLE_VALUE;
  }
  if (!search->Fetch(data)) {
    delete search;
    return INVALID_HANDLE_VALUE;
  }
  return search;
}

bool FindNextFile(SearchHandle handle, FindData& data) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  return handle->Fetch(data);
}

bool FindClose(SearchHandle handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  delete handle;
  return true;
}

}  // namespace quor
