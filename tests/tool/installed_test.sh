#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed tool there:
# it must find the installed library on its own.
set -euo pipefail
cmake=$1 build=$2
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null
U=$tmp/prefix/bin/ulvex
[ -x "$U" ] || { echo "FAIL: $U was not installed"; exit 1; }
"$U" entries temp:double=21.5 >"$tmp/payload"
"$U" pack --name TEMP --version 1 "$tmp/payload" >"$tmp/capture"
"$U" extract --name TEMP "$tmp/capture" | cmp - "$tmp/payload"
"$U" list --entries "$tmp/capture" | grep -qx ' *temp=21.5' || { echo "FAIL: installed list"; exit 1; }
echo "tool_installed: passed"
