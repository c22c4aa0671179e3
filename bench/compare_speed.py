#!/usr/bin/env python3
"""Whole-process comparisons of kzr and the plugin against the tools a user
would measure them by, each pair timed in one run, interleaved, best of N.

    bench/compare_speed.py [--runs N] [--size MB] [--build DIR] [--win32 DIR] [SECTION...]

Sections (default: all but wine):
  extract  LZW members (text, executables, repetitive) extracted by `kzr
           extract` beside `uncompress` and beside the realistic floor
           (bench/extract_floor: the decoder into a warm buffer plus a
           streaming write of its output); `kzr test` throughput. Output on
           tmpfs (/dev/shm) and on disk (BENCH_DIR, default /var/tmp).
  stored   a stored member of the masked and of the plain flavour beside `cp`
  pack     100,000 small files packed beside `tar -cf`
  list     1,000,000 entries: `kzr list` beside the plugin's own open + listing
  memory   peak memory of `kzr test`, `extract`, `pack` on a 1.5 GB member
  jobs     many mid-sized compressed entries extracted with -j 1 and -j 2
  wine     under wine: the 32-bit DLL (KZR.wcx, driven by test_host.exe as a
           file manager drives it) extracting the LZW members beside
           `uncompress`; `kzr.exe list` beside native `kzr list`; the DLL's
           own open + listing of 100,000 entries beside reading the directory;
           and a 1.9 GB member packed, tested and extracted by kzr.exe and
           extracted by the DLL
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


def timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, **kwargs)
    return time.perf_counter() - start


def best_of(runs, commands, before=None):
    """Runs the commands in turn, `runs` rounds; the best time of each."""
    best = [float("inf")] * len(commands)
    for _ in range(runs):
        for i, command in enumerate(commands):
            if before:
                before(i)
            best[i] = min(best[i], command())
    return best


def peak_kb(command):
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)


def line(label, values, target=None):
    text = f"  {label:<44}" + "".join(f"{v:>12}" for v in values)
    print(text + (f"   target {target}" if target else ""), flush=True)


class Bench:
    def __init__(self, args, scratch):
        self.args = args
        self.scratch = scratch
        build = pathlib.Path(args.build).resolve()
        self.kzr = build / "tools" / "kzr" / "kzr"
        self.driver = build / "tests" / "support" / "test_host"
        self.maker = build / "bench" / "make_archive"
        self.floor = build / "bench" / "extract_floor"
        for tool in (self.kzr, self.driver, self.maker, self.floor):
            if not tool.exists():
                sys.exit(f"{tool} is missing: build the benchmark preset first")
        self.size = args.size << 20
        self.disk = pathlib.Path(os.environ.get("BENCH_DIR", "/var/tmp"))

    def member(self, kind, size=None):
        path = self.scratch / f"{kind}-{size or self.size}.bin"
        if not path.exists():
            path.write_bytes(datasets.KINDS[kind](size or self.size))
        return path

    def lzw_pair(self, kind):
        """The member of `kind` as an LZW archive and as a .Z file, made once."""
        source = self.member(kind)
        archive = self.scratch / f"{kind}.kzr"
        packed = self.scratch / f"{kind}.Z"
        if not archive.exists():
            subprocess.run([self.maker, archive, source], check=True)
            with open(packed, "wb") as out:
                subprocess.run(["compress", "-c", source], stdout=out, check=True)
        return archive, packed

    def extract(self):
        print(f"extract: LZW members of {self.args.size} MiB, seconds (best of {self.args.runs})")
        line("", ["floor", "kzr", "uncompress", "kzr/floor", "unc./kzr"])
        for kind in datasets.KINDS:
            source = self.member(kind)
            archive, packed = self.lzw_pair(kind)
            for where in (pathlib.Path("/dev/shm"), self.disk):
                out = pathlib.Path(tempfile.mkdtemp(dir=where, prefix="kzr-bench-"))
                try:
                    floor = min(sum(map(float, subprocess.run(
                        [self.floor, archive, out / "floor.bin"], check=True, capture_output=True,
                        text=True).stdout.split())) for _ in range(2))
                    ours, theirs = best_of(self.args.runs, [
                        lambda: timed([self.kzr, "-q", "-j", "1", "extract", archive, "-C",
                                       out / "kzr"]),
                        lambda: timed(f"uncompress -c {packed} > {out / 'unc.bin'}", shell=True),
                    ], before=lambda i: i == 0 and shutil.rmtree(out / "kzr", ignore_errors=True))
                    if (out / "kzr" / source.name).read_bytes() != source.read_bytes():
                        sys.exit(f"{kind}: kzr extracted other bytes")
                finally:
                    shutil.rmtree(out, ignore_errors=True)
                line(f"{kind} on {'tmpfs' if where.name == 'shm' else 'disk'}",
                     [f"{floor:.3f}", f"{ours:.3f}", f"{theirs:.3f}", f"{ours / floor:.2f}x",
                      f"{theirs / ours:.2f}x"], "kzr <= 1.15x floor, >= 3x uncompress")
        archive = self.scratch / "text.kzr"
        test, = best_of(self.args.runs, [lambda: timed([self.kzr, "-q", "-j", "1", "test",
                                                        archive])])
        line("kzr test, text", [f"{test:.3f}", f"{self.size / test / 1e9:.2f} GB/s"], ">= 1 GB/s")

    def stored(self):
        print(f"stored: a member of {self.args.size} MiB (executables), seconds")
        line("", ["cp", "kzr", "kzr/cp"])
        source = self.member("binary")
        masked = self.scratch / "masked.kzr"
        subprocess.run([self.kzr, "-q", "pack", "--overwrite", masked, "-C", source.parent, source.name],
                       check=True)
        plain = self.scratch / "plain.kzr"
        subprocess.run([self.maker, "--plain", "--stored", plain, source], check=True)
        for name, archive in (("masked", masked), ("plain", plain)):
            for where in (pathlib.Path("/dev/shm"), self.disk):
                out = pathlib.Path(tempfile.mkdtemp(dir=where, prefix="kzr-bench-"))
                try:
                    copy, ours = best_of(self.args.runs, [
                        lambda: timed(["cp", source, out / "cp.bin"]),
                        lambda: timed([self.kzr, "-q", "extract", archive, "-C", out / "kzr"]),
                    ], before=lambda i: shutil.rmtree(out / "kzr", ignore_errors=True) if i else
                       (out / "cp.bin").unlink(missing_ok=True))
                finally:
                    shutil.rmtree(out, ignore_errors=True)
                line(f"{name} on {'tmpfs' if where.name == 'shm' else 'disk'}",
                     [f"{copy:.3f}", f"{ours:.3f}", f"{ours / copy:.2f}x"], "<= 1.2x cp")

    def pack(self):
        count = 100_000
        print(f"pack: {count} small files, seconds")
        tree = self.scratch / "small"
        if not tree.exists():
            blob = datasets.text_like(1 << 20)
            for i in range(count):
                folder = tree / f"set{i // 1000:03d}"
                if i % 1000 == 0:
                    folder.mkdir(parents=True)
                size = (i * 7919) % 4096
                (folder / f"unit{i:06d}.ini").write_bytes(blob[i % 1000:i % 1000 + size])
        line("", ["tar -cf", "kzr pack", "kzr/tar"])
        tar, ours = best_of(self.args.runs, [
            lambda: timed(["tar", "-cf", self.scratch / "small.tar", "-C", tree, "."]),
            lambda: timed([self.kzr, "-q", "pack", "--overwrite", self.scratch / "small.kzr", "-C", tree, "."]),
        ])
        line("100,000 files", [f"{tar:.3f}", f"{ours:.3f}", f"{ours / tar:.2f}x"], "<= 1.3x tar")

    def many_entries(self):
        archive = self.scratch / "million.kzr"
        if not archive.exists():
            subprocess.run([self.maker, "--entries", "1000000", archive], check=True)
        return archive

    def list(self):
        archive = self.many_entries()
        print("list: 1,000,000 entries, seconds")
        line("", ["plugin", "kzr list", "kzr/plugin", "kzr MiB"])
        with open(os.devnull, "wb") as null:
            plugin, ours = best_of(self.args.runs, [
                lambda: timed([self.driver, "list", archive], stdout=null),
                lambda: timed([self.kzr, "list", archive], stdout=null),
            ])
        memory = peak_kb([str(self.kzr), "list", str(archive)]) / 1024
        line("to /dev/null", [f"{plugin:.3f}", f"{ours:.3f}", f"{ours / plugin:.2f}x",
                              f"{memory:.0f}"], "<= 2x")

    def memory(self):
        size = 1536 << 20
        print("memory: a member of 1.5 GiB, peak resident MiB")
        source = self.member("repetitive", size)
        compressed = self.scratch / "big-lzw.kzr"
        subprocess.run([self.maker, compressed, source], check=True)
        stored = self.scratch / "big-stored.kzr"
        out = pathlib.Path(tempfile.mkdtemp(dir=self.disk, prefix="kzr-bench-"))
        try:
            figures = [peak_kb([str(self.kzr), "-q", "pack", "--overwrite", str(stored), "-C", str(source.parent),
                                source.name])]
            for archive in (stored, compressed):
                figures.append(peak_kb([str(self.kzr), "-q", "-j", "1", "test", str(archive)]))
                figures.append(peak_kb([str(self.kzr), "-q", "-j", "1", "extract", str(archive),
                                        "-C", str(out)]))
                shutil.rmtree(out / source.name, ignore_errors=True)
                (out / source.name).unlink(missing_ok=True)
        finally:
            shutil.rmtree(out, ignore_errors=True)
        line("", ["pack", "test st.", "extract st.", "test LZW", "extract LZW"])
        line("peak MiB", [f"{kb / 1024:.1f}" for kb in figures], "<= 32")

    def jobs(self):
        print("jobs: 200 compressed members of 2 MiB, seconds")
        folder = self.scratch / "mid"
        if not folder.exists():
            folder.mkdir()
            text = datasets.text_like(2 << 20)
            for i in range(200):
                (folder / f"m{i:03d}.txt").write_bytes(text[i:] + text[:i])
        archive = self.scratch / "mid.kzr"
        subprocess.run([self.maker, archive, *sorted(folder.iterdir())], check=True)
        out = pathlib.Path(tempfile.mkdtemp(dir="/dev/shm", prefix="kzr-bench-"))
        try:
            one, two = best_of(self.args.runs, [
                lambda: timed([self.kzr, "-q", "-j", "1", "extract", archive, "-C", out / "x"]),
                lambda: timed([self.kzr, "-q", "-j", "2", "extract", archive, "-C", out / "x"]),
            ], before=lambda i: shutil.rmtree(out / "x", ignore_errors=True))
        finally:
            shutil.rmtree(out, ignore_errors=True)
        line("", ["-j 1", "-j 2", "speed-up"])
        line("extract", [f"{one:.3f}", f"{two:.3f}", f"{one / two:.2f}x"], ">= 1.7x")

    def wine(self):
        build = pathlib.Path(self.args.win32).resolve()
        exe, dll = build / "bin" / "kzr.exe", build / "bin" / "KZR.wcx"
        runner = [str(ROOT / "cmake" / "wine-run.sh"), str(build / "wineprefix"), "win32"]
        subprocess.run(runner + ["--init"], check=True)
        # One wine server for the whole section, as on a running system: the
        # emulator's own start-up is no cost of the tool (shown apart below).
        environment = dict(os.environ, WINEPREFIX=str(build / "wineprefix"), WINEARCH="win32")
        subprocess.run(["wineserver", "-p"], env=environment, check=True)
        try:
            self.wine_runs(build, exe, dll, runner)
        finally:
            subprocess.run(["wineserver", "-k"], env=environment)

    def wine_runs(self, build, exe, dll, runner):
        host = runner + [str(build / "bin" / "test_host.exe"), "--plugin", str(dll)]
        wine = runner + [str(exe), "-q", "-j", "1"]
        start_up = min(timed(runner + [str(exe), "--version"], stdout=subprocess.DEVNULL)
                       for _ in range(self.args.runs))
        print(f"wine: kzr.exe --version takes {start_up:.3f} s (the emulator's start-up)")

        def z(path):
            return "Z:" + str(path).replace("/", "\\")

        print(f"wine: the 32-bit DLL, LZW members of {self.args.size} MiB, seconds")
        line("", ["uncompress", "KZR.wcx", "unc./DLL"])
        out = pathlib.Path(tempfile.mkdtemp(dir="/dev/shm", prefix="kzr-bench-"))
        try:
            for kind in datasets.KINDS:
                archive, packed = self.lzw_pair(kind)
                theirs, ours = best_of(self.args.runs, [
                    lambda: timed(f"uncompress -c {packed} > {out / 'unc.bin'}", shell=True),
                    lambda: timed(host + ["extract", z(archive), z(out / "dll")],
                                  stdout=subprocess.DEVNULL),
                ], before=lambda i: i == 1 and shutil.rmtree(out / "dll", ignore_errors=True))
                line(kind, [f"{theirs:.3f}", f"{ours:.3f}", f"{theirs / ours:.2f}x"], ">= 2.5x")
            archive = self.many_entries()
            with open(os.devnull, "wb") as null:
                native, emulated = best_of(self.args.runs, [
                    lambda: timed([self.kzr, "list", archive], stdout=null),
                    lambda: timed(runner + [str(exe), "list", z(archive)], stdout=null),
                ])
            line("list of 1,000,000 entries: native, kzr.exe",
                 [f"{native:.3f}", f"{emulated:.3f}", f"{emulated / native:.2f}x"], "<= 2x")
            # The largest member the DLL handles end to end.
            big = self.member("repetitive", 1900 << 20)
            for step in (["pack", z(self.scratch / "huge.kzr"), "-C", z(big.parent), big.name],
                         ["test", z(self.scratch / "huge.kzr")],
                         ["extract", z(self.scratch / "huge.kzr"), "-C", z(out / "huge")]):
                seconds = timed(wine + step)
                line(f"1.9 GB member: {step[0]}", [f"{seconds:.1f}"])
            if (out / "huge" / big.name).stat().st_size != big.stat().st_size:
                sys.exit("the 1.9 GB member did not come back whole")
            shutil.rmtree(out / "huge")
            seconds = timed(host + ["extract", z(self.scratch / "huge.kzr"), z(out / "huge")],
                            stdout=subprocess.DEVNULL)
            line("1.9 GB member: the DLL extracts", [f"{seconds:.1f}"])
            if (out / "huge" / big.name).stat().st_size != big.stat().st_size:
                sys.exit("the 1.9 GB member did not come back whole from the DLL")
        finally:
            shutil.rmtree(out, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", type=int, default=256, help="MiB of each LZW member")
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--win32", default=str(ROOT / "build" / "win32"))
    parser.add_argument("sections", nargs="*",
                        default=["extract", "stored", "pack", "list", "memory", "jobs"])
    args = parser.parse_args()
    for tool in ("compress", "uncompress", "tar", "cp"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing (Debian: ncompress, tar, coreutils)")
    with tempfile.TemporaryDirectory(dir=os.environ.get("BENCH_DIR", "/var/tmp"),
                                     prefix="kzr-bench-") as scratch:
        bench = Bench(args, pathlib.Path(scratch))
        for section in args.sections:
            getattr(bench, section)()


if __name__ == "__main__":
    main()
