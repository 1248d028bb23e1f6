#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine: installs what is missing, configures, builds, runs.
#   ./build.sh run [ARGS...]   build the release binary and run quorvex with ARGS
#   ./build.sh test            build and run the whole test suite (and the threading tests under tsan)
#   ./build.sh bench           build the release binary and run the benchmarks in bench/
#   ./build.sh install [PREFIX]  build the release binary and install it (default prefix /usr/local)
#   ./build.sh package         build the release tree and make the Debian package build/release/quorvex_*.deb
# The build's progress and any compiler error go to stderr, so that `run`'s own output stays clean.
set -euo pipefail
cd "$(dirname "$0")"

# What building and running the program needs; the other lists are added only by the commands
# that use them.
PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev liblog4cplus-dev libsimpleini-dev libicu-dev libglib2.0-dev libpng-dev
          rapidjson-dev # scan files in the JSON interchange format, read as a stream
          zlib1g-dev # the scan history's files are gzip-compressed
          gettext # the catalogues are compiled at build time
          adwaita-icon-theme # folder, drive and file-type icons where the session names no theme
          qt6-translations-l10n # Qt's own texts (standard buttons, the file dialog) in the user's language
          scdoc librsvg2-bin) # the manual page and the icon renders are made at build time
# The packaging tests validate the installed desktop entry, metainfo and manual page and drive the
# completion; the peers' readers check our scan files, and we read theirs. The window tests run on a
# virtual display with a private session bus for the file-manager tests; locales makes the test
# locales.
TEST_PACKAGES=(libgtest-dev libgmock-dev locales xvfb xauth dbus-daemon
               desktop-file-utils appstream man-db bash-completion ncdu gdu)
# dpkg-shlibdeps works out the package's dependencies; lintian checks the package.
PACKAGE_PACKAGES=(dpkg-dev file lintian)
BENCH_PACKAGES=(libbenchmark-dev hyperfine ncdu gdu time)

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

# Two builds of one commit give the same bytes. rcc compiles the resource files' times in, which the
# program never reads: one fixed time, so that an output an incremental build keeps equals a fresh
# one (rcc prefers SOURCE_DATE_EPOCH, so that is left to the packaging step).
export QT_RCC_SOURCE_DATE_OVERRIDE=1
package_date=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
unset SOURCE_DATE_EPOCH

build() {
    local preset=$1; shift
    if [ ! -f "build/$preset/build.ninja" ]; then
        echo "Configuring the $preset build in build/$preset (a first build takes several minutes)" >&2
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset" "$@" >&2
}

jobs() { nproc 2>/dev/null || echo 2; }

# Size formatting is tested in a locale whose decimal separator is more than one byte; the German
# interface (LANG=de_DE.UTF-8) needs its locale for the C library's messages. They are enabled in
# /etc/locale.gen and made by locale-gen, as the system makes its own, so a later locale-gen keeps them.
ensure_test_locales() {
    local name missing=()
    for name in ps_AF de_DE; do
        # Generated and enabled: a locale made behind locale-gen's back would go at its next run.
        locale -a 2>/dev/null | grep -qi "^${name}\.utf-\?8$" && grep -q "^$name\.UTF-8 UTF-8" /etc/locale.gen ||
            missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Locales missing: ${missing[*]/%/.UTF-8}; their tests are skipped. Enable them in /etc/locale.gen" \
             "and run sudo locale-gen" >&2
        return 0
    fi
    for name in "${missing[@]}"; do
        if grep -q "^# *$name\.UTF-8 UTF-8" /etc/locale.gen; then
            sed -i "s/^# *\($name\.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        elif ! grep -q "^$name\.UTF-8 UTF-8" /etc/locale.gen; then
            echo "$name.UTF-8 UTF-8" >>/etc/locale.gen
        fi
    done
    echo "Making the locales ${missing[*]/%/.UTF-8} (locale-gen)" >&2
    locale-gen >/dev/null
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    run)
        ensure_packages "${PACKAGES[@]}"
        build release --target quorvex
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
        build release --target quorvex
        cmake --install build/release ${1:+--prefix "$1"}
        ;;
    package)
        ensure_packages "${PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
        build release --target quorvex # and, through it, the window program and the data files
        rm -f build/release/quorvex_*.deb
        # The package's members are dated by the last commit (or the SOURCE_DATE_EPOCH given).
        (cd build/release && SOURCE_DATE_EPOCH=$package_date cpack -G DEB >&2)
        # A package a distribution would take: no error and no warning.
        lintian --fail-on error,warning build/release/quorvex_*.deb
        ls build/release/quorvex_*.deb
        ;;
    *)
        echo "usage: $0 run [ARGS...] | test | bench | install [PREFIX] | package" >&2
        exit 2
        ;;
esac
