#!/usr/bin/env bash
# ulvex stats against ulvex list --json of the same files: records, versions
# and payload sizes per name and the totals, for damaged inputs of both forms
# and several files; the count of threads changes nothing.
set -euo pipefail
U=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
for i in $(seq 0 19); do "$U" entries "n=$i" | "$U" pack --name "N$((i % 4))" --version $((i % 3)) >>records.bin; done
"$U" convert --to-text records.bin >records.txt
/usr/bin/python3 - "$U" <<'PY'
import json, random, subprocess, sys
U = sys.argv[1]
random.seed(3)
def damaged(data):  # flipped bytes, and stray "<h"
    data = bytearray(data)
    for _ in range(12):
        data[random.randrange(len(data))] ^= 1 << random.randrange(8)
    return bytes(data) + b"<h" + data[:200]
for name in ("a.bin", "b.bin", "a.txt"):
    open(name, "wb").write(damaged(open("records." + name[2:], "rb").read()))
run = lambda *args: subprocess.run([U, *args], stdout=subprocess.PIPE, check=True).stdout
for form, files in (([], ["a.bin", "b.bin"]), (["--text"], ["a.txt"])):
    stats = json.loads(run("stats", "--json", *form, *files))
    assert stats == json.loads(run("stats", "--json", "--threads", "1", *form, *files))
    lines = [json.loads(l) for f in files for l in run("list", "--json", *form, f).splitlines()]
    recs = [l for l in lines if l["type"] == "record"]
    names = {}
    for r in recs:
        n = names.setdefault(r["name"], {"name": r["name"], "records": 0, "versions": set(), "payload_bytes": 0,
                                         "payload_min": r["payload_length"], "payload_max": 0})
        n["records"] += 1
        n["versions"].add(r["version"])
        n["payload_bytes"] += r["payload_length"]
        n["payload_min"] = min(n["payload_min"], r["payload_length"])
        n["payload_max"] = max(n["payload_max"], r["payload_length"])
    for s in stats["names"]:
        assert round(s.pop("payload_mean") * s["records"]) == s["payload_bytes"], s
        s["versions"] = set(s["versions"])
    assert stats.pop("names") == [names[k] for k in sorted(names)], form
    rejected = stats.pop("rejected")
    assert rejected > 0, form
    inputs = sum(l["input_bytes"] for l in lines if l["type"] == "summary")
    assert stats == {"type": "stats", "files": len(files), "records": len(recs),
                     "record_bytes": sum(r["record_length"] for r in recs),
                     "skipped_bytes": inputs - sum(r["record_length"] for r in recs), "input_bytes": inputs}, stats
    table = run("stats", *form, *files).decode().splitlines()
    assert table[-1].endswith(f" {rejected} rejected candidates") and len(table) == len(names) + 2, table
PY
echo "tool_stats: passed"
