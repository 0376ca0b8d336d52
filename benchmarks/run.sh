#!/usr/bin/env bash
# The benchmark suite: quarn against the stdlib re idiom, the regex module,
# Pygments, an object-creation floor and (in C++) a re2c lexer. Writes
# BENCHMARKS.md at the repository root.
#
#   bash benchmarks/run.sh           # full run (about 10 minutes on 2 cores)
#   bash benchmarks/run.sh --quick   # tiny workloads, checks the set-up only
#
# Everything it installs goes to benchmarks/.venv and benchmarks/.work.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
quick=""
[ "${1:-}" = "--quick" ] && quick="--quick"

venv=benchmarks/.venv
work=benchmarks/.work
mkdir -p "$work"
if [ ! -x "$venv/bin/python" ]; then
    python3 -m venv "$venv"
fi
py=$venv/bin/python
echo "== installing peers and quarn (from this tree) into $venv"
$py -m pip install -q --upgrade pip
$py -m pip install -q regex pygments
# A fixed build folder keeps the C++ build incremental between runs.
$py -m pip install -q --force-reinstall --no-deps -C build-dir=build/bench-python -C build.tool-args=-j2 "$root"

echo "== building the object-creation floor extension"
ext_dir=$work/ext
mkdir -p "$ext_dir"
include=$($py -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
suffix=$($py -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
cc -O2 -Wall -Wextra -Werror -shared -fPIC -I"$include" benchmarks/floor/floor.c \
    -o "$ext_dir/quarn_bench_floor$suffix"

data=$work/data${quick:+-quick}
echo "== writing workloads to $data"
$py benchmarks/run.py prepare --work "$data" $quick

echo "== C++ scan loop and construction (Google Benchmark, re2c)"
if ! command -v re2c >/dev/null || [ ! -f /usr/include/benchmark/benchmark.h ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq re2c libbenchmark-dev >/dev/null
fi
cpp_json=$work/cpp${quick:+-quick}.json
cmake --preset bench >/dev/null
cmake --build --preset bench --target pipeline_bench -j2
reps=5
[ -n "$quick" ] && reps=1
build/bench/benchmarks/pipeline_bench --workloads="$data" \
    --benchmark_repetitions=$reps --benchmark_report_aggregates_only=true \
    --benchmark_out="$cpp_json" --benchmark_out_format=json

echo "== Python peers"
out=BENCHMARKS.md
[ -n "$quick" ] && out=$work/BENCHMARKS-quick.md
PYTHONPATH="$ext_dir" $py benchmarks/run.py bench --work "$data" --cpp "$cpp_json" --out "$out" \
    --repeats "$([ -n "$quick" ] && echo 1 || echo 3)"
echo "== quarn_tools: columns, tokens, threads, files"
tools_args="--repeats 3"
[ -n "$quick" ] && tools_args="--mb 1 --file-mb 10 --repeats 1"
# shellcheck disable=SC2086
$py benchmarks/tools_bench.py $tools_args --out "$work/tools.md"
{ echo; echo "## quarn_tools"; echo; cat "$work/tools.md"; } >> "$out"
echo "== report written to $out"
