#!/usr/bin/env bash
# Runs every test: the C++ suites (release and sanitizer builds), the Unicode
# table reproducibility check, the Python tests and, with clang, a short run
# of every fuzz target. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"
jobs=$(nproc)

cmake --preset release
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

# The C++ package: installed, then used by the example program through find_package.
rm -rf build/install build/example
cmake --install build/release --prefix build/install >/dev/null
cmake -S examples/cpp -B build/example -G Ninja -DCMAKE_PREFIX_PATH="$PWD/build/install" >/dev/null
cmake --build build/example
build/example/tokenize examples/demo.quarn examples/demo_input.txt >/dev/null
echo "examples/cpp: built against the installed package and ran"

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

if [ -f tools/gen_unicode_tables.py ]; then
    python tools/gen_unicode_tables.py --check
fi

# A short fuzzing run of every target (libFuzzer needs clang).
if command -v clang++ >/dev/null; then
    bash scripts/fuzz_smoke.sh
fi

# Last, so that the test runner's summary closes the output.
if [ -f pyproject.toml ]; then
    python -m pip install -q .
    python -m pytest -q tests/python
fi
