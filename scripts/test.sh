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

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

if [ -f tools/gen_unicode_tables.py ]; then
    python tools/gen_unicode_tables.py --check
fi

if [ -f pyproject.toml ]; then
    python -m pip install -q .
    python -m pytest -q tests/python
fi

if command -v clang++ >/dev/null; then
    bash scripts/fuzz_smoke.sh
fi
