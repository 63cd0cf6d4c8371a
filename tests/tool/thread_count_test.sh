#!/usr/bin/env bash
# `ulvex list --threads 2` scans and formats on one pool: while it lists a
# large input, its process never has more than 3 threads (2 workers and the
# main thread), and the listing is the same as with 1 thread.
set -euo pipefail
ulvex=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
printf 'x' | "$ulvex" pack --name AB > "$tmp/in"
for _ in $(seq 21); do cat "$tmp/in" "$tmp/in" > "$tmp/t" && mv "$tmp/t" "$tmp/in"; done  # 2^21 records
"$ulvex" list --threads 2 --entries "$tmp/in" > "$tmp/two" & pid=$!
most=0
while [ -d "/proc/$pid/task" ]; do
  n=$( (ls "/proc/$pid/task" 2>/dev/null || true) | wc -l)
  if [ "$n" -gt "$most" ]; then most=$n; fi
done
wait "$pid"
[ "$most" -le 3 ] || { echo "list --threads 2 ran $most threads"; exit 1; }
"$ulvex" list --threads 1 --entries "$tmp/in" | cmp - "$tmp/two"
echo "at most $most threads"
