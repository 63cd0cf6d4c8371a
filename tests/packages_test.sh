#!/usr/bin/env bash
# Unpacks the Debian packages (build/packages/*.deb by default) into a scratch
# root and, using that root only, builds the C example and a C++ consumer
# (through the CMake package and through pkg-config) and runs the tool, its
# manual page and its bash completion.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
packages=${1:-$src/build/packages}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
shopt -s nullglob
debs=("$packages"/*.deb)
[ ${#debs[@]} -eq 3 ] || { echo "FAIL: want 3 packages in $packages, found ${#debs[@]}"; exit 1; }
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
usr=$root/usr
libdir=$(dirname "$(find "$usr" -name libulvex.so.0)")
export LD_LIBRARY_PATH=$libdir PKG_CONFIG_LIBDIR=$libdir/pkgconfig PKG_CONFIG_PATH=

# The programs must load the unpacked library, not one found elsewhere.
loads_unpacked() {
  local deps; deps=$(ldd "$1")
  grep -q "libulvex.so.0 => $libdir/" <<<"$deps" || { echo "FAIL: $1: $(grep ulvex <<<"$deps")"; exit 1; }
}

echo "-- C example and C++ consumer through pkg-config"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -pedantic -Werror "$src/examples/list_records.c" -o "$tmp/list_records" \
  $(pkg-config --cflags --libs ulvex)
# shellcheck disable=SC2046
c++ -std=c++11 -Wall -Wextra -pedantic -Werror "$src/tests/consumer/consumer.cpp" -o "$tmp/consumer-pc" \
  $(pkg-config --cflags --libs ulvex)
"$tmp/consumer-pc"

echo "-- C++ consumer through the CMake package"
cmake -S "$src/tests/consumer" -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$usr" \
  -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF >/dev/null
cmake --build "$tmp/consumer" >/dev/null
loads_unpacked "$tmp/consumer/consumer"
"$tmp/consumer/consumer"

echo "-- the tool"
U=$usr/bin/ulvex
loads_unpacked "$U"
"$U" entries temp:double=21.5 | "$U" pack --name TEMP --version 1 >"$tmp/capture.bin"
"$U" list --entries "$tmp/capture.bin" | grep -x ' *temp=21.5' >/dev/null || { echo "FAIL: ulvex list"; exit 1; }
loads_unpacked "$tmp/list_records"
"$tmp/list_records" "$tmp/capture.bin" | grep 'temp=21.5' >/dev/null || { echo "FAIL: list_records"; exit 1; }
man -l "$usr/share/man/man1/ulvex.1.gz" 2>&1 | grep 'ulvex list' >/dev/null || { echo "FAIL: man page"; exit 1; }
bash -c ". '$usr/share/bash-completion/completions/ulvex' && complete -p ulvex" | grep -q _ulvex ||
  { echo "FAIL: bash completion"; exit 1; }
echo "packages: passed"
