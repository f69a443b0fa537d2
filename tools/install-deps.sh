#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Idempotent and silent when everything is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libsqlite3-dev libgcab-dev libcrypto++-dev libzint-dev zlib1g-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang
    # used by tests and by tools: cabinet peers, a second dBASE reader, a display and keys for screenshots
    gcab cabextract python3 python3-dbfread xvfb xauth xdotool
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
