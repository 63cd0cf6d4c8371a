#!/usr/bin/env python3
"""Turns a ulvex_bench JSON report into the table of speed targets.

Usage:
  build/bench/ulvex_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
      --benchmark_out=bench.json --benchmark_out_format=json
  python3 bench/targets.py bench.json

Each target compares a benchmark with its baseline from the same run (the
median of the repetitions when there are several) and prints one markdown
row: the two throughputs, their ratio and whether the target is met. The exit
status is 1 when a target is missed or a benchmark is absent.
"""
import json
import sys

# (target, benchmark, baseline, minimum ratio, metric)
TARGETS = [
    ("Binary scan, 8 MiB random bytes, vs one memchr pass", "bin_scan_random_8M/ulvex",
     "bin_scan_random_8M/memchr_nohit", 0.5, "bytes_per_second"),
    ("Binary scan, 8 MiB random bytes, vs byte by byte", "bin_scan_random_8M/ulvex",
     "bin_scan_random_8M/bytewise", 10, "bytes_per_second"),
    ("Binary scan, 1 MiB dense candidate bytes, vs byte by byte", "bin_scan_dense_1M/ulvex",
     "bin_scan_dense_1M/bytewise", 3, "bytes_per_second"),
    ("Checksum, 1 MiB (exported CFooter::CalcolaChecksum), vs -O3 byte-sum loop", "checksum_1M/CFooter",
     "checksum_1M/bytesum", 2, "bytes_per_second"),
    ("Checksum, 1 MiB (exported CPtrFooter::CalcolaChecksum), vs -O3 byte-sum loop", "checksum_1M/CPtrFooter",
     "checksum_1M/bytesum", 2, "bytes_per_second"),
    ("Listing 64-KiB records, vs -O3 byte-sum loop over the buffer", "bin_list_64K/ulvex",
     "bin_list_64K/bytesum", 1.2, "bytes_per_second"),
    ("Listing 32-byte records, vs byte-by-byte listing", "bin_list_32B/ulvex", "bin_list_32B/bytewise", 2,
     "items_per_second"),
    ("FindTag of the last record of 4 MiB, vs byte by byte", "bin_findtag_last_4M/ulvex",
     "bin_findtag_last_4M/bytewise", 10, "bytes_per_second"),
    ("Text scan, 4 MiB random printable bytes, vs byte by byte", "txt_scan_random_4M/ulvex",
     "txt_scan_random_4M/bytewise", 30, "bytes_per_second"),
    ("Listing text records, vs byte-by-byte listing", "txt_list_1M/ulvex", "txt_list_1M/bytewise", 3,
     "items_per_second"),
]
for t in ["schar", "uchar", "short", "ushort", "int", "uint", "llong", "ullong", "float", "double", "hex"]:
    TARGETS.append(("FormatData%s (%s), vs a fresh ostringstream" % ("Hex" if t == "hex" else "", t),
                    "fmt_%s/ulvex" % t, "fmt_%s/ostream" % t, 5, "items_per_second"))
TARGETS.append(("FindInData of the last key in 64 KiB, vs byte by byte", "findindata_last_64K/ulvex",
                "findindata_last_64K/bytewise", 5, "bytes_per_second"))
# ulvex::Scan on one thread keeps within 5% of the whole-buffer listing, and
# two threads reach 1.7 times one thread (wall-clock time).
for form, label in (("bin", "binary"), ("txt", "text")):
    TARGETS.append(("Scan on 1 thread, 32 MiB of %s records among garbage, vs FindAllTagPtrAnyName" % label,
                    "scan_%s_mixed_32M/Scan_1_thread" % form, "scan_%s_mixed_32M/FindAllTagPtrAnyName" % form,
                    0.95, "bytes_per_second"))
TARGETS.append(("Scan of 1 GiB of 32-byte records, 2 threads vs 1 thread", "scan_bin_records32_1G/threads/2/real_time",
                "scan_bin_records32_1G/threads/1/real_time", 1.7, "bytes_per_second"))
TARGETS.append(("Scan of 1 GiB of 32-byte records, 2 threads vs two independent 1-thread scans of its halves "
                "(the machine's ceiling for 2 threads)", "scan_bin_records32_1G/threads/2/real_time",
                "scan_bin_records32_1G/two_independent_halves/real_time", 0.9, "bytes_per_second"))


def Load(path):
    with open(path) as f:
        report = json.load(f)
    runs = {}
    for b in report["benchmarks"]:
        name = b.get("run_name", b["name"])
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") != "median":
                continue
        elif name in runs:
            continue  # several plain repetitions: keep the first
        runs[name] = b
    return report.get("context", {}), runs


def Human(value, metric):
    unit = "B/s" if metric == "bytes_per_second" else "items/s"
    for prefix, scale in (("G", 1e9), ("M", 1e6), ("k", 1e3)):
        if value >= scale:
            return "%.3g %s%s" % (value / scale, prefix, unit)
    return "%.3g %s" % (value, unit)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    context, runs = Load(argv[1])
    print("| Target | ulvex | Baseline | Ratio | Needed | Met |")
    print("|---|---|---|---|---|---|")
    ok = True
    for label, bench, base, need, metric in TARGETS:
        if bench not in runs or base not in runs:
            print("| %s | missing | missing | - | %gx | no |" % (label, need))
            ok = False
            continue
        a, b = runs[bench][metric], runs[base][metric]
        ratio = a / b
        met = ratio >= need
        ok = ok and met
        print("| %s | %s | %s | %.2fx | %gx | %s |" % (label, Human(a, metric), Human(b, metric), ratio, need,
                                                       "yes" if met else "**no**"))
    if any(n.startswith("hostile_") for n in runs):
        print()
        print("| Hostile input | Size | Time | Throughput |")
        print("|---|---|---|---|")
        for name in sorted({n.rsplit("/", 1)[0] for n in runs if n.startswith("hostile_")}):
            for n, r in sorted(((int(k.split("/")[-1]), v) for k, v in runs.items() if k.startswith(name + "/")),
                               key=lambda x: x[0]):
                print("| %s | %d KiB | %.3g %s | %s |" % (name, n // 1024, r["real_time"], r["time_unit"],
                                                        Human(r["bytes_per_second"], "bytes_per_second")))
    if context:
        print()
        print("Load average during the run: %s" % context.get("load_avg", "?"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
