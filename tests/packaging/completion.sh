#!/usr/bin/env bash
# Drives the bash completion the way bash does on Tab and checks what it offers.
#   completion.sh COMPLETION_FILE
set -uo pipefail
completion=$1
library=/usr/share/bash-completion/bash_completion
[ -f "$library" ] || { echo "SKIP: bash-completion is not installed ($library)"; exit 77; }
# shellcheck disable=SC1090
source "$library"
source "$completion"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/tree/alpha dir" "$scratch/tree/beta"
: >"$scratch/tree/afile.txt"
cd "$scratch/tree"

failures=0
# complete LINE: the sorted, space-joined words offered for the last word of LINE.
complete_line() {
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    read -r -a COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quorvex quorvex "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
expect() { # LINE EXPECTED
    local got
    got=$(complete_line "$1")
    [ "$got" = "$2" ] || { echo "FAIL: \"$1\" offers \"$got\", expected \"$2\"" >&2; failures=$((failures + 1)); }
}

expect "quorvex --" "--by-age --by-type --compare --export --help --largest --summary --treemap --version"
expect "quorvex --treemap map.svg --s" "--size"
expect "quorvex --treemap a" "alpha dir"
expect "quorvex --export " "1 2 3 4 5 6 csv html ncdu txt xml xml2"
expect "quorvex --export x" "xml xml2"
expect "quorvex --export csv --r" "--rounding"
expect "quorvex --jobs 2 --export csv --o" "--output"
expect "quorvex --summary a --a" "--allocated"
expect "quorvex --by-age a --j" "--jobs --json"
expect "quorvex --largest " ""
expect "quorvex --export csv --rounding " "0 1 2"
expect "quorvex --export csv --output a" "afile.txt alpha dir"
# The paths to scan are directories only.
expect "quorvex a" "alpha dir"
expect "quorvex --summary beta " "alpha dir beta"
expect "quorvex --version " ""

[ "$failures" -eq 0 ] || exit 1
echo "completion offers what it should"
