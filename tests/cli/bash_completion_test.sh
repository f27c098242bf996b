#!/usr/bin/env bash
# Runs tonbrook-cli's bash completion as bash would on partial command lines and checks the
# words it offers.
# Usage: bash_completion_test.sh <completion script> <cases file>
set -uo pipefail
script=$1
cases=$(realpath "$2")
source /usr/share/bash-completion/bash_completion || { echo "no bash-completion"; exit 1; }
source "$script"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir clips
touch clip.mp4 CLIP2.MKV clip.txt

# Completes the line as if the cursor were at its end; prints the offered words sorted.
complete_line() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    read -r -a COMP_WORDS <<<"$COMP_LINE"
    if [[ $COMP_LINE == *' ' ]]; then
        COMP_WORDS+=("")
    fi
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tonbrook_cli tonbrook-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '
}

status=0
while IFS='|' read -r line expected; do
    [[ $line == '#'* ]] && continue
    got=$(complete_line "$line")
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line' offered '$got', expected '$expected'"
        status=1
    else
        echo "ok: '$line' -> '$got'"
    fi
done <"$cases"
exit "$status"
