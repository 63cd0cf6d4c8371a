#!/usr/bin/env bash
# Inputs beyond 4 GiB, at real size: sparse files (no disk space, and the
# scan skips their zeros quickly) with records near the start, one ending
# exactly at offset 2^32 - 1, one straddling 2^32 (it starts at 2^32 - 1),
# one past 2^32 + 1 KiB; and an all-zero input. The expected listings come
# from where the records were written, not from the tool.
#
# Usage: big_input_test.sh ULVEX [SANITIZED]. With SANITIZED set to 1 the
# test is skipped (status 77): a sanitized scan of 4 GiB takes minutes.
set -euo pipefail
U=$1
if [ "${2:-0}" = 1 ]; then
  echo "big_input: skipped in the sanitizer build (too slow at this size)"
  exit 77
fi
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$U" entries room=kitchen temp:double=21.5 >p1
"$U" entries a=1 >p2
head -c 3000 /dev/urandom >p3
"$U" entries 'edge=ends at 2^32-1' >p4
"$U" entries 'edge=straddles 2^32' >p5
"$U" entries 'far=beyond 4 GiB' >p6

for form in bin text; do
  opt=; [ $form = text ] && opt=--text
  # shellcheck disable=SC2086
  {
    "$U" pack $opt --name HEAD --version 1 p1 >$form.1
    "$U" pack $opt --name RAW --version 2 p3 >$form.2
    "$U" pack $opt --name EDGE --version 3 p4 >$form.3
    "$U" pack $opt --name STR --version 4 p5 >$form.4
    "$U" pack $opt --name FAR --version 5 p6 >$form.5
    "$U" pack $opt --name FAR --version 6 p2 >$form.6
  }
  # Writes the records into a sparse file and prints the expected JSON
  # listing (record objects and summary) to $form.expected.
  /usr/bin/python3 - $form <<'EOF'
import json, os, sys
form = sys.argv[1]
text = form == "text"
G = 1 << 32
recs = [open("%s.%d" % (form, i), "rb").read() for i in range(1, 7)]
payloads = [open(p, "rb").read() for p in ("p1", "p3", "p4", "p5", "p6", "p2")]
offsets = [0, 100 + len(recs[0]),
           G - 1 - len(recs[2]),      # its last byte is the one before 2^32 - 1
           G - 1,                     # starts at 2^32 - 1, ends past 2^32
           G + 1024 + 7,
           G + 1024 + 7 + len(recs[4]) + 3]
size = offsets[-1] + len(recs[5]) + 4096
names = ["HEAD", "RAW", "EDGE", "STR", "FAR", "FAR"]
with open(form, "wb") as f:
    f.truncate(size)
    for off, rec in zip(offsets, recs):
        f.seek(off)
        f.write(rec)
expected = []
for i, (off, rec, payload) in enumerate(zip(offsets, recs, payloads)):
    framing = 20 if text else 12
    expected.append({"type": "record", "offset": off, "name": (names[i] + " " * 4)[:4] if text else names[i],
                     "version": i + 1, "payload_offset": off + framing, "payload_length": len(payload),
                     "record_length": len(rec) - 2 if text else len(rec)})
covered = sum(r["record_length"] for r in expected)
expected.append({"type": "summary", "records": 6, "record_bytes": covered, "skipped_bytes": size - covered,
                 "input_bytes": size})
json.dump(expected, open(form + ".expected", "w"))
EOF
  # shellcheck disable=SC2086
  "$U" list $opt --json --threads 2 $form >$form.json
  /usr/bin/python3 - $form.json $form.expected <<'EOF'
import json, sys
got = [json.loads(l) for l in open(sys.argv[1])]
expected = json.load(open(sys.argv[2]))
for g, e in zip(got, expected):
    assert g == e, "listed %s, expected %s" % (g, e)
assert len(got) == len(expected), "%d lines, expected %d" % (len(got), len(expected))
EOF
done
# (one extract is enough: it scans as list does, in either form)
"$U" extract --name FAR --index 1 --threads 2 bin | cmp -s - p2 || fail "extract beyond 4 GiB"

# An all-zero input beyond 4 GiB, in both forms.
truncate -s $(( (1 << 32) + 4099 )) zero
for opt in "" --text; do
  # shellcheck disable=SC2086
  [ "$("$U" list $opt --threads 2 zero | tail -n1)" = "0 records, 0 bytes in records, 4294971395 bytes passed over" ] \
    || fail "all-zero input $opt"
done
echo "big_input: all checks passed"
