#!/usr/bin/env bash
# Checks what the package installs beside quor-rename: the manual page
# renders without a warning, and it and the bash completion know every
# option that --help lists. Usage: check-cli.sh [path of quor-rename]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/quor-rename}

fail=0
problem() { echo "check-cli: $*" >&2; fail=1; }

echo "== quor-rename: manual page and bash completion"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l cli/quor-rename.1 2>&1 >/dev/null) ||
  problem "man cannot render cli/quor-rename.1"
[ -z "$warnings" ] || problem "cli/quor-rename.1: $warnings"
bash -n cli/quor-rename.bash || problem "cli/quor-rename.bash is no valid bash"

options=$("$exe" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
[ -n "$options" ] || problem "$exe --help lists no option"
for option in $options; do
  grep -qF -- "${option//-/\\-}" cli/quor-rename.1 || problem "the manual page does not mention $option"
  grep -qE -- "(^|[ \"])$option( |\"|$)" cli/quor-rename.bash || problem "the completion does not offer $option"
done

# The completion as bash runs it, where bash-completion is installed.
if [ -f /usr/share/bash-completion/bash_completion ]; then
  complete_line() {
    bash -c 'source /usr/share/bash-completion/bash_completion; source cli/quor-rename.bash
      COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _quor_rename 2>/dev/null; echo "${COMPREPLY[*]}"' _ "$@"
  }
  [ "$(complete_line quor-rename --dry)" = "--dry-run" ] || problem "completing --dry gives: $(complete_line quor-rename --dry)"
  [ "$(complete_line quor-rename -o DeleteK)" = "DeleteKakko=" ] || problem "completing -o DeleteK"
  [ "$(complete_line quor-rename -o LowerExt=t)" = "true" ] || problem "completing -o LowerExt=t"
fi

[ $fail -eq 0 ] && echo "check-cli: the manual page and the completion match --help"
exit $fail
