#!/usr/bin/env python3
"""Legacy .evt logs through the built program beside evtexport (Debian
libevt-utils): wall seconds, CPU seconds (user + system) and peak RSS of
`Select *` over one log named by file:// path, with an empty image root (no
message files), medians of --runs runs, every tool writing to /dev/null.
Each timed run is started with posix_spawn and reaped with wait4, which
gives its CPU time; the wall time is the span of the two calls, so a run of
a few milliseconds is timed to the microsecond. Runs alternate between the
tools, and the speed-up is also given as the median of each pair's ratio,
which a machine whose speed drifts during the benchmark disturbs less. Peak
RSS comes from one more run of each under GNU time (a child spawned from
this script would report the script's own memory as its peak).

Logs:
  - the shared Windows XP System log (../shared/corpus/evt/SysEvent.Evt),
    when the shared folder exists;
  - a log of --size MiB (default 1024) written once by make_evt_log into
    BUILD_DIR/bench_data, to show that memory stays flat in the file's size.

The speed-up is evtexport's median wall time over the tool's; CPU seconds
are printed beside it, as the machine may be shared.

--pause S sleeps S seconds before each timed run, so that each starts on
an idle machine, as a command typed at a prompt does (an idle core may be
halted, and waking it shows in a run of a few milliseconds). --size 0
leaves the writer-made log out.

Usage: bench/evt_bench.py BUILD_DIR [--shared DIR] [--runs N] [--size MIB]
         [--big-runs N] [--pause S]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def measure(argv, env):
    """(wall s, cpu s) of one run."""
    null = os.open(os.devnull, os.O_WRONLY)
    try:
        actions = [(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)]
        program = shutil.which(argv[0]) or argv[0]
        started = time.perf_counter()
        pid = os.posix_spawn(program, argv, env, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - started
    finally:
        os.close(null)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("%s exited with status %d" % (argv[0], os.waitstatus_to_exitcode(status)))
    return wall, usage.ru_utime + usage.ru_stime


def peak_rss(argv, env):
    """Peak RSS in KiB of one run, from GNU time."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv,
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        return int(report.read().split()[-1])


def bench_log(name, path, tool, runs, env, pause=0.0):
    query = ("<QueryList><Query Id='0'><Select Path='file://%s'>*</Select></Query></QueryList>"
             % os.path.abspath(path))
    cases = {
        "QRV_EventLog_Tools": [tool, "NOWARN", "GETEVENTSQUERY", query],
        "evtexport": ["evtexport", path],
    }
    results = {k: [] for k in cases}
    for _ in range(runs):
        for label, argv in cases.items():  # round-robin: drift touches both
            if pause > 0:
                time.sleep(pause)
            results[label].append(measure(argv, env))
    print("%s (%.1f MiB)" % (name, os.path.getsize(path) / (1 << 20)))
    medians = {}
    for label, rows in results.items():
        wall = statistics.median(r[0] for r in rows)
        cpu = statistics.median(r[1] for r in rows)
        rss = peak_rss(cases[label], env)
        medians[label] = wall
        print("  %-20s wall %9.4f s  cpu %9.4f s  peak RSS %8.1f MiB"
              % (label, wall, cpu, rss / 1024.0))
    tool_wall = medians["QRV_EventLog_Tools"]
    pairs = statistics.median(
        e[0] / t[0] for t, e in zip(results["QRV_EventLog_Tools"], results["evtexport"]))
    print("  speed-up over evtexport (wall): %.1fx of the medians, %.1fx the median pair"
          % (medians["evtexport"] / tool_wall if tool_wall > 0 else float("inf"), pairs))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--shared", default=os.path.join(os.path.dirname(__file__), "..", "..", "shared"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", type=int, default=1024)
    parser.add_argument("--big-runs", type=int, default=1,
                        help="runs on the writer-made log (evtexport takes minutes on 1 GiB)")
    parser.add_argument("--pause", type=float, default=0.0,
                        help="seconds of idle before each timed run of the shared log")
    args = parser.parse_args()
    tool = os.path.join(args.build, "QRV_EventLog_Tools")
    maker = os.path.join(args.build, "bench", "make_evt_log")
    env = dict(os.environ)
    empty = tempfile.mkdtemp(prefix="qrv-evt-bench-")
    env["QRV_EVENTLOG_ROOT"] = empty
    sample = os.path.join(args.shared, "corpus", "evt", "SysEvent.Evt")
    if os.path.exists(sample):
        bench_log("shared XP System log", sample, tool, args.runs, env, args.pause)
    else:
        print("shared XP System log: not found at %s, skipped" % sample)
    if args.size <= 0:
        os.rmdir(empty)
        return 0
    data = os.path.join(args.build, "bench_data")
    os.makedirs(data, exist_ok=True)
    big = os.path.join(data, "writer-%dMiB.evt" % args.size)
    if not os.path.exists(big):
        subprocess.run([maker, big, str(args.size)], check=True)
    bench_log("writer-made log", big, tool, args.big_runs, env)
    os.rmdir(empty)


if __name__ == "__main__":
    sys.exit(main())
