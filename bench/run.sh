#!/usr/bin/env bash
# Whole-command comparison of `quorvex --summary` with du, ncdu and gdu on the same trees, warm cache.
# Prints hyperfine's table (medians), wall-time ratios against du, and peak RSS from GNU time.
# Usage: bench/run.sh [TREE...]   (default: /usr and a generated tree of 200,000 files in 20,000 dirs)
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=build/release/quorvex
GEN=${QUORVEX_BENCH_DIR:-/tmp}/quorvex-bench-files

if [ ! -f "$GEN/.complete" ]; then
    echo "Generating $GEN (20,000 directories, 200,000 files)..." >&2
    build/release/bench/bench_ScanBench --benchmark_filter=BM_ScanTree --benchmark_min_time=0.01 >/dev/null
fi

trees=("$@")
[ ${#trees[@]} -eq 0 ] && trees=(/usr "$GEN")

for tree in "${trees[@]}"; do
    echo "== $tree"
    json=$(mktemp)
    hyperfine --warmup 3 --runs 10 --export-json "$json" --style basic \
        -n quorvex "$BIN --summary '$tree'" \
        -n du "du -sbx --apparent-size '$tree'" \
        -n ncdu "ncdu -x -o /dev/null '$tree'" \
        -n gdu "gdu -n -p -o /dev/null '$tree'" >/dev/null
    python3 - "$json" <<'PY'
import json, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
du = res["du"]["median"]
for name in ("quorvex", "du", "ncdu", "gdu"):
    m = res[name]["median"]
    print(f"  {name:8s} median {m*1000:8.1f} ms   x du {m/du:5.2f}")
PY
    for cmd in "$BIN --summary $tree" "du -sbx --apparent-size $tree" "ncdu -x -o /dev/null $tree" "gdu -n -p -o /dev/null $tree"; do
        # GNU time writes to its own file, so the measured command's stderr can be discarded.
        /usr/bin/time -f "%M" -o "$json" $cmd >/dev/null 2>&1 || true
        rss=$(tail -1 "$json")
        printf "  %-8s peak RSS %8s KiB\n" "${cmd%% *}" "$rss"
    done
    rm -f "$json"
done
echo "== opening scan files"
bash bench/import.sh /usr
echo "== in-process (Google Benchmark)"
build/release/bench/bench_ScanBench
