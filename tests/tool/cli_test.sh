#!/usr/bin/env bash
# Runs the ulvex tool on real files: pack/list/extract and convert round trips,
# JSON output, exit codes and messages, and parallel listings against serial ones.
set -euo pipefail
U=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect STATUS CMD...: stdout to `out`, stderr to `err`.
expect() {
  local want=$1; shift
  local got=0; "$@" >out 2>err || got=$?
  [ "$got" = "$want" ] || fail "$* exited $got, wanted $want: $(cat err)"
}
size() { stat -c %s "$1"; }

# --- a binary capture: typed entries, garbage, a damaged record, every byte value
"$U" entries room=kitchen temp:double=21.5 delta:int=-5 flags:hex=255 big:u64=18446744073709551615 \
  n:i64=-9000000000 u:uint=7 f:float=0.25 'a:b:str=x=y' >e1
"$U" entries room=hall >e2
/usr/bin/python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 3)' >bytes
printf 'junk<h<' >g
"$U" pack --name TEMP --version 1 e1 >r1
"$U" pack --name 'N\x01"' --version 255 <bytes >r2
"$U" pack --name TEMP --version 2 - <e2 >r3
"$U" pack --name E </dev/null >r4
{ head -c 20 r1; printf X; tail -c +22 r1; } >bad
cat g r1 g bad r2 r3 r4 g >cap
cat r1 r2 r3 r4 >records

# list: plain, JSON Lines (parsed), standard input
expect 0 "$U" list --entries cap
grep -q '^ *0*7  "TEMP" .* 1 .*'"$(size e1)" out || fail "plain listing: $(cat out)"
grep -q '"N\\x01\\x22"' out || fail "escaped name: $(cat out)"
grep -qx ' *a:b=x=y' out && grep -qx ' *temp=21.5' out && grep -qx ' *flags=0x000000ff' out || fail "entries: $(cat out)"
tail -n1 out | grep -qx "4 records, $(size records) bytes in records, $(( $(size cap) - $(size records) )) bytes passed over" \
  || fail "summary: $(tail -n1 out)"
"$U" list - <cap | cmp -s - <("$U" list cap) || fail "standard input lists differently"
# A pipe is read in chunks by the streaming reader: same records, one byte at a time or all at once.
cat cap | "$U" list --json --entries - | cmp -s - <("$U" list --json --entries cap) || fail "a pipe lists differently"
/usr/bin/python3 -c 'import sys,time
d=open(sys.argv[1],"rb").read()
for b in d: sys.stdout.buffer.write(bytes([b])); sys.stdout.flush()' cap | "$U" list - | cmp -s - <("$U" list cap) \
  || fail "a byte-by-byte pipe lists differently"
"$U" list --json --entries cap >json
/usr/bin/python3 - json "$(size g)" "$(size r1)" "$(size bad)" "$(size r2)" "$(size r3)" "$(size cap)" <<'EOF'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
g, r1, bad, r2, r3, cap = map(int, sys.argv[2:])
recs, summary = lines[:-1], lines[-1]
assert [r["name"] for r in recs] == ["TEMP", 'N\x01"', "TEMP", "E"], recs
assert [r["version"] for r in recs] == [1, 255, 2, 0]
assert [r["offset"] for r in recs] == [g, 2 * g + r1 + bad, 2 * g + r1 + bad + r2, 2 * g + r1 + bad + r2 + r3]
assert recs[0]["entries"] == {"room": "kitchen", "temp": "21.5", "delta": "-5", "flags": "0x000000ff", "a:b": "x=y",
                              "big": "18446744073709551615", "n": "-9000000000", "u": "7", "f": "0.25"}, recs[0]
assert recs[1]["payload_length"] == 768 and recs[1]["record_length"] == 788
assert all(r["type"] == "record" and r["payload_offset"] == r["offset"] + 12 for r in recs)
total = sum(r["record_length"] for r in recs)
assert summary == {"type": "summary", "records": 4, "record_bytes": total, "skipped_bytes": cap - total,
                   "input_bytes": cap}, summary
EOF

# extract gives back the packed bytes
"$U" extract --name TEMP cap | cmp -s - e1 || fail "extract TEMP"
"$U" extract --name TEMP --index 1 cap | cmp -s - e2 || fail "extract TEMP #1"
"$U" extract --name 'N\x01\x22' <cap | cmp -s - bytes || fail "extract escaped name"
"$U" extract --name E cap | cmp -s - /dev/null || fail "extract empty payload"
expect 1 "$U" extract --name TEMP --index 2 cap; grep -q 'out of range: 2 records named "TEMP"' err || fail "$(cat err)"
expect 1 "$U" extract --name NONE cap

# text form: pack/list/extract, and convert both ways
"$U" pack --text --name AB --version 3 bytes >t1
cat g t1 g >tcap
"$U" list --text --json tcap >out; head -n1 out | grep -q '"offset":7,"name":"AB  ","version":3,"payload_offset":27,"payload_length":768,"record_length":800' \
  || fail "text listing: $("$U" list --text --json tcap)"
"$U" extract --text --name AB tcap | cmp -s - bytes || fail "extract text"
"$U" convert --to-text cap >text
"$U" convert --to-binary text | cmp -s - records || fail "binary -> text -> binary"
# (an empty-payload record ending the input is not a record: one more byte makes it one)
cat records g | "$U" convert --to-text | cmp -s - text || fail "text differs after a round trip"
[ "$("$U" list --text text | tail -n1)" = "4 records, $(( $(size text) - 8 )) bytes in records, 8 bytes passed over" ] \
  || fail "text capture: $("$U" list --text text)"

# inputs without records are not errors
expect 0 "$U" list /dev/null; grep -qx '0 records, 0 bytes in records, 0 bytes passed over' out || fail "$(cat out)"
expect 0 "$U" list --text g; grep -qx '0 records, 0 bytes in records, 7 bytes passed over' out || fail "$(cat out)"

# usage errors: status 2 and one line; unreadable inputs: status 1 naming the file
usage_errors=(
  "" "bogus" "list --bogus" "list cap ." "pack" "pack --name TOOLONG" "pack --name A --version 256"
  "pack --name A\\q" "pack --name A\\x00" "extract --name A --index -1" "entries" "entries novalue"
  "entries a:int=1.5" "entries a:int=2147483648" "entries a:uint=-1" "entries a:foo=1" "entries :int=1"
  "convert cap" "convert --to-text --to-binary cap" "list --window 64 cap" "list --threads -1 cap"
  "list --threads x cap" "list --threads 2000 cap" "extract --name A --index 18446744073709551616 cap")
for args in "${usage_errors[@]}"; do
  # shellcheck disable=SC2086
  expect 2 "$U" $args </dev/null
  [ "$(wc -l <err)" = 1 ] && [ ! -s out ] || fail "'$args' should print one line: $(cat err)"
done
expect 0 "$U" entries a:int=-2147483648 b:hex=0xffffffff c:double=-1e300; [ "$(cat out)" = "$(printf 'a=-2147483648|\r\nb=0xffffffff|\r\nc=-1e+300|\r\n')" ] \
  || fail "typed limits: $(od -c out)"
for sub in "" list extract pack entries convert; do
  # shellcheck disable=SC2086
  expect 0 "$U" $sub --help; grep -q "^Usage: ulvex $sub" out || fail "help of '$sub'"
done
expect 1 "$U" list nosuch; grep -qx 'ulvex list: nosuch: No such file or directory' err || fail "$(cat err)"
expect 1 "$U" pack --name A .; grep -qx 'ulvex pack: .: Is a directory' err || fail "$(cat err)"
[ -e /dev/full ] && { "$U" list cap >/dev/full 2>err && fail "write error unnoticed"; grep -q 'No space left' err || fail "$(cat err)"; }

# Standard input that is a regular file is read from its current offset, as a pipe would be.
{ dd bs="$(size r1)" count=1 of=/dev/null status=none; "$U" list --json -; } <records >out
head -n 1 out | grep -q '^{"type":"record","offset":0,"name":"N\\u0001\\"","version":255,' || fail "offset: $(cat out)"
# A FIFO given as FILE is followed live, like a pipe: its first record is listed before it ends.
mkfifo fifo go
{ cat records; cat go >/dev/null; } >fifo &
timeout 20 "$U" list --json fifo | { IFS= read -r first || true; echo >go; printf '%s\n' "$first"; cat >/dev/null; } >out \
  || true
wait
grep -q '^{"type":"record","offset":0,"name":"TEMP"' out || fail "a FIFO is not followed live: $(cat out)"
# Text records of version 14 read back as 15: a warning, once per run.
printf x | "$U" pack --name V --version 14 >v14
cat v14 v14 | "$U" convert --to-text >/dev/null 2>err
[ "$(grep -c 'version 14' err)" = 1 ] || fail "version 14 warning: $(cat err)"

# --version: the project's version, status 0
expect 0 "$U" --version; [ "$(cat out)" = "ulvex 0.1.0" ] || fail "--version: $(cat out)"

# JSON strings carry any bytes: UTF-8 as it is, every other byte as a lone
# surrogate that Python's surrogateescape turns back into that byte
/usr/bin/python3 - <<'EOF'
import random
random.seed(7)
pieces = [b"\xc3\xa9", b"\xe2\x82\xac", b"\xf0\x9f\x98\x80", b"\xed\xa0\x80", b"\xc0\xaf", b"\xf4\x90\x80\x80",
          b"\xe2\x82", b"\x80", b"\xff", b"\"", b"\\", b"\x1f", b"\x7f", b"a", b"\t"]
entries = {}
for i in range(40):
    key = b"k%d" % i + random.choice(pieces)
    entries[key] = b"".join(random.choice(pieces) for _ in range(random.randrange(12)))
open("utf8.payload", "wb").write(b"".join(k + b"=" + v + b"|\r\n" for k, v in entries.items()))
open("utf8.expected", "w").write(repr(sorted(entries.items())))
EOF
"$U" pack --name 'N\xc3\xa9' utf8.payload >utf8.bin
"$U" pack --name 'A\xff\xfe' utf8.payload >>utf8.bin
printf 'end of input' >>utf8.bin
"$U" list --json --entries utf8.bin >utf8.json
/usr/bin/python3 - utf8.json utf8.expected <<'EOF'
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")][:-1]
raw = lambda s: s.encode("utf-8", "surrogateescape")
assert [raw(r["name"]) for r in recs] == [b"N\xc3\xa9", b"A\xff\xfe"], recs
expected = open(sys.argv[2]).read()
for r in recs:
    got = repr(sorted((raw(k), raw(v)) for k, v in r["entries"].items()))
    assert got == expected, (got, expected)
EOF
grep -q "\"N$(printf '\xc3\xa9')\"" utf8.json || fail "UTF-8 name not kept as it is: $(head -c 200 utf8.json)"
"$U" list utf8.bin >out
# (padded by characters, so the columns line up)
grep -Eq "^ +0  \"N$(printf '\xc3\xa9')\" {13}0 {8}759 {8}779$" out || fail "plain listing of a UTF-8 name: $(cat out)"
grep -Eq '"A\\xff\\xfe" +0 +759 ' out || fail "plain listing of a non-UTF-8 name: $(cat out)"

# Parallel listings: the same bytes for every --threads, in both forms and
# both styles, over a capture of many scan chunks and formatter batches
# (records among garbage, damaged ones, entries).
/usr/bin/python3 - <<'EOF'
import random, struct
random.seed(3)
def record(name, payload, version):
    return (b"<h" + name + struct.pack("<I", len(payload)) + bytes([version]) + b">" + payload + b"<" + name +
            struct.pack("<H", sum(payload) & 0xFFFF) + b">")
out = bytearray()
while len(out) < 3 << 20:
    entries = b"".join(b"k%d=%d|\r\n" % (random.randrange(5), random.randrange(10**6)) for _ in range(random.randrange(4)))
    rec = bytearray(record(random.choice([b"TEMP", b"AB\0\0", b"\xc3\xa9xx"]), entries, random.randrange(256)))
    if random.randrange(10) == 0:
        rec[random.randrange(len(rec))] ^= 1
    out += rec
    out += bytes(random.choice(b"<h>\0x") for _ in range(random.choice([0, 0, 1, 7, 40])))
open("par.bin", "wb").write(out)
EOF
"$U" convert --to-text par.bin >par.txt
for form in bin txt; do
  opt=; [ $form = txt ] && opt=--text
  for style in "" "--json --entries"; do
    # shellcheck disable=SC2086
    "$U" list $opt $style --threads 1 par.$form >par.1
    [ "$(wc -l <par.1)" -gt 40000 ] || fail "parallel capture too small: $(tail -n1 par.1)"
    for t in 2 3 8; do
      # shellcheck disable=SC2086
      "$U" list $opt $style --threads $t par.$form | cmp -s - par.1 || fail "list $opt $style --threads $t differs"
    done
  done
done
"$U" convert --to-binary --threads 3 par.txt | cmp -s - <("$U" convert --to-binary --threads 1 par.txt) \
  || fail "convert --threads 3 differs"
"$U" extract --name TEMP --index 15000 --threads 3 par.bin \
  | cmp -s - <("$U" extract --name TEMP --index 15000 --threads 1 par.bin) || fail "extract --threads 3 differs"

# A failed write ends the tool at once: following a pipe that never ends, and
# listing a file whose records are followed by a terabyte of holes.
if [ -e /dev/full ]; then
  st=0; { cat records; exec cat /dev/zero; } | timeout 60 "$U" list - >/dev/full 2>err || st=$?
  [ "$st" = 1 ] && grep -q 'No space left' err || fail "following a pipe to /dev/full: status $st: $(cat err)"
  cp par.bin holes && truncate -s 1T holes
  st=0; timeout 60 "$U" list --json holes >/dev/full 2>err || st=$?
  [ "$st" = 1 ] && grep -q 'No space left' err || fail "listing a file to /dev/full: status $st: $(cat err)"
  rm holes
fi

echo "tool_cli: all checks passed"
