#!/usr/bin/env bash
# Whole-command comparison of `quorvex --summary` with du, ncdu and gdu on the same trees: warm cache,
# and cold (the page cache dropped before every run) when run as root. Prints medians, ratios against
# du and peak RSS, then quorvex alone with each worker count of JOBS, warm and cold.
# Usage: bench/run.sh [TREE...]   (default: /usr and a generated tree of 500,000 files in 50,000 dirs)
# Environment: RUNS (warm runs, 10), COLD_RUNS (5), JOBS (worker counts to compare, "1 2 4 8 16";
# empty skips that table), QUORVEX_BENCH_DIR (where the generated tree lives, /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=build/release/quorvex
GEN=${QUORVEX_BENCH_DIR:-/tmp}/quorvex-bench-500k
RUNS=${RUNS:-10}
COLD_RUNS=${COLD_RUNS:-5}
JOBS=${JOBS-1 2 4 8 16}

if [ ! -f "$GEN/.complete" ]; then
    echo "Generating $GEN (50,000 directories, 500,000 files)..." >&2
    build/release/bench/bench_ScanBench --benchmark_filter=BM_GenerateTree >/dev/null
fi

trees=("$@")
[ ${#trees[@]} -eq 0 ] && trees=(/usr "$GEN")

cold=no
if [ "$(id -u)" -eq 0 ] && sync && echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; then
    cold=yes
else
    echo "Not root (or no /proc/sys/vm/drop_caches): warm figures only" >&2
fi
DROP='sync; echo 3 > /proc/sys/vm/drop_caches'

# hyperfine over "name=command" pairs; prints each median and its ratio to the first pair's.
compare() {
    local label=$1 runs=$2 prepare=$3
    shift 3
    local json args=()
    json=$(mktemp)
    for pair in "$@"; do
        args+=(-n "${pair%%=*}" "${pair#*=}")
    done
    if [ -n "$prepare" ]; then
        hyperfine --runs "$runs" --prepare "$prepare" --export-json "$json" --style none "${args[@]}" >/dev/null
    else
        hyperfine --warmup 3 --runs "$runs" --export-json "$json" --style none "${args[@]}" >/dev/null
    fi
    python3 - "$json" "$label" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
base = results[0]["median"]
print(f"  {sys.argv[2]} (median of {len(results[0]['times'])} runs; ratio to {results[0]['command']})")
for r in results:
    m = r["median"]
    print(f"    {r['command']:12s} {m*1000:9.1f} ms   x {m/base:5.2f}")
PY
    rm -f "$json"
}

peak_rss() {
    local out
    out=$(mktemp)
    for pair in "$@"; do
        # GNU time writes to its own file, so the measured command's stderr can be discarded.
        /usr/bin/time -f "%M" -o "$out" bash -c "${pair#*=}" >/dev/null 2>&1 || true
        printf "    %-12s peak RSS %8s KiB\n" "${pair%%=*}" "$(tail -1 "$out")"
    done
    rm -f "$out"
}

for tree in "${trees[@]}"; do
    echo "== $tree ($(nproc) cores)"
    peers=("du=du -sbx --apparent-size '$tree'"
           "quorvex=$BIN --summary '$tree'"
           "ncdu=ncdu -x -o /dev/null '$tree'"
           "gdu=gdu -x -n -p -o /dev/null '$tree'")
    compare "warm" "$RUNS" "" "${peers[@]}"
    [ "$cold" = yes ] && compare "cold" "$COLD_RUNS" "$DROP" "${peers[@]}"
    peak_rss "${peers[@]}"
    if [ -n "$JOBS" ]; then
        workers=()
        for j in $JOBS; do
            workers+=("jobs $j=$BIN --summary --jobs $j '$tree'")
        done
        compare "workers, warm" "$RUNS" "" "${workers[@]}"
        [ "$cold" = yes ] && compare "workers, cold" "$COLD_RUNS" "$DROP" "${workers[@]}"
    fi
done
echo "== opening scan files"
bash bench/import.sh /usr
echo "== in-process (Google Benchmark)"
build/release/bench/bench_ScanBench --benchmark_filter='BM_ScanTree|BM_BytesPerDirectoryNode'
