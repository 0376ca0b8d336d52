#!/usr/bin/env bash
# Installs what the build and the tests need and is missing: Debian packages and
# a virtual environment (.venv) with the Python build and test tools.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang and its runtime libraries (libFuzzer) run the fuzz smoke test.
packages=(g++ cmake ninja-build libgtest-dev libbenchmark-dev libtomlplusplus-dev unicode-data clang
          libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing Debian packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ ! -x .venv/bin/python ]; then
    python3 -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q -r requirements-dev.txt
