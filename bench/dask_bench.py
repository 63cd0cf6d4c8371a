"""ulvex.dask.read_captures on a local cluster against one process.

One run on an archive of 8 files of 64 MiB, records of four entries (an
integer timestamp, a device string, a float reading, an integer sequence
number) among some garbage:
  - the mean of the "reading" entry over the archive, in one process:
    ulvex.scan of each mapped file, Records.to_pandas of that entry, the mean;
  - the same mean with read_captures on a LocalCluster of 1 and of 2 worker
    processes (one thread each, started and with ulvex.dask imported before
    the clock starts), graph building included;
  - a full compute() of the archive's rows to the client on 2 workers
    (bound by Dask's own transport of millions of rows).
Run with the interpreter that has the package installed:
    build/venv/bin/python bench/dask_bench.py [DIR] [MiB per file]
The archive is written to DIR (default: a temporary directory) and removed
afterwards unless DIR is given.
"""

import importlib
import math
import mmap
import os
import random
import shutil
import sys
import tempfile
import time

import ulvex
import ulvex.dask
from dask.distributed import Client, LocalCluster

FILES = 8
KEYS = {"reading": "float64"}


def make_block(rng):
    """4 MiB of records with four entries between 0 and 32 bytes of garbage."""
    block, seq = bytearray(), 0
    names = [b"TEMP", b"PRES", b"HUM"]
    while len(block) < 4 * 2**20:
        block += rng.randbytes(rng.randrange(33))
        payload = (
            ulvex.entry("ts", 1700000000000 + seq)
            + ulvex.entry("device", "dev-%d" % rng.randrange(100))
            + ulvex.entry("reading", rng.uniform(-40.0, 60.0))
            + ulvex.entry("seq", seq)
        )
        block += ulvex.pack(rng.choice(names), payload, 1)
        seq += 1
    return bytes(block) + b"\xff"


def write_archive(folder, mib):
    rng = random.Random(1)
    block = make_block(rng)
    for i in range(FILES):
        with open(os.path.join(folder, "segment-%02d.cap" % i), "wb") as f:
            data = rng.randbytes(i + 1) + block * (mib * 2**20 // len(block) + 1)  # every file a little different
            f.write(data[: mib * 2**20])


def one_process_mean(paths):
    """The same mean without Dask: ulvex.scan, Records.to_pandas, one mean over all files."""
    total, count = 0.0, 0
    for path in paths:
        with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
            records = ulvex.scan(data)
            readings = records.to_pandas(["reading"], types={"reading": "float64"}).reading
            total += float(readings.sum())
            count += int(readings.count())
            del records
    return total / count


def timed(fn):
    start = time.perf_counter()
    result = fn()
    return time.perf_counter() - start, result


def main():
    given = sys.argv[1] if len(sys.argv) > 1 else None
    mib = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    folder = given or tempfile.mkdtemp(prefix="ulvex-dask-bench-")
    try:
        if not os.listdir(folder):
            write_archive(folder, mib)
        paths = sorted(os.path.join(folder, n) for n in os.listdir(folder))
        size = sum(os.path.getsize(p) for p in paths)
        t_base, mean = timed(lambda: one_process_mean(paths))
        rows = {}
        for workers in (1, 2):
            with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True) as cluster, Client(
                cluster
            ) as client:
                client.run(importlib.import_module, "ulvex.dask")  # the workers' imports are not the mean's time
                frame = ulvex.dask.read_captures(folder, keys=KEYS)
                t, got = timed(lambda: ulvex.dask.read_captures(folder, keys=KEYS).reading.mean().compute())
                assert math.isclose(got, mean, rel_tol=1e-9), (got, mean)
                rows[workers] = t
                if workers == 2:
                    t_full, full = timed(lambda: frame.compute())
        print(f"archive: {len(paths)} files, {size / 2**20:.0f} MiB, {len(full)} records")
        print(f"one process, scan + to_pandas + mean {t_base:7.2f} s")
        print(f"read_captures mean, 1 worker          {rows[1]:7.2f} s  ({rows[1] / t_base:.2f}x one process)")
        print(f"read_captures mean, 2 workers         {rows[2]:7.2f} s  ({rows[1] / rows[2]:.2f}x faster than 1)")
        print(f"read_captures compute() to client, 2  {t_full:7.2f} s")
    finally:
        if given is None:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
