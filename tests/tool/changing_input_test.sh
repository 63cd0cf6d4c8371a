#!/usr/bin/env bash
# A file that changes while `ulvex list` reads it. The changes are made at a
# known point without timing guesses: the listing (many megabytes) fills the
# pipe and the tool blocks writing it; the reader takes the first line, then
# changes the file, then drains the rest. By then the tool has read only
# part of the file, and it cannot finish (nor check the file afterwards)
# before the change.
#
# - shrunk to nothing: pages still to be read are gone (SIGBUS on the
#   mapping): status 1, "the file shrank", no signal death, no line cut;
# - shrunk by one byte (no page lost, so no fault): the check after the scan
#   fails the same way;
# - rewritten in place, same size: "the file changed";
# - appended to: listed as it was when opened, status 0.
set -euo pipefail
U=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

# About 6 MB of small records with entries (and a size that is not a
# multiple of the page size), listed as about 12 MB.
/usr/bin/python3 - <<'EOF'
import struct
def record(name, payload):
    return (b"<h" + name + struct.pack("<I", len(payload)) + b"\x01>" + payload + b"<" + name +
            struct.pack("<H", sum(payload) & 0xFFFF) + b">")
with open("base", "wb") as f:
    f.write(b"".join(record(b"TEMP", b"n=%d|\r\nt=21.5|\r\n" % i) for i in range(150000)))
    f.write(b"tail")
EOF
[ $(( $(stat -c %s base) % 4096 )) != 0 ] || fail "base size is a multiple of the page size"
"$U" entries late=1 | "$U" pack --name MORE >more

# run_changed CHANGE: lists a copy of base with --entries on 2 threads,
# running CHANGE after the first line; the tool's status in $status, its
# standard output in out and standard error in err.
run_changed() {
  cp base live
  set +e
  "$U" list --entries --threads 2 live 2>err | { IFS= read -r first; eval "$1"; printf '%s\n' "$first"; cat; } >out
  status=${PIPESTATUS[0]}
  set -e
}

run_changed 'truncate -s 0 live'
[ "$status" = 1 ] || fail "shrunk to nothing: status $status, wanted 1: $(cat err)"
[ "$(cat err)" = "ulvex list: live: the file shrank while being read" ] || fail "shrunk to nothing: $(cat err)"
! grep -q 'records, ' out || fail "shrunk to nothing: a summary was printed"
[ -z "$(tail -c 1 out)" ] || fail "shrunk to nothing: the output ends with a cut line: $(tail -n 1 out)"

run_changed 'truncate -s -1 live'
[ "$status" = 1 ] || fail "shrunk by a byte: status $status, wanted 1: $(cat err)"
[ "$(cat err)" = "ulvex list: live: the file shrank while being read" ] || fail "shrunk by a byte: $(cat err)"
! grep -q 'records, ' out || fail "shrunk by a byte: a summary was printed"

run_changed 'printf X | dd of=live bs=1 seek=5000000 conv=notrunc status=none; touch -d @1000000000 live'
[ "$status" = 1 ] || fail "rewritten: status $status, wanted 1: $(cat err)"
[ "$(cat err)" = "ulvex list: live: the file changed while being read" ] || fail "rewritten: $(cat err)"

run_changed 'for i in 1 2 3; do cat more >>live; done'
[ "$status" = 0 ] || fail "appended to: status $status, wanted 0: $(cat err)"
"$U" list --entries base | cmp -s - out || fail "appended to: not listed as it was when opened"
echo "changing_input: all checks passed"
