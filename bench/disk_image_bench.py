#!/usr/bin/env python3
"""Disk images against folders: `Select *` over the 64 MiB benchmark log
(made as scale_bench.py makes it) read from a folder and from the same files
inside an NTFS volume in a GPT disk, as raw, VHDX and E01 (uncompressed and ewfacquire's `fast` deflate) (wall seconds and
peak RSS, medians of --runs rounds, each round running every case once);
peak RSS over a 256 MiB and a 4 GiB raw disk holding the same log, to show
memory flat in the image's size; and the wall time of GETLISTCHANNELS (open
the image, find Windows, read its registry) from each form.

The volume is filled through an ntfs-3g FUSE mount: run as root.
Usage: bench/disk_image_bench.py BUILD_DIR [--shared DIR] [--runs N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scale_bench import HEADER_BLOCK, MIB, intact_chunks, medians, run, write_log  # noqa: E402

GPT_BASIC_DATA = "EBD0A0A2-B9E5-4433-87C0-68B9B44AD99B"


def sh(*argv):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_disk(path, volume_mib, fill):
    """A raw GPT disk with one NTFS partition of volume_mib, filled by
    copying the folder `fill` into it. Sparse where it is empty."""
    work = tempfile.mkdtemp()
    try:
        volume = os.path.join(work, "volume")
        with open(volume, "wb") as f:
            f.truncate(volume_mib * MIB)
        sh("mkntfs", "-F", "-q", "-f", volume)
        mnt = os.path.join(work, "mnt")
        os.mkdir(mnt)
        sh("ntfs-3g", volume, mnt)
        try:
            sh("cp", "-r", fill + "/.", mnt)
        finally:
            sh("fusermount", "-u", mnt)
        with open(path, "wb") as f:
            f.truncate((volume_mib + 2) * MIB)
        subprocess.run(["sfdisk", "-q", path], input="label: gpt\nsize=%dMiB, type=%s\n"
                       % (volume_mib, GPT_BASIC_DATA), text=True, check=True,
                       stdout=subprocess.DEVNULL)
        sh("dd", "if=" + volume, "of=" + path, "bs=1M", "seek=1", "conv=notrunc,sparse",
           "status=none")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--shared", default=os.environ.get("QRV_SHARED_DIR", "/work/shared"))
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    tool = os.path.join(args.build, "QRV_EventLog_Tools")
    data = os.path.join(args.build, "bench_data")
    os.makedirs(data, exist_ok=True)
    log = os.path.join(data, "log-64.evtx")
    write_log(log, intact_chunks(args.shared), 64 * MIB + HEADER_BLOCK)

    work = tempfile.mkdtemp(dir=data)
    try:
        folder = os.path.join(work, "folder")
        shutil.copytree(os.path.join(args.build, "sample-image"), folder)
        os.makedirs(os.path.join(folder, "cases"))
        shutil.copy(log, os.path.join(folder, "cases", "bench.evtx"))
        raw = os.path.join(work, "disk.raw")
        make_disk(raw, 256, folder)
        big = os.path.join(work, "big.raw")
        make_disk(big, 4096, folder)
        vhdx = os.path.join(work, "disk.vhdx")
        sh("qemu-img", "convert", "-f", "raw", "-O", "vhdx", raw, vhdx)
        for compression in ("none", "fast"):
            sh("ewfacquire", "-u", "-q", "-t", os.path.join(work, compression), "-f", "encase6",
               "-c", compression, raw)
        roots = [("folder", folder), ("raw", raw), ("vhdx", vhdx),
                 ("E01 none", os.path.join(work, "none.E01")),
                 ("E01 fast", os.path.join(work, "fast.E01")), ("raw 4 GiB", big)]
        select = ("<QueryList><Query Path='file://cases/bench.evtx'><Select>*</Select>"
                  "</Query></QueryList>")
        # Every root prints the same bytes (counted through a pipe, untimed).
        printed = {name: run([tool, "NOWARN", "GETEVENTSQUERY", select],
                             dict(os.environ, QRV_EVENTLOG_ROOT=root), "pipe")[4]
                   for name, root in roots}
        if len(set(printed.values())) != 1 or not printed["folder"]:
            sys.exit("the roots printed different output: %s" % printed)
        results = {name: [] for name, _ in roots}
        opening = {name: [] for name, _ in roots}
        for _ in range(args.runs):
            for name, root in roots:
                env = dict(os.environ, QRV_EVENTLOG_ROOT=root)
                results[name].append(run([tool, "NOWARN", "GETEVENTSQUERY", select], env, "null"))
                opening[name].append(run([tool, "NOWARN", "GETLISTCHANNELS"], env, "null"))
        base = medians(results["folder"])
        print("Select * over the 64 MiB log, %d rounds (medians), %d bytes printed by each"
              % (args.runs, printed["folder"]))
        print("%-10s %8s %8s %9s %8s %s" % ("root", "wall s", "cpu s", "RSS MiB", "x folder", "exit"))
        for name, _ in roots:
            wall, cpu, rss, codes, _ = medians(results[name])
            print("%-10s %8.2f %8.2f %9.1f %8.2f %s" % (name, wall, cpu, rss / MIB,
                                                       wall / base[0], codes))
        print("GETLISTCHANNELS (open, find Windows, read the registry), medians")
        for name, _ in roots:
            wall, _, rss, codes, _ = medians(opening[name])
            print("%-10s %8.3f s %9.1f MiB %s" % (name, wall, rss / MIB, codes))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
