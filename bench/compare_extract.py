#!/usr/bin/env python3
"""Whole-process comparison of extraction speed: our plugin, driven through
its exports by bench/host_driver, extracting an LZW-compressed entry, against
`uncompress -c` of the same bytes compressed with `compress`.

Usage: bench/compare_extract.py [--size MB] [--runs N] [--build DIR]
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import datasets  # noqa: E402


def best_time(command, runs, **kwargs):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True, **kwargs)
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=32, help="megabytes of each kind")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build", default="build/bench")
    args = parser.parse_args()
    bench = pathlib.Path(args.build) / "bench"
    driver, maker = bench / "host_driver", bench / "make_lzw_archive"
    for tool in (driver, maker):
        if not tool.exists():
            sys.exit(f"{tool} is missing: cmake --workflow --preset bench")
    if not shutil.which("compress"):
        sys.exit("compress is missing: apt-get install ncompress")

    size = args.size << 20
    print(f"{'data':<12}{'MB':>6}{'uncompress s':>15}{'ours s':>10}{'speed-up':>10}")
    with tempfile.TemporaryDirectory() as scratch:
        scratch = pathlib.Path(scratch)
        for kind, make in datasets.KINDS.items():
            source = scratch / f"{kind}.bin"
            source.write_bytes(make(size))
            with open(scratch / f"{kind}.Z", "wb") as out:
                subprocess.run(["compress", "-c", str(source)], stdout=out, check=True)
            archive = scratch / f"{kind}.kzr"
            subprocess.run([str(maker), str(archive), str(source)], check=True)
            out_dir = scratch / f"{kind}.out"
            out_dir.mkdir()

            theirs_out = scratch / f"{kind}.uncompressed"
            theirs = best_time(
                f"uncompress -c {scratch / (kind + '.Z')} > {theirs_out}", args.runs, shell=True)
            ours = best_time([str(driver), "extract", str(archive), str(out_dir)], args.runs)
            ours_out = out_dir / f"{kind}.bin"
            if ours_out.read_bytes() != source.read_bytes() or \
                    theirs_out.read_bytes() != source.read_bytes():
                sys.exit(f"{kind}: extracted bytes differ from the source")
            print(f"{kind:<12}{args.size:>6}{theirs:>15.3f}{ours:>10.3f}{theirs / ours:>9.2f}x")


if __name__ == "__main__":
    main()
