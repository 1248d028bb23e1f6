#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine: installs what is missing, configures, builds, runs.
#   ./build.sh run [ARGS...]   build the release binary and run quorvex with ARGS
#   ./build.sh test            build and run the whole test suite (and the threading tests under tsan)
#   ./build.sh bench           build the release binary and run the benchmarks in bench/
#   ./build.sh install [PREFIX]  build the release binary and install it (default prefix /usr/local)
#   ./build.sh package         build the release tree and make the Debian package build/release/quorvex_*.deb
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev liblog4cplus-dev libsimpleini-dev libicu-dev libglib2.0-dev
          rapidjson-dev # scan files in the JSON interchange format, read as a stream
          zlib1g-dev # the scan history's files are gzip-compressed
          gettext locales libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth
          dbus-daemon # a private session bus for the file-manager tests
          adwaita-icon-theme # folder, drive and file-type icons where the session names no theme
          qt6-translations-l10n # Qt's own texts (standard buttons, the file dialog) in the user's language
          scdoc librsvg2-bin) # the manual page and the icon renders are made at build time
# The packaging tests validate the installed desktop entry, metainfo and manual page and drive the
# completion; the peers' readers check our scan files, and we read theirs.
TEST_PACKAGES=(desktop-file-utils appstream man-db bash-completion ncdu gdu)
PACKAGE_PACKAGES=(dpkg-dev file) # dpkg-shlibdeps works out the package's dependencies
BENCH_PACKAGES=(hyperfine ncdu gdu time)

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

# Size formatting is tested in a locale whose decimal separator is more than one byte; the German
# interface (LANG=de_DE.UTF-8) needs its locale for the C library's messages.
ensure_test_locales() {
    local name
    for name in ps_AF de_DE; do
        locale -a 2>/dev/null | grep -qi "^${name}\.utf-\?8$" && continue
        if [ "$(id -u)" -eq 0 ]; then
            localedef -i "$name" -f UTF-8 "$name.UTF-8"
        else
            echo "Locale $name.UTF-8 missing (sudo localedef -i $name -f UTF-8 $name.UTF-8): its tests are skipped" >&2
        fi
    done
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    run)
        ensure_packages "${PACKAGES[@]}"
        ensure_test_locales
        build release --target quorvex >/dev/null
        exec build/release/quorvex "$@"
        ;;
    test)
        ensure_packages "${PACKAGES[@]}" "${TEST_PACKAGES[@]}"
        ensure_test_locales
        build debug
        ctest --preset debug -j "$(jobs)"
        # Threading tests again under ThreadSanitizer: races show up here, not in the plain run.
        build tsan --target threads_tests
        ctest --preset tsan -j "$(jobs)"
        ;;
    bench)
        ensure_packages "${PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
        build release
        exec bash bench/run.sh "$@"
        ;;
    install)
        ensure_packages "${PACKAGES[@]}"
        build release --target quorvex >/dev/null
        cmake --install build/release ${1:+--prefix "$1"}
        ;;
    package)
        ensure_packages "${PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
        build release
        (cd build/release && cpack -G DEB)
        ;;
    *)
        echo "usage: $0 run [ARGS...] | test | bench | install [PREFIX] | package" >&2
        exit 2
        ;;
esac
