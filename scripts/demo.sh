#!/usr/bin/env bash
# Builds the library and runs its main job: the example road of a message.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake ninja-build g++ pkg-config libgtest-dev libcli11-dev

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null
./build/release/examples/ulvex_example
