#!/usr/bin/env bash
# Several FILE arguments: list names each file before its records, sums each
# up and totals them; JSON objects and CSV rows carry the file; convert writes
# every file's records in order; a directory is a usage error.
set -euo pipefail
U=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }
"$U" entries a=1 >e
"$U" pack --name TEMP e >r
{ printf xx; cat r r; } >'one two'
{ cat r; printf yyy; } >b
: >empty
n=$(stat -c %s r)

"$U" list 'one two' b empty >out
grep -c '^file ' out | grep -qx 3 || fail "file lines: $(cat out)"
[ "$(sed -n 1p out)" = "file one two" ] || fail "first line: $(cat out)"
grep -x '[0-9]* records\?, .*' out | tr '\n' '|' | grep -qx \
  "2 records, $((2 * n)) bytes in records, 2 bytes passed over|1 record, $n bytes in records, 3 bytes passed over|0 records, 0 bytes in records, 0 bytes passed over|" \
  || fail "summaries: $(cat out)"
[ "$(tail -n1 out)" = "total: 3 files, 3 records, $((3 * n)) bytes in records, 5 bytes passed over" ] || fail "$(tail -n1 out)"
# One file lists as before: no file line, no total.
"$U" list b | grep -q '^file \|^total' && fail "a single file names itself"

"$U" list --json 'one two' b | /usr/bin/python3 -c '
import json, sys
objs = [json.loads(l) for l in sys.stdin]
assert [(o["type"], o.get("file")) for o in objs] == [("record", "one two")] * 2 + [("summary", "one two"),
    ("record", "b"), ("summary", "b"), ("total", None)], objs
assert objs[-1]["files"] == 2 and objs[-1]["records"] == 3 and objs[-1]["skipped_bytes"] == 5, objs[-1]' \
  || fail "JSON"
"$U" list --json b | grep -q '"file"' && fail "a single file's JSON names it"

"$U" table 'one two' b | cut -d, -f1,2,6 | tr '\n' ' ' >csv
[ "$(cat csv)" = "file,offset,a one two,2,1 one two,$((2 + n)),1 b,0,1 " ] || fail "CSV: $(cat csv)"
"$U" table b | head -n1 | grep -q '^offset,' || fail "a single file's CSV has a file column"

"$U" convert --to-text 'one two' b >t
"$U" convert --to-binary t | cmp -s - <(cat r r r) || fail "convert of several files"

mkdir d
usage() { local st=0; "$U" "$@" >/dev/null 2>err || st=$?; [ "$st" = 2 ] && grep -q 'd is a directory' err; }
usage list b d || fail "list of a directory: $(cat err)"
usage convert --to-text b d || fail "convert of a directory: $(cat err)"
usage table b d || fail "table of a directory: $(cat err)"
echo "files OK"
