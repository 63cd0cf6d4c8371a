"""The Python package against a pure-Python scanner and the C++ bulk listing.

One run on a 256 MiB capture of records with 32-byte payloads among garbage:
  - ulvex.scan against a pure-Python scanner written the obvious way
    (bytes.find, struct.unpack_from, sum() for the checksum), which is timed
    on a slice of the capture and scaled to the whole (said in the table);
  - ulvex.scan against the C++ bulk listing (FindAllTagPtrAnyName into a
    std::vector<STag>, called in-process with the GIL released), in records
    per second on the same bytes;
  - iterating the Record objects of the listing.
Each ulvex figure is the best of 3 runs. Run with the interpreter that has
the package installed:  build/venv/bin/python bench/python_bench.py [MiB]
"""

import random
import struct
import sys
import time

import ulvex
from ulvex import _ulvex

SLICE = 16 * 2**20  # what the pure-Python scanner reads


def make_capture(size):
    """Records with 32-byte payloads between 0 and 64 bytes of random garbage,
    built as a 4 MiB block repeated (whole records only, no record across a seam)."""
    rng = random.Random(1)
    names = [b"TEMP", b"CONF", b"DATA", b"LOG\0"]
    block = bytearray()
    while len(block) < 4 * 2**20:
        block += rng.randbytes(rng.randrange(65))
        block += ulvex.pack(rng.choice(names).rstrip(b"\0"), rng.randbytes(32), rng.randrange(256))
    block += b"\xff"  # a garbage byte, so a seam never joins two blocks' bytes into a record
    return (bytes(block) * (size // len(block) + 1))[:size]


def python_scan(buf):
    """The obvious pure-Python scanner for the binary form."""
    find, unpack = buf.find, struct.unpack_from
    n, pos, out = len(buf), 0, []
    while True:
        i = find(b"<h", pos)
        if i < 0 or i >= n - 20:  # no record starts in the last 20 bytes
            return out
        name, length, version, close = unpack("<4sIBc", buf, i + 2)
        footer, end = i + 12 + length, i + 20 + length
        if close == b">" and end <= n and buf[footer] == 0x3C and buf[end - 1] == 0x3E:
            (checksum,) = unpack("<H", buf, footer + 5)
            if buf[footer + 1 : footer + 5] == name and sum(buf[i + 12 : footer]) & 0xFFFF == checksum:
                out.append((i, name, version, length))
                pos = end
                continue
        pos = i + 1


def best_of(n, fn):
    best, result = float("inf"), None
    for _ in range(n):
        t = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t)
    return best, result


def fmt_rate(x, unit):
    for scale, prefix in ((1e9, "G"), (1e6, "M"), (1e3, "k")):
        if x >= scale:
            return "%.3g %s%s" % (x / scale, prefix, unit)
    return "%.3g %s" % (x, unit)


def main():
    size = int(sys.argv[1]) * 2**20 if len(sys.argv) > 1 else 256 * 2**20
    capture = make_capture(size)
    mib = len(capture) / 2**20

    piece = capture[:SLICE]
    t_py_slice, py_records = best_of(1, lambda: python_scan(piece))
    assert [r[0] for r in py_records] == ulvex.scan(piece).offset.tolist(), "pure-Python scanner disagrees"
    t_py = t_py_slice * len(capture) / len(piece)

    t_scan, records = best_of(3, lambda: ulvex.scan(capture))
    t_cxx, count = best_of(3, lambda: _ulvex._cxx_listing_count(capture))
    assert count == len(records), "scan and the bulk listing disagree"
    t_threads, threaded = best_of(3, lambda: ulvex.scan(capture, threads=0))
    assert len(threaded) == len(records)

    def iterate():
        for _ in records:
            pass

    t_iter, _ = best_of(3, iterate)

    n = len(records)
    # (target, ulvex, baseline, ratio, needed, met)
    rows = [
        ("ulvex.scan vs pure Python, first %d MiB timed and scaled" % (len(piece) >> 20),
         fmt_rate(len(capture) / t_scan, "B/s"), fmt_rate(len(capture) / t_py, "B/s"), t_py / t_scan, 40),
        ("ulvex.scan vs C++ bulk listing, records/s",
         fmt_rate(n / t_scan, "/s"), fmt_rate(n / t_cxx, "/s"), t_cxx / t_scan, 0.8),
    ]
    print("%d MiB capture, %d records, 32-byte payloads among garbage" % (mib, n))
    print("| Target | ulvex | Baseline | Ratio | Needed | Met |")
    print("|---|---|---|---|---|---|")
    ok = True
    for name, ours, base, ratio, needed in rows:
        met = ratio >= needed
        ok &= met
        print("| %s | %s | %s | %.3gx | %gx | %s |" % (name, ours, base, ratio, needed, "yes" if met else "**no**"))
    rate = n / t_iter
    ok &= rate >= 3e6
    met = "yes" if rate >= 3e6 else "**no**"
    print("| Iterating Record objects | %s | | | 3 M/s | %s |" % (fmt_rate(rate, "/s"), met))
    print("(ulvex.scan with threads=0: %s, %.3gx the one-thread scan)"
          % (fmt_rate(len(capture) / t_threads, "B/s"), t_scan / t_threads))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
