#!/usr/bin/env bash
# ulvex list --follow: a writer appends records in pieces cut at random places,
# truncates the file once and replaces it by a rename once. Stopped by SIGTERM,
# the follower has printed what `ulvex list` finds in each of the file's
# contents, said so on standard error, and used no CPU while the file was idle.
set -euo pipefail
U=$1
tmp=$(mktemp -d) pid=
trap '[ -z "$pid" ] || kill -9 "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Three contents: records of three names, garbage and damaged records between them.
for i in $(seq 0 29); do "$U" entries "n=$i" "pad=$(printf "%$((i * 7))s")" | "$U" pack --name "R$((i % 3))" >"r$i"; done
/usr/bin/python3 - <<'PY'
import random
random.seed(7)
recs = [open(f"r{i}", "rb").read() for i in range(30)]
for name in ("c1", "c2", "c3"):
    out = b""
    for _ in range(15):
        r = random.choice(recs)
        if random.random() < 0.25:  # a damaged payload byte
            i = random.randrange(12, len(r) - 8)
            r = r[:i] + bytes([r[i] ^ 1]) + r[i + 1:]
        out += bytes(random.choice(b"abcdefgh") for _ in range(random.randrange(9))) + r
    open(name, "wb").write(out + b".")
PY
# append SOURCE FILE FROM TO: bytes FROM..TO of SOURCE, in pieces of 1 to 97 bytes.
append() {
  /usr/bin/python3 -c 'import random, sys, time
data, lo, hi = open(sys.argv[1], "rb").read(), int(sys.argv[3]), int(sys.argv[4])
with open(sys.argv[2], "ab", buffering=0) as f:
    while lo < hi:
        n = random.randint(1, 97); f.write(data[lo:min(lo + n, hi)]); lo += n; time.sleep(random.random() * 0.003)' "$@"
}
records() { "$U" list --json "$@" | grep '"type":"record"' || true; }
wait_until() {
  local tries=0
  until eval "$1"; do sleep 0.05; tries=$((tries + 1)); [ $tries -lt 200 ] || fail "timed out waiting for: $1"; done
}
shown() { [ "$(grep -c '"type":"record"' out)" = "$1" ]; }
n1=$(records c1 | wc -l) n2=$(records c2 | wc -l) n3=$(records c3 | wc -l)

: >f
"$U" list --json --follow f >out 2>err &
pid=$!
append c1 f 0 "$(stat -c %s c1)"
wait_until "shown $n1"
: >f
wait_until "grep -q truncated err"
append c2 f 0 "$(stat -c %s c2)"
wait_until "shown $((n1 + n2))"
half=$(($(stat -c %s c3) / 2))
append c3 f.new 0 $half
mv f.new f
wait_until "grep -q replaced err"
append c3 f $half "$(stat -c %s c3)"
wait_until "shown $((n1 + n2 + n3))"

# Idle for 2 s: user plus system time in clock ticks, under 0.1 s.
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep 2
used=$(($(ticks) - before))
[ $((used * 10)) -lt "$(getconf CLK_TCK)" ] || fail "$used clock ticks of CPU time while idle"

kill -TERM $pid
status=0 && wait $pid || status=$?
pid=
[ $status = 0 ] || fail "exit status $status after SIGTERM"
{ records c1; records c2; records c3; } | cmp -s - <(grep '"type":"record"' out) || fail "records differ: $(cat out)"
tail -n 1 out | grep -q "\"type\":\"summary\",\"records\":$((n1 + n2 + n3))," || fail "summary: $(tail -n 1 out)"
[ "$(wc -l <err)" = 2 ] || fail "messages: $(cat err)"
echo "tool_follow: passed ($used clock ticks of CPU time in 2 s idle)"
