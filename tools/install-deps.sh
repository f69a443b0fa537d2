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
    gcab cabextract python3 python3-dbfread xvfb xauth xdotool imagemagick
    # report tests: PDF text and page count, barcode decoding
    poppler-utils zbar-tools
    # report tests: the RTF export opened by a word processor, converted to PDF headless
    libreoffice-writer-nogui
    # the Debian package: its dependencies read from the program (dpkg-shlibdeps), its checks
    dpkg-dev lintian desktop-file-utils appstream
    # bench/run_all.sh: wall time and peak memory of each benchmark program
    time
    # the shops' regional setting, and two more comma locales for the stored-format tests
    locales
)
locales=(it_IT.UTF-8 de_DE.UTF-8 fr_FR.UTF-8)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# locale -a spells them "it_IT.utf8"
have=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | sed 's/-//g')
generate=()
for l in "${locales[@]}"; do
    plain=$(echo "$l" | tr '[:upper:]' '[:lower:]' | sed 's/-//g')
    grep -qx "$plain" <<<"$have" || generate+=("$l")
done
if [ ${#generate[@]} -gt 0 ]; then
    echo "Generating locales: ${generate[*]}"
    for l in "${generate[@]}"; do
        "${sudo[@]}" sed -i "s/^# *\($l UTF-8\)/\1/" /etc/locale.gen
        grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo[@]}" locale-gen >/dev/null
fi
