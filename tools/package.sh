#!/usr/bin/env bash
# Builds the Debian package of the program and prints its path.
#   tools/package.sh [build-folder [output-folder]]
# Without a build folder it installs what is missing and makes (or brings up
# to date) a Release build in build/release. A build folder given is packaged
# as it stands, without building anything. The package goes into the output
# folder, the build folder unless one is given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -gt 0 ]; then
    build=$(cd "$1" && pwd)
else
    build="$root/build/release"
    "$root/tools/install-deps.sh"
    # Debian's hardening flags (fortified libc calls, read-only relocations
    # bound at start) on top of the Release ones.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
    ldflags=$(dpkg-buildflags --get LDFLAGS)
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DTASMERO_TESTS=OFF -DTASMERO_BENCH=OFF \
        "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_C_FLAGS=$cflags" \
        "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
    cmake --build "$build" --parallel "$(nproc)" -- --quiet
fi
out=${2:-$build}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Installed, stripped, into a staging folder of our own, which CPack then
# packs as it is instead of running the installation again.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr --strip >/dev/null
log=$(cpack --config "$build/CPackConfig.cmake" -B "$out" \
    -D CPACK_INSTALL_CMAKE_PROJECTS= \
    -D "CPACK_INSTALLED_DIRECTORIES=$stage;." 2>&1) || {
    echo "$log" >&2
    exit 1
}
rm -rf "$out/_CPack_Packages"
# "CPack: - package: /path/tasmero_3.2_amd64.deb generated."
sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$log"
