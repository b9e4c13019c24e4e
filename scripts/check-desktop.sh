#!/usr/bin/env bash
# Checks what the desktop sees of the program: the desktop entry, the AppStream
# metadata and the compiled help. Extra arguments are built .chm files to
# check as well (build/quor-renamer.chm is checked when it exists).
set -euo pipefail
cd "$(dirname "$0")/.."

fail=0
problem() { echo "check-desktop: $*" >&2; fail=1; }

echo "== desktop entry and AppStream metadata"
for f in packaging/*.desktop; do
  desktop-file-validate "$f" || problem "$f does not validate"
  grep -qx 'Exec=quor-renamer' "$f" || problem "$f does not start quor-renamer"
  icon=$(sed -n 's/^Icon=//p' "$f")
  [ -f "gui/window/icons/$icon.svg" ] || problem "$f names the icon $icon, but gui/window/icons/$icon.svg is missing"
done
for f in packaging/*.metainfo.xml; do
  appstreamcli validate --no-net "$f" >/dev/null || { appstreamcli validate --no-net "$f" || true; problem "$f does not validate"; }
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
  chmls printsystem "$chm" 2>/dev/null | grep -aEq 'LCID.*: *1041$' ||
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
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cmake -DSOURCE_DIR="$PWD/help" -DWORK_DIR="$scratch/work" -DOUTPUT="$scratch/quor-renamer.chm" \
        -P cmake/Help.cmake || problem "the help does not compile"
  for chm in "$scratch/quor-renamer.chm" build/quor-renamer.chm "$@"; do
    if [ -f "$chm" ]; then check_chm "$chm"; fi
  done
else
  echo "== help file: chmcmd or chmls missing (Debian package fp-utils), not checked"
fi

[ $fail -eq 0 ] && echo "desktop files and help: OK"
exit $fail
