"""Entries as columns, from Python and from the shell, each beside the obvious route.

One run on a capture of 1,000,000 records (four entries each: an integer
timestamp, a device string, a float reading, an integer sequence number;
garbage between records):
  - Records.to_pandas() (all keys, auto) against the loop over
    ulvex.entries, pd.DataFrame.from_records and pd.to_numeric on each
    numeric key;
  - `ulvex table FILE` read by pd.read_csv against
    `ulvex list --json --entries FILE` read by pd.read_json(lines=True).
to_pandas() is the best of 3 runs, each baseline and the pipelines the best of 2. Run with the
interpreter that has the package installed and the tool built:
  build/venv/bin/python bench/columns_bench.py build/dev/tools/ulvex [records]
"""

import os
import random
import subprocess
import sys
import tempfile

import pandas as pd

import ulvex
from python_bench import best_of  # beside this script


def make_capture(n):
    rng = random.Random(21)
    parts = []
    for i in range(n):
        payload = (ulvex.entry(b"ts", 1_700_000_000_000 + 10 * i) + ulvex.entry(b"device", "dev-%d" % rng.randrange(64))
                   + ulvex.entry(b"reading", rng.randrange(100000) / 997) + ulvex.entry(b"seq", i))
        parts.append(ulvex.pack(b"TEMP" if i % 8 else b"STAT", payload, 1))
        parts.append(rng.randbytes(rng.randrange(8)))
    return b"".join(parts)


def obvious(recs):
    df = pd.DataFrame.from_records([ulvex.entries(r.payload) for r in recs])
    for key in (b"ts", b"reading", b"seq"):
        df[key] = pd.to_numeric(df[key])
    return df


def pipe(cmd, read):
    with subprocess.Popen(cmd, stdout=subprocess.PIPE) as p:
        df = read(p.stdout)
    if p.returncode != 0:
        raise RuntimeError("%s failed" % cmd)
    return df


def main():
    tool = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    capture = make_capture(n)
    recs = ulvex.scan(capture)
    assert len(recs) == n

    t_ours, df = best_of(3, lambda: recs.to_pandas())
    t_all, _ = best_of(3, lambda: recs.to_pandas(threads=0))
    t_base, base = best_of(2, lambda: obvious(recs))
    assert df["seq"].tolist() == base[b"seq"].tolist() and df["reading"].tolist() == base[b"reading"].tolist()
    assert str(df["ts"].dtype) == "Int64" and str(df["reading"].dtype) == "Float64"

    with tempfile.NamedTemporaryFile(suffix=".bin", delete=False) as f:
        f.write(capture)
    try:
        t_csv, csv = best_of(2, lambda: pipe([tool, "table", f.name], pd.read_csv))
        t_json, js = best_of(2, lambda: pipe([tool, "list", "--json", "--entries", f.name],
                                              lambda s: pd.read_json(s, lines=True)))
    finally:
        os.unlink(f.name)
    assert len(csv) == n and csv["seq"].tolist() == df["seq"].tolist()

    rows = [
        ("Records.to_pandas() vs entries loop + from_records + to_numeric", t_ours, t_base, 15),
        ("`ulvex table` | pd.read_csv vs `ulvex list --json --entries` | pd.read_json", t_csv, t_json, 5),
    ]
    print("%d records, %.0f MB capture" % (n, len(capture) / 1e6))
    print("| Target | ulvex | Baseline | Ratio | Needed | Met |")
    print("|---|---|---|---|---|---|")
    ok = True
    for name, ours, base_t, needed in rows:
        ratio = base_t / ours
        ok &= ratio >= needed
        print("| %s | %.3g s | %.3g s | %.3gx | %gx | %s |"
              % (name, ours, base_t, ratio, needed, "yes" if ratio >= needed else "**no**"))
    print("(Records.to_pandas(threads=0): %.3g s, %.3gx the baseline)" % (t_all, t_base / t_all))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
