#!/usr/bin/env bash
# Installs what is missing, builds the program in release mode, prepares a
# ready working folder if there is none, and starts the program in it.
#   tools/run.sh [working-folder [program arguments]]   (default: ~/Tasmero)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"
folder=${1:-"$HOME/Tasmero"}
# What follows the folder goes to the program (one argument of any value
# shows the report designer button).
if [ $# -gt 0 ]; then shift; fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display to show the program on; run it under Xvfb: xvfb-run -a $0 ${1:-}" >&2
    exit 1
fi

"$root/tools/install-deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DTASMERO_TESTS=OFF -DTASMERO_BENCH=OFF >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" -- --quiet
mkdir -p "$folder"
if [ -x "$build/bin/tasmero-setup" ]; then
    "$build/bin/tasmero-setup" "$folder"
fi
cd "$folder"
exec "$build/bin/Tasmero" "$@"
