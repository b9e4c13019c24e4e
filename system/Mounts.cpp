#include "system/Mounts.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>

#include "text/Bytes.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// A field of the mount table, whose spaces, TABs, line breaks and
// backslashes are written as \040, \011, \012 and \134.
std::string Unescaped(std::string_view field) {
  const auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

std::string FileSystemTypeIn(std::string_view mountinfo, std::string_view path) {
  std::string best;
  std::size_t bestLength = 0;
  bool found = false;
  while (!mountinfo.empty()) {
    const std::size_t end = mountinfo.find('\n');
    const std::string_view line = mountinfo.substr(0, end);
    mountinfo = end == std::string_view::npos ? std::string_view() : mountinfo.substr(end + 1);
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::array<std::string_view, 5> fields;
    std::size_t at = 0;
    std::size_t count = 0;
    for (; count < fields.size(); ++count) {
      const std::size_t stop = line.find(' ', at);
      if (stop == std::string_view::npos) break;
      fields[count] = line.substr(at, stop - at);
      at = stop + 1;
    }
    const std::size_t dash = line.find(" - ", at == 0 ? 0 : at - 1);
    if (count < fields.size() || dash == std::string_view::npos) continue;
    const std::string_view rest = line.substr(dash + 3);
    const std::string_view type = rest.substr(0, rest.find(' '));
    const std::string mountPoint = Unescaped(fields[4]);
    // The last mount on a point hides those before it.
    if (IsAtOrBelow(path, mountPoint) && (!found || mountPoint.size() >= bestLength)) {
      best = Unescaped(type);
      bestLength = mountPoint.size();
      found = true;
    }
  }
  return best;
}

std::string FileSystemTypeOf(const std::string& path) {
  if (HasNulByte(path)) return {};
  const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
  if (!real) return {};
  const Descriptor table = OpenMountTable();
  if (!table.IsOpen()) return {};
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(table.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return FileSystemTypeIn(text, real.get());
}

bool IsNetworkFileSystem(std::string_view type) {
  static constexpr std::string_view kNetwork[] = {
      "cifs", "smb3", "smbfs", "nfs", "nfs4", "ncpfs", "9p", "afs", "ceph", "coda", "glusterfs", "lustre",
      "gpfs", "beegfs", "ocfs2", "gfs2", "virtiofs", "vboxsf", "vmhgfs", "davfs",
      "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.gcsfuse", "fuse.glusterfs", "fuse.ceph-fuse",
      "fuse.smbnetfs", "fuse.curlftpfs", "fuse.gvfsd-fuse", "fuse.vmhgfs-fuse", "fuse.davfs", "fuse.juicefs",
      "fuse.goofys", "fuse.afpfs", "fuse.ossfs", "fuse.s3backer", "fuse.onedriver", "fuse.google-drive-ocamlfuse"};
  for (const std::string_view known : kNetwork)
    if (type == known) return true;
  return false;
}

Descriptor OpenMountTable() {
  return Descriptor(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

}  // namespace quor
