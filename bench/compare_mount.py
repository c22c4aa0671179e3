#!/usr/bin/env python3
"""Whole-process figures for `kzr mount` and `kzr diff`, beside `kzr extract`
of the same archives, best of N; peak resident memory of each process.

    bench/compare_mount.py [--runs N] [--build DIR] [SECTION...]

Sections (default: all):
  big    a member of 1.9 GB, LZW and stored: read through the mount (`cat`
         to /dev/null) beside `kzr cat` of it, then `cmp` against the
         original; the peak resident memory of the process that serves the
         mount
  many   100,000 small files packed by `kzr pack`: every file read through
         the mount (mount, `find | xargs cat`, unmount) beside `kzr extract`
         of the archive to tmpfs, with one job and one reader, and with one
         per core of each
  diff   `kzr diff` of two 1 GB archives that differ in their last bytes
         (masked against plain), and of two 1.9 GB LZW members (two
         decoders at once): time and peak resident memory

Runs by hand, with the Release build of the 'bench' preset (no sanitizers);
needs /dev/fuse, fusermount3 and BENCH_DIR (default /var/tmp) with some
10 GB free.
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

ROOT = pathlib.Path(__file__).resolve().parent.parent
BIG = 1900 << 20


def run(command, accept=(0,), **kwargs):
    """Runs a command to its end: seconds taken and peak resident KiB (as
    /usr/bin/time sees it: a child of this process would count the pages
    it shares with it before it runs the command)."""
    with tempfile.NamedTemporaryFile("r") as figures:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", figures.name] +
                              [str(part) for part in command], **kwargs)
        seconds = time.perf_counter() - start
        if done.returncode not in accept:
            sys.exit(f"{command[0]} failed ({done.returncode}): {' '.join(map(str, command))}")
        return seconds, int(figures.read().split()[-1])


def line(label, values, target=None):
    text = f"  {label:<40}" + "".join(f"{v:>12}" for v in values)
    print(text + (f"   target {target}" if target else ""), flush=True)


class Mount:
    """`kzr mount -f` in the background, as a process of our own whose peak
    memory can be read."""

    def __init__(self, kzr, archive, folder):
        self.folder = folder
        folder.mkdir(parents=True, exist_ok=True)
        self.process = subprocess.Popen([kzr, "-q", "mount", "-f", archive, folder])
        for _ in range(600):
            if os.path.ismount(folder):
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.01)
        sys.exit(f"{archive} was not mounted")

    def peak_kib(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            for entry in status:
                if entry.startswith("VmHWM:"):
                    return int(entry.split()[1])
        return 0

    def end(self):
        subprocess.run(["fusermount3", "-u", self.folder], check=True)
        self.process.wait(timeout=60)


class Bench:
    def __init__(self, args, scratch):
        self.args = args
        self.scratch = scratch
        build = pathlib.Path(args.build).resolve()
        self.kzr = build / "tools" / "kzr" / "kzr"
        self.maker = build / "bench" / "make_archive"
        for tool in (self.kzr, self.maker):
            if not tool.exists():
                sys.exit(f"{tool} is missing: build the benchmark preset first")

    def source(self, name, size, change_at=None):
        """Repetitive data of `size` bytes (with one byte changed at
        `change_at`), made once."""
        path = self.scratch / name / "member.bin"
        if not path.exists():
            path.parent.mkdir(parents=True)
            data = bytearray(datasets.repetitive(size))
            if change_at is not None:
                data[change_at] ^= 0xFF
            path.write_bytes(data)
        return path

    def big(self):
        print(f"big: a member of {BIG >> 20} MiB read whole, seconds and peak resident MiB")
        line("", ["kzr cat", "mount+cat", "ratio", "cmp", "mount MiB"])
        source = self.source("big", BIG)
        lzw = self.scratch / "big-lzw.kzr"
        stored = self.scratch / "big-stored.kzr"
        if not lzw.exists():
            subprocess.run([self.maker, lzw, source], check=True)
            subprocess.run([self.kzr, "-q", "pack", stored, "-C", source.parent, source.name],
                           check=True)
        for label, archive in (("LZW", lzw), ("stored, masked", stored)):
            with open(os.devnull, "wb") as null:
                cat, _ = run([self.kzr, "cat", archive, source.name], stdout=null)
                start = time.perf_counter()
                mount = Mount(self.kzr, archive, self.scratch / "mnt")
                run(["cat", mount.folder / source.name], stdout=null)
                through = time.perf_counter() - start
            # Another mount, so that the kernel has none of the pages yet.
            mount.end()
            mount = Mount(self.kzr, archive, self.scratch / "mnt")
            same, _ = run(["cmp", mount.folder / source.name, source])
            peak = mount.peak_kib()
            mount.end()
            line(label, [f"{cat:.2f}", f"{through:.2f}", f"{through / cat:.2f}x", f"{same:.2f}",
                         f"{peak / 1024:.1f}"], "cmp-identical, < 64 MiB")

    def many(self):
        count = 100_000
        tree = self.scratch / "small"
        archive = self.scratch / "small.kzr"
        if not tree.exists():
            blob = datasets.text_like(1 << 20)
            for i in range(count):
                folder = tree / f"set{i // 1000:03d}"
                if i % 1000 == 0:
                    folder.mkdir(parents=True)
                size = (i * 7919) % 4096
                (folder / f"unit{i:06d}.ini").write_bytes(blob[i % 1000:i % 1000 + size])
            subprocess.run([self.kzr, "-q", "pack", archive, "-C", tree, "."], check=True)
        readers = os.cpu_count() or 1
        print(f"many: {count:,} files of up to 4 KiB, seconds (best of {self.args.runs}); "
              "extract to tmpfs with the default jobs (one per core) and with -j 1, and the "
              f"mount read by `cat`, one at a time and {readers} at a time (one per core, as "
              "extract's jobs)")
        line("", ["extract", "mount+read", "ratio", "mount MiB"])
        out = pathlib.Path(tempfile.mkdtemp(dir="/dev/shm", prefix="kzr-bench-"))
        extract = {}
        read = {}
        peak = 0
        try:
            for _ in range(self.args.runs):
                for jobs in (1, readers):
                    shutil.rmtree(out / "x", ignore_errors=True)
                    seconds, _ = run([self.kzr, "-q", "-j", str(jobs), "extract", archive,
                                      "-C", out / "x"])
                    extract[jobs] = min(extract.get(jobs, float("inf")), seconds)
                    start = time.perf_counter()
                    mount = Mount(self.kzr, archive, self.scratch / "mnt")
                    subprocess.run(f"find '{mount.folder}' -type f -print0 | "
                                   f"xargs -0 -n 2000 -P {jobs} cat > /dev/null",
                                   shell=True, check=True)
                    peak = max(peak, mount.peak_kib())
                    mount.end()
                    read[jobs] = min(read.get(jobs, float("inf")), time.perf_counter() - start)
        finally:
            shutil.rmtree(out, ignore_errors=True)
        for jobs in sorted(read):
            line(f"every file, {jobs} job(s) / reader(s)",
                 [f"{extract[jobs]:.2f}", f"{read[jobs]:.2f}", f"{read[jobs] / extract[jobs]:.2f}x",
                  f"{peak / 1024:.1f}"], "<= 3x")

    def diff(self):
        print("diff: two archives that differ in their last bytes, seconds and peak resident MiB")
        line("", ["seconds", "MiB"])
        size = 1 << 30
        first = self.source("gib", size)
        second = self.source("gib-changed", size, change_at=size - 100)
        masked, plain = self.scratch / "gib-masked.kzr", self.scratch / "gib-plain.kzr"
        if not masked.exists():
            subprocess.run([self.kzr, "-q", "pack", masked, "-C", first.parent, first.name],
                           check=True)
            subprocess.run([self.maker, "--plain", "--stored", plain, second], check=True)
        seconds, peak = run([self.kzr, "diff", masked, plain], stdout=subprocess.DEVNULL,
                            accept=(1,))
        line("1 GiB archives, masked and plain", [f"{seconds:.2f}", f"{peak / 1024:.1f}"],
             "< 64 MiB")
        big = self.source("big", BIG)
        changed = self.source("big-changed", BIG, change_at=BIG - 100)
        lzw, other = self.scratch / "big-lzw.kzr", self.scratch / "big-changed-lzw.kzr"
        if not lzw.exists():
            subprocess.run([self.maker, lzw, big], check=True)
        if not other.exists():
            subprocess.run([self.maker, other, changed], check=True)
        seconds, peak = run([self.kzr, "diff", lzw, other], stdout=subprocess.DEVNULL,
                            accept=(1,))
        line(f"{BIG >> 20} MiB LZW members, two decoders", [f"{seconds:.2f}", f"{peak / 1024:.1f}"],
             "< 64 MiB")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--scratch", help="keep the data made here for the next run")
    parser.add_argument("sections", nargs="*", default=["big", "many", "diff"])
    args = parser.parse_args()
    if not os.path.exists("/dev/fuse") or not shutil.which("fusermount3"):
        sys.exit("needs /dev/fuse and fusermount3 (Debian: fuse3)")
    with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR", "/var/tmp"),
                                     prefix="kzr-bench-") as scratch:
        if args.scratch:
            scratch = args.scratch
            os.makedirs(scratch, exist_ok=True)
        bench = Bench(args, pathlib.Path(scratch))
        for section in args.sections:
            getattr(bench, section)()


if __name__ == "__main__":
    main()
