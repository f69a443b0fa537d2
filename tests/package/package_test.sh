#!/usr/bin/env bash
# package_test.sh SOURCE-FOLDER BUILD-FOLDER VERSION
#
# Builds the package from the build folder with tools/package.sh, checks its
# control fields, lintian's verdict and the metadata, unpacks it with dpkg-deb
# into a temporary root and, from there: tasmero-setup prepares a new folder
# from the packaged templates and leaves what exists alone; the launcher
# prepares ~/Tasmero and starts the program up to its login window (under
# Xvfb, so that the window can be waited for), and starts a folder that holds
# only a backup as it is.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
source=$1
build=$2
version=$3

work=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

deb=$("$source/tools/package.sh" "$build" "$work")
[ -f "$deb" ] || fail "no package built: '$deb'"
[ "$(dpkg-deb -f "$deb" Package)" = tasmero ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version), not $version"
depends=$(dpkg-deb -f "$deb" Depends)
# Taken from the libraries the program links, plus the window-system plugins.
for dependency in libqt6widgets6 libgcab-1.0-0 libzint qt6-qpa-plugins; do
    grep -q "$dependency" <<<"$depends" || fail "Depends lacks $dependency: $depends"
done

# Warnings and notes (the hardening flags of a test build, say) are allowed.
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log" >&2
    fail "lintian reports an error"
}

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/it.tasmero.Tasmero.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/it.tasmero.Tasmero.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
for command in tasmero tasmero-setup tasmero-admin; do
    [ -x "$root/usr/bin/$command" ] || fail "no $command"
    gzip -t "$root/usr/share/man/man1/$command.1.gz" || fail "no man page of $command"
done
for binary in "$root/usr/bin/tasmero-setup" "$root/usr/bin/tasmero-admin" "$root/usr/lib/tasmero/Tasmero"; do
    if readelf -S "$binary" | grep -q -e '\.debug_' -e '\.symtab'; then fail "$binary is not stripped"; fi
done
templates="$root/usr/share/tasmero/templates"
for n in 1 2 3 4 5; do
    # The program's own folder falls back to the packaged templates.
    [ "$(readlink -e "$root/usr/lib/tasmero/Report$n.frf")" = "$(readlink -e "$templates/Report$n.frf")" ] ||
        fail "Report$n.frf is not reachable from the program's folder"
done
# Marked, so that a copy shows it came from the package, not from the sources.
echo "packaged" >>"$templates/Report1.frf"

# A home of its own, and a runtime folder of its own for the program's
# single-instance lock, so that a copy running elsewhere on the machine is
# not the one that answers.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# ready_folder FOLDER: the three tables with their indexes, the settings and
# the five packaged templates are there.
ready_folder() {
    for table in Riviste3 Giacenza3 Giornale3; do
        [ -s "$1/$table.DBF" ] && [ -s "$1/$table.MDX" ] || fail "$1 lacks $table"
    done
    [ -s "$1/tasmerocfg.ini" ] || fail "$1 lacks the settings"
    for n in 1 2 3 4 5; do
        cmp -s "$templates/Report$n.frf" "$1/Report$n.frf" || fail "$1/Report$n.frf is not the packaged one"
    done
}

shop="$work/shop"
"$root/usr/bin/tasmero-setup" "$shop" >/dev/null
ready_folder "$shop"
echo "the shop's own" >"$shop/Report2.frf"
again=$("$root/usr/bin/tasmero-setup" "$shop")
[ -z "$again" ] || fail "a second setup changed something: $again"
[ "$(cat "$shop/Report2.frf")" = "the shop's own" ] || fail "a template was overwritten"

# The launcher starts the program on the display of the Xvfb this script runs
# under. wait_window PATTERN: a window whose title matches appears within a
# minute.
unset QT_QPA_PLATFORM
wait_window() {
    timeout 60 xdotool search --sync --onlyvisible --name "$1" >/dev/null ||
        fail "no window '$1' from the launcher"
}
"$root/usr/bin/tasmero" >"$work/launcher.log" 2>&1 &
pid=$!
wait_window '^Registration$'
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
ready_folder "$HOME/Tasmero"

# A folder with only a backup is not filled with empty tables: the program
# starts there and asks about the backup.
kept="$work/kept"
mkdir -p "$kept"
cp "$shop/Report1.frf" "$kept/backup.cab"
"$root/usr/bin/tasmero" "$kept" >>"$work/launcher.log" 2>&1 &
pid=$!
timeout 60 xdotool search --sync --onlyvisible --pid "$pid" >/dev/null ||
    fail "no window from the program started on a backup"
[ -z "$(find "$kept" -iname '*.dbf')" ] || fail "the launcher made tables beside a backup"
echo "package test passed: $(basename "$deb")"
