#include "system/EntryIdentity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace quor {

bool SameEntry(const std::string& a, const std::string& b) {
  struct stat sa{};
  struct stat sb{};
  if (::lstat(a.c_str(), &sa) != 0 || ::lstat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::size_t MaxNameLength(const std::string& folder) {
  const long n = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : NAME_MAX;
}

}  // namespace quor
