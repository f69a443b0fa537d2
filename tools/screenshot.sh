#!/usr/bin/env bash
# Takes the README's screenshot of the main window: starts the program under
# Xvfb on a fresh demo folder, logs in with the default login by typing it,
# and saves the main window (with a margin of the screen around it).
#   tools/screenshot.sh [build-folder] [output.png]
#     defaults: build/release, docs/main-window.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
out=${2:-"$root/docs/main-window.png"}

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$out"
fi

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
"$build/bin/tasmero-setup" "$work/shop" --demo >/dev/null
cd "$work/shop"
"$build/bin/Tasmero" &
pid=$!

login=$(xdotool search --sync --name '^Registration$' | head -1)
xdotool windowfocus --sync "$login"
xdotool type --delay 30 admin
xdotool key Tab
xdotool type --delay 30 tasmero
xdotool key Return

main=$(xdotool search --sync --name '^Gestione Tasmero \(admin\)$' | head -1)
xdotool windowfocus --sync "$main"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
margin=24
import -window root -crop "$((WIDTH + 2 * margin))x$((HEIGHT + 2 * margin))+$((X - margin))+$((Y - margin))" +repage "$out"
echo "saved $out (${WIDTH}x${HEIGHT} window)"
