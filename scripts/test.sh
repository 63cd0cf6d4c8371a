#!/usr/bin/env bash
# Builds the library, tools, tests and fuzzers from scratch and runs every check:
# the test suite in a plain build, in an AddressSanitizer + UBSan build with
# gcc and in one with clang (which also makes the fuzz targets), the fuzz
# targets for a short bounded time, and the ABI check.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake ninja-build g++ pkg-config libgtest-dev libcli11-dev python3 \
  clang libclang-rt-14-dev abigail-tools binutils dpkg-dev lintian man-db bash-completion gzip

jobs=$(nproc)

echo "== plain build =="
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan + UBSan) =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DULVEX_SANITIZE=ON
cmake --build build/asan -j "$jobs"
ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== clang build of everything (ASan + UBSan), with the libFuzzer targets =="
# The library, tools, examples (the C one linked by the C driver) and tests,
# built and tested with clang and the sanitizers as a developer debugging a
# fuzz finding builds them; the fuzz targets come from the same build (the
# tests replay their committed corpora).
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULVEX_SANITIZE=ON -DULVEX_FUZZ=ON
cmake --build build/fuzz -j "$jobs"
ctest --test-dir build/fuzz --output-on-failure -j "$jobs"
fuzz_seconds=${ULVEX_FUZZ_SECONDS:-15}
for target in decoder_bin decoder_txt formatter roundtrip stream scan; do
  # Each target starts from a scratch copy of its committed corpus, so the
  # repository is never modified; any crash, sanitizer report, oracle
  # mismatch or timeout fails the run and leaves the input in $work.
  work=build/fuzz/run/$target
  rm -rf "$work" && mkdir -p "$work/corpus" && cp fuzz/corpus/$target/* "$work/corpus/"
  if ! build/fuzz/fuzz/fuzz_$target -max_total_time="$fuzz_seconds" -seed=1 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$work/" "$work/corpus" > "$work/log" 2>&1; then
    tail -n 40 "$work/log"
    echo "fuzz_$target: FAILED (reproduce: build/fuzz/fuzz/fuzz_$target $work/crash-*)"
    exit 1
  fi
  echo "fuzz_$target: $(grep -E '^#[0-9]+' "$work/log" | tail -n 1)"
done

echo "== ABI of libulvex.so.0 against abi/libulvex.so.0.abi =="
# (the exported-symbol list is checked by the exported_symbols test above)
scripts/check-abi.sh build/release/libulvex.so.0

echo "== Debian packages: lintian, and use from an unpacked root =="
# Only library and tool are built (Release, under /usr); an existing
# build/package is reused. Lintian errors fail the run; the warnings left are
# listed with their reasons in docs/packaging.md.
ULVEX_BUILD_JOBS=$jobs scripts/package.sh
lintian --fail-on error build/packages/*.deb
bash tests/packages_test.sh build/packages

echo "== Python package: offline install into a venv, pytest =="
# Debian's interpreter, whose python3-* packages the venv sees (a python3 first
# on PATH may be another one). pip installs offline; pytest exit status 5 (no
# tests collected) fails the run like any other failure.
ensure_packages python3-venv python3-dev python3-setuptools python3-wheel pybind11-dev python3-numpy \
  python3-pytest python3-hypothesis python3-pandas python3-dask python3-distributed
rm -rf build/venv
/usr/bin/python3 -m venv --system-site-packages build/venv
ULVEX_CMAKE_BUILD_DIR="$PWD/build/py" build/venv/bin/pip install --no-index --no-build-isolation ./python
export ULVEX_TOOL="$PWD/build/release/tools/ulvex"
(cd python && ../build/venv/bin/python -P -m pytest -q -p no:cacheprovider tests)
