#!/usr/bin/env bash
# Opening a scan file against scanning: `quorvex --summary` of ncdu's export of a tree versus of the
# tree itself (warm cache), peak RSS of both, and the ncdu export of the tree (a scan, then the writing
# of every directory's records) against the scan alone, and the start-up of the
# program alone (`--version`), which bounds how much faster than a scan reading a file can be.
# Usage: bench/import.sh [TREE]   (default: /usr)
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${QUORVEX_BIN:-build/release/quorvex}
tree=${1:-/usr}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ncdu -x -0 -o "$work/tree.json" "$tree" >/dev/null 2>&1
echo "== $tree: ncdu -o file of $(stat -c %s "$work/tree.json") bytes"
"$BIN" --summary "$work/tree.json" | grep -E '^(size|files|directories):' | paste -sd' '
"$BIN" --summary "$tree" | grep -E '^(size|files|directories):' | paste -sd' '
hyperfine --warmup 3 --runs 10 --export-json "$work/times.json" --style basic \
    -n scan "$BIN --summary '$tree'" \
    -n import "$BIN --summary '$work/tree.json'" \
    -n export "$BIN --export ncdu -o '$work/ours.json' '$tree'" \
    -n reexport "$BIN --export ncdu -o '$work/again.json' '$work/tree.json'" \
    -n startup "$BIN --version" >/dev/null
python3 - "$work/times.json" <<'PY'
import json, sys
res = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
print(f"  scan      median {res['scan']*1000:8.1f} ms")
print(f"  import    median {res['import']*1000:8.1f} ms   scan / import = {res['scan']/res['import']:.2f}")
print(f"  export    median {res['export']*1000:8.1f} ms   (scan + second walk; walk alone ~{(res['export']-res['scan'])*1000:.0f} ms)")
print(f"  reexport  median {res['reexport']*1000:8.1f} ms   (import + export from the packed file lists)")
print(f"  startup   median {res['startup']*1000:8.1f} ms   (--version; without it scan / import = "
      f"{(res['scan']-res['startup'])/(res['import']-res['startup']):.2f})")
PY
for name in scan import; do
    target=$tree
    [ "$name" = import ] && target=$work/tree.json
    /usr/bin/time -f "%M" -o "$work/rss" "$BIN" --summary "$target" >/dev/null 2>&1
    printf "  %-8s peak RSS %8s KiB\n" "$name" "$(tail -1 "$work/rss")"
done
/usr/bin/time -f "%M" -o "$work/rss" "$BIN" --version >/dev/null 2>&1
printf "  %-8s peak RSS %8s KiB (the program without a tree)\n" "baseline" "$(tail -1 "$work/rss")"
