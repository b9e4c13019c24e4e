#!/usr/bin/env bash
# Checks that every include points down the layers, never up or sideways:
#   text  <  system  <  engine  <  gui  <  app
#                        engine  <  cli   (the command line, without Qt)
# Each folder may include its own layer and the layers its library links
# (all the ones below it); Qt only from the GUI up, POSIX only in system/
# (and in tests, and in the record fuzzer, which stands between the code
# under test and the system's renames).
# Inside the engine its folders keep an order of their own, lowest first:
#   files  <  record  <  rename  <  settings  <  history
# (the record of a run lies below the runs that write it, the history above
# both); a header at the engine's top, such as Design.h, is below them all.
# Run from anywhere; prints each offending line and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# Longest matching prefix wins. The second column lists the folders whose
# headers may be included; "qt" and "posix" allow those system headers.
rules='
text/            text
system/          text system posix
engine/          text system engine
gui/             text system engine gui qt
app/             text system engine gui app qt
cli/             text system engine cli
tests/text/      text tests
tests/system/    text system tests posix
tests/engine/    text system engine tests posix
tests/gui/       text system engine gui tests qt posix
tests/cli/       text system engine cli tests posix
tests/           tests posix
bench/core_      text system engine posix
bench/           posix
bench/gui_       text system engine gui qt posix
fuzz/            text system engine
fuzz/fuzz_records.cpp text system engine posix
docs/            text system engine gui qt
'

allowed_for() {
  local file=$1 best="" best_len=0 prefix rest
  while read -r prefix rest; do
    [ -z "$prefix" ] && continue
    if [[ $file == "$prefix"* ]] && [ ${#prefix} -gt $best_len ]; then
      best=$rest
      best_len=${#prefix}
    fi
  done <<<"$rules"
  echo "$best"
}

engine_order="files record rename settings history"
engine_rank() {
  local i=1 folder
  for folder in $engine_order; do
    [ "$folder" = "$1" ] && { echo $i; return; }
    i=$((i + 1))
  done
  echo 0  # the engine's own top: below every folder
}

posix_headers='unistd\.h|fcntl\.h|dirent\.h|signal\.h|sys/[a-z_]+\.h|pwd\.h|poll\.h|termios\.h|spawn\.h'
bad=0
while IFS= read -r file; do
  allowed=" $(allowed_for "$file") "
  if [ "$allowed" = "  " ]; then
    echo "$file: no layer rule for this folder" >&2
    bad=1
    continue
  fi
  while IFS= read -r line; do
    [ -z "$line" ] && continue
    number=${line%%:*}
    text=${line#*:}
    if [[ $text =~ \#include\ \"([a-z]+)/ ]]; then
      layer=${BASH_REMATCH[1]}
      if [[ $layer == engine && $file == engine/* ]]; then
        [[ $file =~ ^engine/([a-z]+)/ ]] && own=${BASH_REMATCH[1]} || own=""
        [[ $text =~ \#include\ \"engine/([a-zA-Z]+)/ ]] && theirs=${BASH_REMATCH[1]} || theirs=""
        if [ -n "$own" ] && [ "$(engine_rank "$theirs")" -le "$(engine_rank "$own")" ]; then continue; fi
        if [ -z "$own" ] && [ -z "$theirs" ]; then continue; fi
        echo "$file:$number: ${text} (engine/${own:-} may include only engine folders at or below it: $engine_order)" >&2
        bad=1
        continue
      fi
      [[ $allowed == *" $layer "* ]] && continue
    elif [[ $text =~ \#include\ \<Q ]]; then
      [[ $allowed == *" qt "* ]] && continue
    elif [[ $text =~ \#include\ \<($posix_headers)\> ]]; then
      [[ $allowed == *" posix "* ]] && continue
    else
      continue
    fi
    echo "$file:$number: ${text} (this folder may include:${allowed% })" >&2
    bad=1
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')

if [ $bad -ne 0 ]; then
  echo "check-layers: an include points up or sideways (see above)" >&2
  exit 1
fi
echo "check-layers: every include points down the layers"
