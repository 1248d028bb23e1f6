#!/usr/bin/env bash
# The folders of src/ stand in layers: a folder may include from the folders below it, never from one
# that (through others) includes it back. Fails naming the folders of each cycle.
#   layers.sh SOURCE_DIR
set -uo pipefail
src=$1/src

edges=$(
    for dir in "$src"/*/; do
        folder=$(basename "$dir")
        grep -rhoE --include='*.h' --include='*.cpp' --include='*.h.in' '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"/]+/' "$dir" |
            sed -E 's/.*"([^"/]+)\/$/\1/' | sort -u |
            while read -r used; do
                [ "$used" != "$folder" ] && [ -d "$src/$used" ] && echo "$folder $used"
            done
    done
)
[ -n "$edges" ] || { echo "no includes between the folders of $src"; exit 1; }

# tsort orders the folders and names the members of every loop it has to break.
if ! loops=$(tsort <<<"$edges" 2>&1 >/dev/null) || [ -n "$loops" ]; then
    members=$(echo "$loops" | sed -n 's/^tsort: \([^:]*\)$/\1/p' | sort -u)
    echo "include cycle between the folders of src/:" "$(tr "\n" " " <<<"$members")"
    echo "includes between them:"
    for from in $members; do
        for to in $members; do
            [ "$from" != "$to" ] || continue
            grep -rlE --include='*.h' --include='*.cpp' "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$to/" "$src/$from" |
                sed "s|^$src/|  src/|; s|\$| -> $to|"
        done
    done | sort -u
    exit 1
fi
echo "folders of src/, each above the ones it includes:"
tsort <<<"$edges" | tr '\n' ' '
echo
