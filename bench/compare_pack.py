#!/usr/bin/env python3
"""Whole-process comparison of packing speed: PackFiles, driven through the
exports by bench/host_driver, against `tar -cf` of the same folder.

Usage: bench/compare_pack.py [--files N] [--total MB] [--runs N] [--build DIR]
"""
import argparse
import os
import pathlib
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import datasets  # noqa: E402


def best_time(command, runs):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True)
        best = min(best, time.perf_counter() - start)
    return best


def make_tree(root, files, total, seed=5):
    """A game-like folder: a few sub-folders, sizes from a few bytes to
    several MB, mixed contents."""
    rng = random.Random(seed)
    pool_size = 16 << 20
    weights = [rng.paretovariate(1.2) for _ in range(files)]
    # Scale the sizes to the total, capping each at the pool's size.
    scale = total / sum(weights)
    for _ in range(20):
        sizes = [min(int(w * scale), pool_size) for w in weights]
        scale *= total / max(sum(sizes), 1)
    pools = {kind: make(pool_size) for kind, make in datasets.KINDS.items()}
    for number, size in enumerate(sizes):
        kind = rng.choice(list(pools))
        folder = root / rng.choice(["data", "maps", "ini/dat", "sounds", "textures/units"])
        folder.mkdir(parents=True, exist_ok=True)
        start = rng.randrange(0, len(pools[kind]) - size + 1)
        (folder / f"file{number:04d}.{kind[:3]}").write_bytes(pools[kind][start:start + size])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=300)
    parser.add_argument("--total", type=int, default=200, help="megabytes in all")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build", default="build/bench")
    args = parser.parse_args()
    driver = pathlib.Path(args.build) / "bench" / "host_driver"
    if not driver.exists():
        sys.exit(f"{driver} is missing: cmake --workflow --preset bench")

    with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR")) as scratch:
        scratch = pathlib.Path(scratch)
        tree = scratch / "tree"
        make_tree(tree, args.files, args.total << 20)
        files = [p for p in tree.rglob("*") if p.is_file()]
        megabytes = sum(p.stat().st_size for p in files) / (1 << 20)
        tar = best_time(["tar", "-cf", str(scratch / "out.tar"), "-C", str(tree), "."], args.runs)
        ours = best_time([str(driver), "pack", str(scratch / "out.kzr"), str(tree)], args.runs)
        print(f"{len(files)} files, {megabytes:.0f} MB")
        print(f"tar -cf   {tar:8.3f} s")
        print(f"PackFiles {ours:8.3f} s   ({ours / tar:.2f} times tar; target at most 1.5)")


if __name__ == "__main__":
    main()
