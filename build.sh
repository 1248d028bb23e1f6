#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine: installs what is missing, configures, builds, runs.
#   ./build.sh run [ARGS...]   build the release binary and run quorvex with ARGS
#   ./build.sh test            build and run the whole test suite (and the threading tests under tsan)
#   ./build.sh bench           build the release binary and run the benchmarks in bench/
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev liblog4cplus-dev libsimpleini-dev libicu-dev libglib2.0-dev
          rapidjson-dev # scan files in the JSON interchange format, read as a stream
          gettext locales libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth
          dbus-daemon # a private session bus for the file-manager tests
          adwaita-icon-theme) # folder, drive and file-type icons where the session names no theme
BENCH_PACKAGES=(hyperfine ncdu gdu time)
# The peers whose scan files the tests read and whose readers check ours.
TEST_PACKAGES=(ncdu gdu)

ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}" >&2
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with: sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}

build() {
    local preset=$1; shift
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "$@"
}

jobs() { nproc 2>/dev/null || echo 2; }

# Size formatting is tested in a locale whose decimal separator is more than one byte.
ensure_test_locales() {
    locale -a 2>/dev/null | grep -qi '^ps_AF\.utf-\?8$' && return 0
    if [ "$(id -u)" -eq 0 ]; then
        localedef -i ps_AF -f UTF-8 ps_AF.UTF-8
    else
        echo "Locale ps_AF.UTF-8 missing (sudo localedef -i ps_AF -f UTF-8 ps_AF.UTF-8): its test is skipped" >&2
    fi
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    run)
        ensure_packages "${PACKAGES[@]}"
        build release --target quorvex >/dev/null
        exec build/release/quorvex "$@"
        ;;
    test)
        ensure_packages "${PACKAGES[@]}" "${TEST_PACKAGES[@]}"
        ensure_test_locales
        build debug
        ctest --preset debug -j "$(jobs)"
        # Threading tests again under ThreadSanitizer: races show up here, not in the plain run.
        build tsan --target test_model test_scan test_ui
        ctest --preset tsan -j "$(jobs)"
        ;;
    bench)
        ensure_packages "${PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
        build release
        exec bash bench/run.sh "$@"
        ;;
    *)
        echo "usage: $0 run [ARGS...] | test | bench" >&2
        exit 2
        ;;
esac
