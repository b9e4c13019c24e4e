#!/usr/bin/env bash
# Checks what the desktop and the package system see of the program: the
# desktop entry, the AppStream metadata, the licence, the compiled help and,
# with --package BUILD, the Debian package made from that build folder.
# Extra arguments are built .chm files to check as well
# (build/quor-renamer.chm is checked when it exists).
# Usage: check-desktop.sh [--package BUILD] [CHM...]
set -euo pipefail
cd "$(dirname "$0")/.."

package_build=
if [ "${1:-}" = --package ]; then
  package_build=$2
  shift 2
fi

fail=0
problem() { echo "check-desktop: $*" >&2; fail=1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== desktop entry, AppStream metadata and licence"
grep -q '^Permission is hereby granted, free of charge' LICENSE && grep -qx 'MIT License' LICENSE ||
  problem "LICENSE is not the MIT licence"
for f in packaging/*.desktop; do
  desktop-file-validate "$f" || problem "$f does not validate"
  # A file manager's "open with" hands over the folder.
  grep -qx 'Exec=quor-renamer %f' "$f" || problem "$f does not start quor-renamer with the folder (%f)"
  grep -qE '^MimeType=(.*;)?inode/directory;' "$f" || problem "$f is not offered for folders (MimeType inode/directory)"
  icon=$(sed -n 's/^Icon=//p' "$f")
  [ -f "gui/window/icons/$icon.svg" ] || problem "$f names the icon $icon, but gui/window/icons/$icon.svg is missing"
done
for f in packaging/*.metainfo.xml; do
  appstreamcli validate --no-net "$f" >/dev/null || { appstreamcli validate --no-net "$f" || true; problem "$f does not validate"; }
  # Software centres hide an application without both.
  grep -q '<project_license>MIT</project_license>' "$f" || problem "$f names no project_license MIT"
  grep -q '<metadata_license>[^<]' "$f" || problem "$f names no metadata_license"
  for d in $(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$f"); do
    [ -f "packaging/$d" ] || problem "$f launches $d, which is not in packaging/"
  done
done

# Every page, the contents and the index must be in the file, and every link
# of the sources must lead to something that is.
check_chm() {
  local chm=$1 listing link page anchor
  listing=$(chmls -n list "$chm" 2>/dev/null) || { problem "chmls cannot read $chm"; return; }
  for page in help/*.html help/*.hhc help/*.hhk help/*.css; do
    grep -qx "/${page#help/}" <<<"$listing" || problem "$chm does not hold ${page#help/}"
  done
  page=$(sed -n 's/^Default topic=\(.*\)$/\1/p' help/*.hhp | tr -d '\r')
  grep -qx "/$page" <<<"$listing" || problem "$chm does not hold its default topic $page"
  # Read whole first: grep -q would leave chmls writing into a closed pipe,
  # which pipefail takes for a failure.
  grep -aEq 'LCID.*: *1041$' <<<"$(chmls printsystem "$chm" 2>/dev/null | tr -d '\0')" ||
    problem "$chm is not marked Japanese (LCID 0x411); viewers would garble its contents"
  for src in help/*.html help/*.hhc help/*.hhk; do
    for link in $(grep -o 'href="[^"]*"\|"Local" value="[^"]*"' "$src" |
                  sed 's/.*="\([^"]*\)"$/\1/' | grep -v '^[a-z]*:' | sort -u); do
      page=${link%%#*}
      page=${page:-${src#help/}}
      grep -qx "/$page" <<<"$listing" || problem "$src links to $link, which $chm does not hold"
      if [[ $link == *#* ]]; then
        anchor=${link#*#}
        grep -q "name=\"$anchor\"" "help/$page" || problem "$src links to $link, which has no such anchor"
      fi
    done
  done
}

if command -v chmcmd >/dev/null && command -v chmls >/dev/null; then
  echo "== help file"
  cmake -DSOURCE_DIR="$PWD/help" -DWORK_DIR="$scratch/work" -DOUTPUT="$scratch/quor-renamer.chm" \
        -P cmake/Help.cmake || problem "the help does not compile"
  for chm in "$scratch/quor-renamer.chm" build/quor-renamer.chm "$@"; do
    if [ -f "$chm" ]; then check_chm "$chm"; fi
  done
else
  echo "== help file: chmcmd or chmls missing (Debian package fp-utils), not checked"
fi

# What users install: the package of the build, as its README makes it.
check_package() {
  local build=$1 deb listing
  cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; problem "no package can be made from $build"; return; }
  deb=$(ls "$scratch"/package/*.deb)
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for path in ./usr/share/doc/quor-renamer/copyright ./usr/lib/quor-renamer/quor-renamer.chm \
              ./usr/share/applications/quor-renamer.desktop ./usr/share/metainfo/io.github.quor.QuorRenamer.metainfo.xml \
              ./usr/share/bash-completion/completions/quor-rename; do
    grep -qx -- "$path" <<<"$listing" || problem "the package lacks ${path#.}"
  done
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/quor-renamer/copyright >"$scratch/copyright" 2>/dev/null || true
  head -n 1 "$scratch/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    problem "the package's copyright file is not in the machine-readable format"
  grep -qx 'License: MIT' "$scratch/copyright" && grep -q '^ Permission is hereby granted' "$scratch/copyright" ||
    problem "the package's copyright file does not hold the MIT licence"
  grep -qw bash-completion <<<"$(dpkg-deb -f "$deb" Recommends)" || problem "the package does not recommend bash-completion"
}
if [ -n "$package_build" ]; then
  echo "== Debian package of $package_build"
  check_package "$package_build"
fi

[ $fail -eq 0 ] && echo "desktop files, licence, help and package: OK"
exit $fail
