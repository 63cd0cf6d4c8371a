#!/usr/bin/env bash
# Checks that the shared object exports the public API and nothing else, and
# that it carries the SONAME libulvex.so.0.
set -euo pipefail
lib=$1

grep -q 'Library soname: \[libulvex.so.0\]' <<<"$(readelf -d "$lib")" || { echo "SONAME is not libulvex.so.0"; exit 1; }

public='CHeader|CFooter|CPtrHeader|CPtrFooter|IUlvexEncoderBin|CUlvexEncoder|IUlvexDecoderBin|CUlvexDecoder|IUlvexEncoderTxt|CUlvexEncoderTxt|IUlvexDecoderTxt|CUlvexDecoderTxt|IUlvexDataFormatter|CUlvexDataFormatter|ulvex::StreamReader|ulvex::ThreadPool'
# The C interface of ulvex/c.h.
capi='ulvex_(version|strerror|scan|encode|stream_(new|free|feed|finish|next|counters)|entries|entries_each'
capi+='|entry_(bytes|str|i8|u8|i16|u16|i32|u32|i64|u64|float|double|hex))'
syms=$(nm -D --defined-only -C "$lib" | sed -E 's/^[0-9a-f]+ [A-Za-z] //')
# Sanitizer runtimes may add their own interceptors; only C++ names count there.
# (clang's UBSan function check adds the type information of the factories'
# function types.)
unexpected=$(printf '%s\n' "$syms" | grep -vE "^(${public})::" \
  | grep -vE "^(vtable for|typeinfo for|typeinfo name for) (${public})\$" \
  | grep -vE "^(typeinfo for|typeinfo name for) (${public})\* \(\)\$" \
  | grep -vE '^ulvex::(Scan|ScanRange|JoinRange|DefaultScanThreads|ReadColumns|ListKeys)\(' | grep -vE '^_(init|fini)$' | grep -vE "^(${capi})\$" || true)
if [ -n "$unexpected" ]; then
  echo "unexpected exported symbols:"; printf '%s\n' "$unexpected"; exit 1
fi
for needed in 'IUlvexEncoderBin::CreateMe()' 'IUlvexDecoderBin::CreateMe()' 'IUlvexEncoderTxt::CreateMe()' \
              'IUlvexDecoderTxt::CreateMe()' 'IUlvexDataFormatter::CreateMe()' 'vtable for CUlvexDecoder' \
              'typeinfo for IUlvexDecoderBin' 'CHeader::IsCoerentAnyName() const' ulvex_version ulvex_scan \
              ulvex_encode ulvex_stream_new ulvex_entries ulvex_entry_hex; do
  grep -qxF "$needed" <<<"$syms" || { echo "missing export: $needed"; exit 1; }
done
echo "exports OK: $(printf '%s\n' "$syms" | wc -l) symbols"
