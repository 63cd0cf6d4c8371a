#!/usr/bin/env bash
# Builds the library, its tool and examples, and runs a short demo of the ulvex tool.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake ninja-build g++ pkg-config libgtest-dev libcli11-dev

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null

# The demo: a capture file with three tags of typed entries, garbage and a
# damaged record between them, and what `ulvex list --entries` finds in it.
tool=$PWD/build/release/tools/ulvex
ulvex() { "$tool" "$@"; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cd "$work"
run() { printf '\n$ %s\n' "$1"; eval "$1"; }

run 'ulvex entries room=kitchen temp:double=21.5 humidity:int=40 | ulvex pack --name TEMP --version 1 > capture.bin'
run "printf 'line noise <h<' >> capture.bin"
run 'ulvex entries room=hall temp:double=19.25 | ulvex pack --name TEMP --version 1 > damaged.bin'
run '{ head -c 30 damaged.bin; printf X; tail -c +32 damaged.bin; } >> capture.bin   # a payload byte changed'
run 'ulvex entries mode=eco target:float=20.5 flags:hex=255 | ulvex pack --name CONF --version 2 >> capture.bin'
run 'ulvex entries room=cellar temp:double=12.75 | ulvex pack --name TEMP --version 1 >> capture.bin'
run "printf '\\0\\1\\2 trailing bytes' >> capture.bin"
run 'ulvex list --entries capture.bin'
run 'ulvex extract --name TEMP --index 1 capture.bin | ulvex pack --text --name TEMP --version 1'
run 'ulvex list --json capture.bin'
printf '\nMore: ulvex --help, ulvex SUBCOMMAND --help; the library example: build/release/examples/ulvex_example\n'
