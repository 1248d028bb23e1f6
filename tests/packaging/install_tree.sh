#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the tree a user (or the Debian package) gets:
# every file in its place, the program running from there and finding its data in share/quorvex.
#   install_tree.sh BUILD_DIR SOURCE_DIR [german]
# With "german", checks the German catalogue instead; exit 77 (skipped) while the source has none.
set -euo pipefail
build=$1
source=$2
mode=${3:-tree}
id=org.quorvex.Quorvex

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# The program must never read or write the user's own settings here.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME"

if [ "$mode" = german ] && [ ! -f "$source/po/de.po" ]; then
    echo "SKIP: no po/de.po in $source yet, so no German catalogue to install"
    exit 77
fi

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || {
    cat "$scratch/install.log" >&2
    exit 1
}
quorvex=$prefix/bin/quorvex
data=$prefix/share/quorvex
# Installed into /usr, the program shares bin/ with the C library's locale program.
printf '#!/bin/sh\n' >"$prefix/bin/locale"
chmod +x "$prefix/bin/locale"

if [ "$mode" = german ]; then
    [ -f "$data/locale/de/LC_MESSAGES/default.mo" ] || fail "the German catalogue is not installed"
    english=$(LANG=C "$quorvex" --help)
    german=$(LANG=de_DE.UTF-8 "$quorvex" --help)
    [ "$english" != "$german" ] || fail "the installed program shows --help in English under LANG=de_DE.UTF-8"
    # The window program, in libexec, finds the same catalogue.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANG=de_DE.UTF-8 "$quorvex" /tmp 2>&1 </dev/null) || true
    [[ $out == *"Anzeige"* ]] || fail "the installed window program speaks no German: $out"
    exit $((failures > 0))
fi

files=(bin/quorvex libexec/quorvex/quorvex-window share/applications/$id.desktop
       share/icons/hicolor/scalable/apps/$id.svg share/metainfo/$id.metainfo.xml share/man/man1/quorvex.1.gz
       share/bash-completion/completions/quorvex share/quorvex/log.cfg.example share/doc/quorvex/copyright
       share/doc/quorvex/changelog.gz)
for size in 16 22 24 32 48 64 128 256; do
    png=share/icons/hicolor/${size}x$size/apps/$id.png
    files+=("$png")
    # The PNG header holds the width and the height as 4-byte big-endian numbers at offset 16.
    [ -f "$prefix/$png" ] || continue
    read -r width height < <(od -An -tu1 -j16 -N8 "$prefix/$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "$width $height" = "$size $size" ] || fail "$png is ${width}x$height"
done
for f in "${files[@]}"; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -x "$quorvex" ] || { fail "bin/quorvex is not executable"; exit 1; }

# The program runs from the installed tree.
version=$("$quorvex" --version) || fail "--version exits with $?"
[[ $version =~ ^quorvex\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version says \"$version\""
"$quorvex" --help | grep -q -- '--summary' || fail "--help shows no --summary"
grep -q "<release version=\"${version#quorvex }\"" "$prefix/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo has no release entry for ${version#quorvex }"

# The command starts the window program installed in libexec (which, without a display, says so), and
# says why when there is none; the command itself loads no widget library.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$quorvex" /tmp 2>&1 </dev/null) || status=$?
[ "$status" -eq 2 ] && [[ $out == *"no graphical display"* ]] ||
    fail "the installed command did not start the installed window program (exit $status): $out"
mkdir "$scratch/alone"
cp "$quorvex" "$scratch/alone/quorvex"
status=0
out=$("$scratch/alone/quorvex" /tmp 2>&1 </dev/null) || status=$?
[ "$status" -eq 127 ] && [[ $out == *"cannot start the window $scratch/alone/quorvex-window: No such file"* ]] ||
    fail "without the window program: exit $status, \"$out\""
! ldd "$quorvex" | grep -q 'libQt6Widgets\|libQt6Gui' || fail "the command links the widget libraries"

# The user's log.cfg is read (the file appender creates its file as soon as the configuration is
# read); one in the data folder is not, that folder belongs to the package.
mkdir -p "$XDG_CONFIG_HOME/quorvex"
printf '%s\n' log4cplus.rootLogger=INFO,File log4cplus.appender.File=log4cplus::FileAppender >"$data/log.cfg"
cp "$data/log.cfg" "$XDG_CONFIG_HOME/quorvex/log.cfg"
echo "log4cplus.appender.File.File=$scratch/data.log" >>"$data/log.cfg"
echo "log4cplus.appender.File.File=$scratch/user.log" >>"$XDG_CONFIG_HOME/quorvex/log.cfg"
"$quorvex" --version >/dev/null
[ -f "$scratch/user.log" ] && [ ! -e "$scratch/data.log" ] ||
    fail "the installed program did not read \$XDG_CONFIG_HOME/quorvex/log.cfg alone"
# The example, copied as its first line says, writes to the user's state folder whatever the working
# folder, and adds to the log of earlier starts: a start that truncated it would also leave a window
# still running to write after a run of NUL bytes.
cp "$data/log.cfg.example" "$XDG_CONFIG_HOME/quorvex/log.cfg"
(cd / && "$quorvex" --version >/dev/null)
state=$HOME/.local/state/quorvex/quorvex.log
[ -f "$state" ] || fail "the example configuration did not make $state"
echo "an earlier start" >"$state"
(cd "$scratch" && "$quorvex" --version >/dev/null)
[ "$(head -n 1 "$state")" = "an earlier start" ] || fail "a start with the example configuration truncated the log"

# The desktop entry, the icon and the metainfo name one another by the same id.
desktop=$prefix/share/applications/$id.desktop
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry does not name the icon $id"
grep -qx 'Exec=quorvex %f' "$desktop" || fail "the desktop entry does not start quorvex %f"
# Docks group the window under its entry by the window's class, which is the application's name.
grep -qx 'StartupWMClass=Quorvex' "$desktop" || fail "the desktop entry does not name the window class Quorvex"
main=$(grep '^Categories=' "$desktop" | tr ';=' '\n\n' | grep -cx 'AudioVideo\|Audio\|Video\|Development\|Education\|Game\|Graphics\|Network\|Office\|Science\|Settings\|System\|Utility')
[ "$main" -eq 1 ] || fail "the desktop entry has $main main categories"
! grep -rIl 'example\.\(org\|com\|net\)' "$prefix/share" || fail "a placeholder address is installed"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$prefix/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo does not launch $id.desktop"
out=$(desktop-file-validate --no-hints "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net --strict "$prefix/share/metainfo/$id.metainfo.xml" 2>&1) ||
    fail "appstreamcli validate: $out"

# The manual renders without warnings; the completion is valid bash and knows the formats.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/quorvex.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l warns: $warnings"
bash -n "$prefix/share/bash-completion/completions/quorvex" || fail "the completion is not valid bash"
grep -q "csv txt html xml xml2" "$prefix/share/bash-completion/completions/quorvex" ||
    fail "the completion does not offer the export formats"

[ "$failures" -eq 0 ] || exit 1
echo "installed tree in order"
