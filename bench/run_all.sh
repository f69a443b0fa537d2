#!/bin/sh
# Runs every benchmark the README quotes, one after the other, with the
# README's arguments, and keeps each program's output in OUT/<name>.txt.
# Usage: bench/run_all.sh [BIN] [OUT]
#   BIN  folder holding the bench programs (default build/test/bench)
#   OUT  folder for the outputs (default a new folder under /tmp)
# Measure on a quiet machine: nothing else building or testing.
set -eu
bin=${1:-build/test/bench}
out=${2:-$(mktemp -d /tmp/tasmero-bench.XXXXXX)}
mkdir -p "$out"
scratch=$(mktemp -d /tmp/tasmero-bench-data.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8

run() {
    name=$1; shift
    echo "== $name $* (load $(cut -d' ' -f1-3 /proc/loadavg))" | tee "$out/$name.txt"
    /usr/bin/time -f "wall %e s, peak %M KB" "$bin/$@" >>"$out/$name.txt" 2>&1 || echo "FAILED" >>"$out/$name.txt"
}

run dbase_bench dbase_bench "$scratch/dbase"
run dbase_posts dbase_bench --posts "$scratch/dbase"
run mdx_bench mdx_bench
run movements_bench movements_bench
run sql_bench sql_bench
run cabinet_bench cabinet_bench
run report_bench report_bench 100000 "$scratch/report"
run print_bench print_bench "$scratch/print"
mkdir -p "$scratch/registry"
run registry_bench registry_bench "$scratch/registry"
run utilities_bench utilities_bench
echo "outputs in $out"
