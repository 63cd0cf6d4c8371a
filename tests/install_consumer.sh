#!/usr/bin/env bash
# Installs the built library into a temporary prefix, then builds and runs a
# small consumer program against it: once with find_package(ulvex), once with
# pkg-config.
set -euo pipefail
cmake=$1 build=$2 consumer=$3 cxx=$4 flags=${5:-}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libulvex.so.0' | head -n1)")
[ -L "$libdir/libulvex.so" ] && [ -L "$libdir/libulvex.so.0" ] || { echo "SONAME links missing"; exit 1; }
export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

echo "-- find_package"
"$cmake" -S "$consumer" -B "$tmp/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
"$cmake" --build "$tmp/cmake-build" >/dev/null
"$tmp/cmake-build/consumer"

echo "-- pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
"$cxx" -std=c++11 $flags "$consumer/consumer.cpp" -o "$tmp/consumer-pc" $(pkg-config --cflags --libs ulvex)
"$tmp/consumer-pc"
