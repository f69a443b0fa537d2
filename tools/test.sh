#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest with the
# offscreen Qt platform, once under C.UTF-8 and once under it_IT.UTF-8 (the
# shops' own setting: decimal comma, day/month/year). Exits non-zero when
# anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/test"

"$root/tools/install-deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTASMERO_WERROR=ON >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
status=0
for locale in C.UTF-8 it_IT.UTF-8; do
    echo "== tests under $locale"
    LC_ALL=$locale LANG=$locale LANGUAGE= \
        ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600 || status=1
done
exit $status
