#!/usr/bin/env python3
"""Peak RSS and time of finding the machine's Windows build from a large
System log: a folder holding only System.evtx (intact corpus chunks,
renumbered, as scale_bench.py makes them; the corpus' System logs bring
their EventLog 6009 boot events along) is read with a folder of two message
databases, so the program reads the whole System log for its newest 6009
event before it lists the channels. The same run without the databases
gives the baseline the lookup adds to. Peak RSS should not grow with the
log's size.

Usage: bench/system_log_build_bench.py BUILD_DIR [--shared DIR]
         [--sizes MIB,...] [--runs N]
The logs are written once into BUILD_DIR/bench_data.
"""
import argparse
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scale_bench import intact_chunks, write_log  # noqa: E402

MIB = 1 << 20


def database(path):
    """An empty message database in the published schema."""
    if os.path.exists(path):
        return
    db = sqlite3.connect(path)
    db.executescript(
        "CREATE TABLE providers (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT);"
        "CREATE TABLE messages (event_id INTEGER NOT NULL, id INTEGER PRIMARY KEY "
        "AUTOINCREMENT, message TEXT, provider_id INTEGER NOT NULL);")
    db.close()


def run(tool, env):
    """Wall seconds, peak RSS (KiB) and standard error of one run."""
    with tempfile.NamedTemporaryFile("r") as figures:
        proc = subprocess.run(
            ["/usr/bin/time", "-f", "%e %M", "-o", figures.name, tool,
             "NOWARN", "GETLISTCHANNELS"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
            check=True)
        wall, rss = figures.read().split()[-2:]
    return float(wall), int(rss), proc.stderr.decode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--shared", default=os.environ.get("QRV_SHARED_DIR", "/work/shared"))
    ap.add_argument("--sizes", default="64,1024,3072")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()

    tool = os.path.join(os.path.abspath(args.build), "QRV_EventLog_Tools")
    data = os.path.join(os.path.abspath(args.build), "bench_data")
    databases = os.path.join(data, "build-databases")
    os.makedirs(databases, exist_ok=True)
    for name in ("windows_10_22h2_x64_10.0.19045.0.db",
                 "windows_11_23h2_x64_10.0.22631.0.db"):
        database(os.path.join(databases, name))
    pool = intact_chunks(args.shared)
    if not pool:
        sys.exit("no intact chunks under " + args.shared)

    print("%8s %-10s %8s %10s  %s" % ("MiB", "case", "wall s", "peak RSS", "build"))
    for mib in (int(s) for s in args.sizes.split(",")):
        root = os.path.join(data, "system-%d" % mib)
        os.makedirs(root, exist_ok=True)
        write_log(os.path.join(root, "System.evtx"), pool, mib * MIB)
        for case, with_databases in (("baseline", False), ("lookup", True)):
            env = dict(os.environ, QRV_EVENTLOG_ROOT=root,
                       QRV_EVENTLOG_MESSAGES_VERBOSE="1")
            env.pop("QRV_EVENTLOG_MESSAGES", None)
            if with_databases:
                env["QRV_EVENTLOG_MESSAGES"] = databases
            results = [run(tool, env) for _ in range(args.runs)]
            line = results[-1][2]
            found = ""
            if "machine build" in line:
                found = line.split("machine build ")[1].split(";")[0]
            print("%8d %-10s %8.2f %7.1f MiB  %s" % (
                mib, case, statistics.median(r[0] for r in results),
                statistics.median(r[1] for r in results) / 1024, found),
                flush=True)


if __name__ == "__main__":
    main()
