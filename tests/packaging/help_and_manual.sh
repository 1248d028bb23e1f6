#!/usr/bin/env bash
# --help, the manual page and the bash completion must know the same long options: an option added
# to one and forgotten in another fails here.
#   help_and_manual.sh QUORVEX MANUAL_PAGE COMPLETION
set -euo pipefail
quorvex=$1
manual=$2
completion=$3

long_options() { grep -o -- '--[a-z][a-z0-9-]*' | sort -u; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
XDG_CONFIG_HOME=$scratch "$quorvex" --help | long_options >"$scratch/help"
# As a reader sees it: rendered, in plain ASCII so that hyphens stay hyphens.
LC_ALL=C MANWIDTH=200 man -l "$manual" 2>/dev/null | long_options >"$scratch/manual"
# What the completion offers: the words of its option lists and the options it completes values for.
{
    sed -n "s/^ *\(local \)\?options='\([^']*\)'.*/\2/p" "$completion" | tr ' ' '\n'
    sed -n 's/^ *\(--[a-z][a-z0-9 |-]*\))$/\1/p' "$completion" | tr '|' '\n'
} | long_options >"$scratch/completion"

[ -s "$scratch/help" ] || { echo "FAIL: --help names no options" >&2; exit 1; }
status=0
compare() { # NAME FILE: both ways against --help
    local missing extra
    missing=$(comm -23 "$scratch/help" "$2" | tr '\n' ' ')
    extra=$(comm -13 "$scratch/help" "$2" | tr '\n' ' ')
    [ -z "$missing" ] || { echo "FAIL: in --help but not in the $1: $missing" >&2; status=1; }
    [ -z "$extra" ] || { echo "FAIL: in the $1 but not in --help: $extra" >&2; status=1; }
}
compare manual "$scratch/manual"
compare completion "$scratch/completion"
[ "$status" -ne 0 ] || echo "--help, manual and completion agree on $(wc -l <"$scratch/help") options"
exit "$status"
