#!/usr/bin/env python3
"""Scale of GETEVENTSQUERY through the built program, side by side with the
Rust evtx_dump (`-t 1` and `-t 2`, `-o xml`) in one run: wall seconds and
peak RSS (medians of --runs runs), on logs made of intact chunks of the
corpus logs (both checksums good), renumbered so record ids run on, 64 MiB
and 1 GiB by default (--sizes). Real chunks are used because
writer-made logs are lighter and flatter the figures.

Cases, each against the same log named by file:// path:
  - `Select *` with no message files (an empty image root);
  - `Select *` with messages from the image at --image (default: the
    built-in sample image beside the program);
  - `Select *` with messages from a message database, when one is given
    (--messages-db, or QRV_EVENTLOG_MESSAGES already set) and an empty
    image root;
  - a selective query on one EventID, chosen from a 64 MiB log's own
    output so that it keeps about 5 % of the events (45 k of the 1 GiB
    log's 920 k), with no message files.
CPU seconds (user + system, all threads) are printed beside wall seconds,
as the machine may be shared. The cases of one log run round-robin, --runs
rounds, so that a drift in the machine's speed touches them all alike.
Every timed run, this tool's and the peer's, writes to the same sink:
/dev/null by default, or with --sink pipe a pipe this script reads (where
this tool's one write per line, each line being flushed, costs it more
than the peer's buffered output). Bytes printed are counted through a
pipe (in one untimed run per case when the sink is /dev/null); peak RSS
is checked against 64 MiB + 1.25 x printed bytes for `Select *` and
96 MiB for the selective query, and `Select *` is given as a fraction of
`evtx_dump -t 2`'s wall time.

Usage: bench/scale_bench.py BUILD_DIR [--shared DIR] [--runs N]
         [--evtx-dump PATH] [--image ROOT] [--messages-db PATH]
         [--sizes MIB,...] [--sink null|pipe]
The logs are written once into BUILD_DIR/bench_data.
"""
import argparse
import collections
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HEADER_BLOCK = 4096
CHUNK = 65536
MIB = 1 << 20


def intact_chunks(shared):
    """Chunks of the corpus logs whose header and data checksums hold."""
    files = []
    for root, _, names in os.walk(os.path.join(shared, "corpus")):
        files += [os.path.join(root, n) for n in names if n.endswith(".evtx")]
    chunks = []
    for path in sorted(files):
        with open(path, "rb") as f:
            data = f.read()
        if data[:8] != b"ElfFile\0":
            continue
        for off in range(HEADER_BLOCK, len(data) - CHUNK + 1, CHUNK):
            c = data[off:off + CHUNK]
            if c[:8] != b"ElfChnk\0":
                continue
            head_crc = zlib.crc32(c[128:512], zlib.crc32(c[:120]))
            free = struct.unpack_from("<I", c, 48)[0]
            if head_crc != struct.unpack_from("<I", c, 124)[0]:
                continue
            if not 512 < free <= CHUNK:
                continue
            if zlib.crc32(c[512:free]) != struct.unpack_from("<I", c, 52)[0]:
                continue
            chunks.append(c)
    return chunks


def renumbered(chunk, first_id):
    """The chunk with record ids from first_id on; returns (bytes, next id)."""
    c = bytearray(chunk)
    free = struct.unpack_from("<I", c, 48)[0]
    pos, rid = 512, first_id
    while pos + 24 <= free and c[pos:pos + 4] == b"**\0\0":
        size = struct.unpack_from("<I", c, pos + 4)[0]
        if size < 28 or pos + size > free:
            break
        struct.pack_into("<Q", c, pos + 8, rid)
        rid += 1
        pos += size
    last = max(first_id, rid - 1)
    struct.pack_into("<QQQQ", c, 8, first_id, last, first_id, last)
    struct.pack_into("<I", c, 52, zlib.crc32(bytes(c[512:free])))
    struct.pack_into("<I", c, 124, zlib.crc32(bytes(c[128:512]), zlib.crc32(bytes(c[:120]))))
    return bytes(c), rid


def write_log(path, pool, size):
    """A log of `size` bytes cycling through the pool of chunks."""
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    count = (size - HEADER_BLOCK) // CHUNK
    part = path + ".part"
    rid = 1
    with open(part, "wb") as out:
        out.write(b"\0" * HEADER_BLOCK)
        for i in range(count):
            data, rid = renumbered(pool[i % len(pool)], rid)
            out.write(data)
        head = bytearray(128)
        struct.pack_into("<8sQQQIHHHH", head, 0, b"ElfFile\0", 0, count - 1, rid,
                         128, 1, 3, HEADER_BLOCK, min(count, 0xFFFF))
        struct.pack_into("<I", head, 124, zlib.crc32(bytes(head[:120])))
        out.seek(0)
        out.write(head)
    os.rename(part, path)


def run(argv, env, sink):
    """Wall seconds, CPU seconds, peak RSS (bytes), exit status and bytes
    printed (None unless the sink is "pipe") of one child, whose standard
    output goes to /dev/null ("null") or into a pipe this script reads
    ("pipe"). GNU time measures it: a child forked from this script would
    count the script's own memory."""
    count_output = sink == "pipe"
    with tempfile.NamedTemporaryFile("r") as figures:
        proc = subprocess.Popen(
            ["/usr/bin/time", "-f", "%e %U %S %M %x", "-o", figures.name] + argv,
            env=env, stderr=subprocess.DEVNULL,
            stdout=subprocess.PIPE if count_output else subprocess.DEVNULL)
        printed = None
        if count_output:
            printed = 0
            while True:
                block = proc.stdout.read(1 << 20)
                if not block:
                    break
                printed += len(block)
            proc.stdout.close()
        proc.wait()
        fields = figures.read().split()[-5:]
    wall, user, system, rss_kib, code = fields
    return (float(wall), float(user) + float(system), int(rss_kib) * 1024,
            int(code), printed)


def medians(results):
    """Medians of wall, CPU and RSS of run()s; exit codes; bytes printed
    (last run)."""
    return (statistics.median(r[0] for r in results),
            statistics.median(r[1] for r in results),
            statistics.median(r[2] for r in results),
            sorted({r[3] for r in results}), results[-1][4])


def query(log, select="*"):
    return ("<QueryList><Query Path='file://%s'><Select>%s</Select></Query></QueryList>"
            % (log, select))


def selective_id(tool, log, env):
    """The EventID nearest to 5 % of the events in the log's Select * output."""
    out = subprocess.run([tool, "NOWARN", "GETEVENTSQUERY", query(log)], env=env,
                         capture_output=True, check=True).stdout.decode("latin-1")
    ids = collections.Counter(line.split("\t")[3] for line in out.splitlines()
                              if line.count("\t") >= 5)
    total = sum(ids.values())
    best = min(ids, key=lambda i: abs(ids[i] / total - 0.05))
    return best, ids[best] / total


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--shared", default=os.environ.get("QRV_SHARED_DIR", "/work/shared"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--evtx-dump", help="the peer's evtx_dump (default: build it)")
    ap.add_argument("--image", help="image root with message files "
                    "(default: BUILD_DIR/sample-image)")
    ap.add_argument("--messages-db", default=os.environ.get("QRV_EVENTLOG_MESSAGES"),
                    help="message database for QRV_EVENTLOG_MESSAGES")
    ap.add_argument("--sink", choices=("null", "pipe"), default="null",
                    help="where every timed run writes: /dev/null, or a pipe "
                    "this script reads (default: null)")
    ap.add_argument("--sizes", default="64,1024",
                    help="log sizes in MiB, comma-separated (4096 works too)")
    args = ap.parse_args()

    args.build = os.path.abspath(args.build)
    tool = os.path.join(args.build, "QRV_EventLog_Tools")
    data = os.path.join(args.build, "bench_data")
    os.makedirs(data, exist_ok=True)
    empty_root = os.path.join(data, "empty-image")
    os.makedirs(empty_root, exist_ok=True)
    image = args.image or os.path.join(args.build, "sample-image")

    pool = intact_chunks(args.shared)
    if not pool:
        sys.exit("no intact chunks under " + args.shared)
    sizes = [("%s MiB" % m, int(m) * MIB) for m in args.sizes.split(",")]
    logs = []
    for name, size in sizes:
        path = os.path.join(data, "real_chunks_%d_mib.evtx" % (size // MIB))
        write_log(path, pool, size + HEADER_BLOCK)
        logs.append((name, path))
    print("pool: %d intact corpus chunks; runs per figure: %d (median); "
          "output to %s" % (len(pool), args.runs,
                            "/dev/null" if args.sink == "null" else "a pipe"))

    base = {k: v for k, v in os.environ.items() if k != "QRV_EVENTLOG_MESSAGES"}
    no_messages = dict(base, QRV_EVENTLOG_ROOT=empty_root)
    cases = [("no message files", no_messages),
             ("messages: " + image, dict(base, QRV_EVENTLOG_ROOT=image))]
    if args.messages_db:
        cases.append(("messages: " + args.messages_db,
                      dict(base, QRV_EVENTLOG_ROOT=empty_root,
                           QRV_EVENTLOG_MESSAGES=args.messages_db)))
    small = os.path.join(data, "real_chunks_64_mib.evtx")
    write_log(small, pool, 64 * MIB + HEADER_BLOCK)
    event_id, share = selective_id(tool, small, no_messages)
    print("selective query: *[System[EventID=%s]] (%.1f %% of the events)"
          % (event_id, share * 100))

    dump = args.evtx_dump
    if not dump:
        out = subprocess.run([os.path.join(args.shared, "peers", "build-evtx-rs"),
                              os.path.join(data, "evtx-rs")],
                             capture_output=True, text=True)
        dump = out.stdout.strip().splitlines()[-1] if out.returncode == 0 else None

    row = "%-8s %-52s %7s %7s %8s %8s %s"
    print(row % ("log", "case", "wall s", "cpu s", "RSS MiB", "out MiB", "check"))
    for name, log in logs:
        # Every case once per round, round after round, so that a machine
        # whose speed drifts during the run slows all cases alike.
        jobs = [("Select *, " + label,
                 [tool, "NOWARN", "GETEVENTSQUERY", query(log)], env, True)
                for label, env in cases]
        label, env = cases[0]
        selective = "EventID=%s, %s" % (event_id, label)
        jobs.append((selective, [tool, "NOWARN", "GETEVENTSQUERY",
                                 query(log, "*[System[EventID=%s]]" % event_id)],
                     env, True))
        if dump and os.path.exists(dump):
            for threads in ("1", "2"):
                jobs.append(("evtx_dump -t %s -o xml" % threads,
                             [dump, "-t", threads, "-o", "xml", log], base, False))
        # Bytes printed, for the memory checks: counted through a pipe in an
        # untimed run when the timed runs write to /dev/null.
        printed = {}
        for case, argv, env, count in jobs:
            if count:
                printed[case] = (run(argv, env, "pipe")[4]
                                 if args.sink == "null" else None)
        results = collections.defaultdict(list)
        for _ in range(args.runs):
            for case, argv, env, count in jobs:
                results[case].append(run(argv, env, args.sink))
        figures = {case: medians(results[case]) for case, _, _, _ in jobs}
        peer = figures.get("evtx_dump -t 2 -o xml")
        for case, _, _, count in jobs:
            wall, cpu, rss, codes, out = figures[case]
            if count and printed[case] is not None:
                out = printed[case]
            if not count:
                check = "exit %s" % codes
            elif case == selective:
                check = ("RSS %s 96 MiB; %.1fx faster than Select *; exit %s"
                         % ("<=" if rss <= 96 * MIB else "OVER",
                            figures["Select *, " + label][0] / wall, codes))
            else:
                check = ("RSS %s 64 MiB + 1.25 x out; exit %s"
                         % ("<=" if rss <= 64 * MIB + 1.25 * out else "OVER",
                            codes))
                if peer:
                    check += "; %.2f of evtx_dump -t 2" % (wall / peer[0])
            print(row % (name, case, "%.2f" % wall, "%.2f" % cpu,
                         "%.0f" % (rss / MIB),
                         "-" if out is None else
                         ("%.1f" % (out / MIB) if case == selective
                          else "%.0f" % (out / MIB)),
                         check))


if __name__ == "__main__":
    main()
