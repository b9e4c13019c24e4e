# Sourced by ./run and ./test: installs the Debian packages that are missing.
# Usage: ensure_packages pkg...
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "Missing packages. Run as root: apt-get update && apt-get install -y ${missing[*]}" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" ||
    { "${sudo[@]}" apt-get update && "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; }
}

# fp-utils: chmcmd, which compiles the help file that every package holds.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libbenchmark-dev libpcre2-dev librsvg2-bin dpkg-dev
                fp-utils)
# The fonts of an ordinary Japanese desktop, so that the window is tested
# against what users have.
# The last line: the command-line renamers that bench_core_cli compares with,
# man, which checks the manual page, bash-completion, which runs the completion,
# strace, which holds a run up between its look and its rename on exFAT, and
# systemd, whose systemd-analyze checks the watch's user service.
TEST_PACKAGES=(clang libclang-rt-14-dev xvfb xauth exfatprogs exfat-fuse fuse3 desktop-file-utils appstream
               fonts-noto-mono fonts-noto-cjk fonts-dejavu-core
               rename mmv man-db bash-completion strace systemd)
