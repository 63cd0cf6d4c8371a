#!/usr/bin/env bash
# Makes the Debian packages libulvex0, libulvex-dev and ulvex in build/packages/
# from a Release build installed under /usr, with Debian's hardening flags.
# An existing build directory is reused (ULVEX_PACKAGE_BUILD, default build/package).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake ninja-build g++ pkg-config libcli11-dev dpkg-dev gzip

build=${ULVEX_PACKAGE_BUILD:-build/package}
out=build/packages
# dpkg-buildflags' preprocessor flags (_FORTIFY_SOURCE) join the compiler flags:
# CMake reads no CPPFLAGS.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
  -DCMAKE_SKIP_INSTALL_RPATH=ON -DULVEX_DEBIAN_DOCS=ON \
  -DULVEX_BUILD_TESTS=OFF -DULVEX_BUILD_EXAMPLES=OFF -DULVEX_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" -j "${ULVEX_BUILD_JOBS:-$(nproc)}"

rm -rf "$out" "$build/cpack"
(cd "$build" && cpack -G DEB -B "$PWD/cpack" >/dev/null)
mkdir -p "$out"
mv "$build"/cpack/*.deb "$out/"

# CPack calls ldconfig from the library's maintainer scripts; a Debian library
# package activates libc's ldconfig trigger instead and needs no scripts.
lib=$(ls "$out"/libulvex0_*.deb)
tree=$build/cpack/libulvex0
rm -rf "$tree" && dpkg-deb -R "$lib" "$tree"
rm -f "$tree/DEBIAN/postinst" "$tree/DEBIAN/postrm"
echo "activate-noawait ldconfig" >"$tree/DEBIAN/triggers" && chmod 0644 "$tree/DEBIAN/triggers"
dpkg-deb --root-owner-group -b "$tree" "$lib" >/dev/null
ls -1 "$out"/*.deb
