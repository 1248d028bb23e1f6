#!/bin/sh
# Writes CHANGELOG.md's released versions as the Debian change log a package carries, each entry
# signed by MAINTAINER on its release day; "Unreleased" waits for its version.
#   debian-changelog.sh CHANGELOG.md "NAME <ADDRESS>" > changelog
set -eu
awk -v maintainer="$2" '
function flush_item() {
    if (item == "") return
    line = "  *"; width = 3
    n = split(item, words, " ")
    for (i = 1; i <= n; i++) {
        if (width + 1 + length(words[i]) > 78) { print line; line = "   "; width = 3 }
        line = line " " words[i]; width += 1 + length(words[i])
    }
    print line
    item = ""
}
function close_entry() {
    flush_item()
    if (!open) return
    cmd = "date -u -R -d " day
    cmd | getline stamp
    close(cmd)
    print ""
    print " -- " maintainer "  " stamp
    open = 0
}
/^## [0-9]/ {
    close_entry()
    if (printed) print ""
    version = $2; day = $3; gsub(/[()]/, "", day)
    print "quorvex (" version ") unstable; urgency=medium"
    print ""
    open = 1; printed = 1
    next
}
/^## / { close_entry(); next }
open && /^- / { flush_item(); item = substr($0, 3); next }
open && /^  +[^ ]/ { sub(/^ +/, ""); item = item " " $0; next }
END { close_entry() }
' "$1"
