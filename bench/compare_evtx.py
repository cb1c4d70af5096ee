#!/usr/bin/env python3
"""Side-by-side read speed: evtx_read_bench against the independent EVTX
readers Debian packages (libevtx-utils' evtxexport -f xml, python3-evtx's
evtx_dump.py), on the five largest corpus files and optionally the 1 GiB
synthetic file. Times are CPU seconds (user + sys) of each whole process, as
the machine is shared; wall seconds are printed beside them.

Usage: bench/compare_evtx.py BUILD_DIR [--shared DIR] [--synthetic]
"""
import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import time


def largest_corpus_files(shared, n=5):
    files = []
    for root, _, names in os.walk(os.path.join(shared, "corpus")):
        files += [os.path.join(root, x) for x in names if x.endswith(".evtx")]
    files.sort()
    files.sort(key=lambda p: -os.path.getsize(p))  # stable, as in the bench
    return files[:n]


def run_timed(argv):
    """CPU and wall seconds of one child process, output discarded."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, proc.returncode


def our_figures(build, bench_filter, shared):
    env = dict(os.environ, QRV_SHARED_DIR=shared)
    out = subprocess.run(
        [os.path.join(build, "bench", "evtx_read_bench"),
         "--benchmark_filter=" + bench_filter, "--benchmark_format=json"],
        env=env, check=True, capture_output=True, text=True).stdout
    rows = {}
    for b in json.loads(out)["benchmarks"]:
        rows[b["name"].split("/")[0]] = b  # drop "/iterations:N"
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--shared", default=os.environ.get("QRV_SHARED_DIR", "/work/shared"))
    ap.add_argument("--synthetic", action="store_true",
                    help="also run evtxexport on the 1 GiB synthetic file")
    args = ap.parse_args()

    files = largest_corpus_files(args.shared)
    if not files:
        sys.exit("no corpus under " + args.shared)
    ours = our_figures(args.build, "Largest5", args.shared)
    sys_row = ours["BM_Largest5_SystemProperties"]
    xml_row = ours["BM_Largest5_Xml"]
    records = sys_row["records"]
    print("files: " + "; ".join(os.path.basename(f) for f in files))
    print("records in these files (our count): %d" % records)
    print("%-34s %12s %10s %10s %14s" % ("reader", "records/s", "cpu s", "wall s", "xml ratio"))
    our_xml = xml_row["records/s"]
    print("%-34s %12.0f %10s %10s %14s" % ("qrv system properties", sys_row["records/s"], "-", "-",
                                            "%.1fx of xml" % (sys_row["records/s"] / our_xml)))
    print("%-34s %12.0f %10s %10s %14s" % ("qrv full xml", our_xml, "-", "-", "1.0"))

    peers = []
    if shutil.which("evtxexport"):
        peers.append(("evtxexport -f xml", lambda f: ["evtxexport", "-f", "xml", f]))
    dump = shutil.which("evtx_dump.py")
    if dump:
        # Its shebang names the Debian python that has the Evtx module.
        peers.append(("evtx_dump.py", lambda f: [dump, f]))
    for name, argv in peers:
        cpu = wall = 0.0
        failures = 0
        for f in files:
            c, w, rc = run_timed(argv(f))
            cpu += c
            wall += w
            failures += rc != 0
        rate = records / cpu if cpu > 0 else 0.0
        print("%-34s %12.0f %10.2f %10.2f %14s%s" % (
            name, rate, cpu, wall, "qrv xml %.1fx" % (our_xml / rate) if rate else "-",
            "  (%d runs failed)" % failures if failures else ""))

    if args.synthetic and shutil.which("evtxexport"):
        synth = our_figures(args.build, "Synthetic1G", args.shared)
        path = os.path.join(args.build, "bench_data", "synthetic_1g.evtx")
        big = synth["BM_Synthetic1G_SystemProperties"]["records"]
        ours_big = synth["BM_Synthetic1G_Xml"]["records/s"]
        c, w, rc = run_timed(["evtxexport", "-f", "xml", path])
        print("synthetic 1 GiB: %d records; qrv xml %.0f records/s; evtxexport %.0f records/s "
              "(cpu %.1f s, wall %.1f s, rc %d): %.1fx" % (
                  big, ours_big, big / c, c, w, rc, ours_big / (big / c)))


if __name__ == "__main__":
    main()
