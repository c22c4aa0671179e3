#!/usr/bin/env python3
"""What kzr must never do, whatever fails or races it: lose the archive or
the file that stood at a target, leave a half-written file under any name,
or write outside the folder it extracts to.

    test_safety.py KZR [--test-host HOST PLUGIN] [TEST...]

Failures are made on demand: a file size limit (RLIMIT_FSIZE) stands for a
full disk, SIGINT for Ctrl-C, a file of /proc for a source that changes
while it is read, a thread that swaps folders for links races the
extraction, and writers race each other on one archive, through the tool
and through the plugin (driven by the test host HOST, as a file manager
drives PLUGIN). POSIX only.
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

TOOL = None
HOST = None  # the test host and the plugin binary it loads


def run(*args, cwd, limit=None):
    def preexec():
        if limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return subprocess.run([TOOL, *args], cwd=cwd, capture_output=True, timeout=600,
                          stdin=subprocess.DEVNULL, preexec_fn=preexec)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, content):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


class Sandbox(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kzr-safety-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def kzr(self, *args, limit=None):
        return run(*args, cwd=self.dir, limit=limit)

    def ok(self, *args):
        done = self.kzr(*args)
        self.assertEqual(done.returncode, 0, done)
        return done

    def leftovers(self):
        """Temporary files anywhere under the sandbox."""
        found = []
        for folder, _, names in os.walk(self.dir):
            found += [os.path.join(folder, n) for n in names if ".kzr-tmp-" in n]
        return found

    def archive_with(self, name, files):
        """Packs {relative path: bytes} from a folder of its own."""
        source = self.path("src-" + name)
        for relative, content in files.items():
            write(os.path.join(source, relative), content)
        self.ok("pack", "--overwrite", name, "-C", source, ".")
        return self.path(name)

    def interrupt_when_writing(self, args, folder):
        """Starts kzr, sends SIGINT once one of its temporary files has grown
        past a megabyte, and returns its exit status."""
        process = subprocess.Popen([TOOL, *args], cwd=self.dir, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None:
            sizes = [os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)
                     if ".kzr-tmp-" in n and os.path.exists(os.path.join(folder, n))]
            if any(size > 1 << 20 for size in sizes):
                process.send_signal(signal.SIGINT)
                break
            time.sleep(0.005)
        self.assertIsNone(process.returncode, "kzr ended before it could be interrupted")
        return process.wait(timeout=60)


class FailedWritesKeepWhatWasThere(Sandbox):
    """Every write path, failing or interrupted: the old bytes stay, and no
    temporary file is left."""

    def setUp(self):
        super().setUp()
        self.archive = self.archive_with("game.kzr", {"old.txt": b"the old archive\n"})
        self.before = read(self.archive)
        write(self.path("big", "big.bin"), os.urandom(1 << 20) * 64)  # 64 MiB

    def assert_kept(self, done=None):
        if done is not None:
            self.assertNotEqual(done.returncode, 0, done)
        self.assertEqual(read(self.archive), self.before)
        self.assertEqual(self.leftovers(), [])

    def test_disk_full(self):
        for args in [("pack", "--overwrite", "game.kzr", "-C", "big", "."),
                     ("add", "game.kzr", "-C", "big", "."),
                     ("delete", "game.kzr", "old.txt")]:
            with self.subTest(args=args):
                limit = 1 << 20 if args[0] != "delete" else 40
                done = self.kzr(*args, limit=limit)
                self.assert_kept(done)
                self.assertIn(b"File too large", done.stderr)
                self.assertIn(b"kept", done.stderr)

    def test_missing_source_and_a_source_that_changes_while_read(self):
        self.assert_kept(self.kzr("add", "game.kzr", "-C", "big", "no-such-file"))
        # Files under /proc claim no length and then have bytes to read.
        self.assert_kept(self.kzr("add", "game.kzr", "-C", "/proc/self", "status"))

    def test_interrupted_pack_and_add(self):
        for command in [["pack", "--overwrite"], ["add"]]:
            with self.subTest(command=command):
                status = self.interrupt_when_writing(
                    [*command, "game.kzr", "-C", "big", "."], self.dir)
                self.assertEqual(status, -signal.SIGINT)
                self.assert_kept()

    def test_interrupted_and_failed_extraction_over_an_existing_file(self):
        self.ok("add", "game.kzr", "-C", "big", "big.bin")
        out = self.path("out")
        write(os.path.join(out, "big.bin"), b"the file that was there\n")
        status = self.interrupt_when_writing(
            ["extract", "--overwrite", "game.kzr", "-C", "out", "big.bin"], out)
        self.assertEqual(status, -signal.SIGINT)
        self.assertEqual(read(os.path.join(out, "big.bin")), b"the file that was there\n")
        done = self.kzr("extract", "--overwrite", "game.kzr", "-C", "out", "big.bin",
                        limit=1 << 20)
        self.assertNotEqual(done.returncode, 0, done)
        self.assertEqual(read(os.path.join(out, "big.bin")), b"the file that was there\n")
        self.assertEqual(self.leftovers(), [])


    def test_parallel_extraction_interrupted_at_any_moment(self):
        # Workers make temporary files while kzr is stopping: none may stay.
        files = {f"f{i:04}.txt": os.urandom(4096) for i in range(2000)}
        self.archive_with("many.kzr", files)
        for round_number in range(12):
            out = self.path(f"out{round_number}")
            process = subprocess.Popen([TOOL, "extract", "-j8", "many.kzr", "-C", out],
                                       cwd=self.dir, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.02 * (round_number + 1))
            process.send_signal(signal.SIGINT)
            process.wait(timeout=60)
            self.assertEqual(self.leftovers(), [], f"interrupted after {round_number + 1} steps")


class ManyHands(Sandbox):
    """Two writers on one archive at once: each change is there, or its
    writer failed and said so; nothing is lost with success reported."""

    def race(self, first, second):
        """Runs both commands at once; returns their results."""
        processes = [subprocess.Popen(command, cwd=self.dir, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                     for command in (first, second)]
        outputs = [p.communicate(timeout=120) for p in processes]
        return [(p.returncode, out + err) for p, (out, err) in zip(processes, outputs)]

    def names(self):
        done = self.kzr("list", "-1", "game.kzr")
        self.assertEqual(done.returncode, 0, done)
        return set(done.stdout.decode().split())

    def check_rounds(self, rounds, make_commands):
        for round_number in range(rounds):
            self.archive_with("game.kzr", {"old.txt": b"old\n"})
            for name in ("a.txt", "b.txt"):
                write(self.path("new", name), name.encode() * 1000)
            first, second, wanted = make_commands()
            results = self.race(first, second)
            present = self.names()
            for (code, output), (name, should_be_present) in zip(results, wanted):
                if code == 0:
                    self.assertEqual(name in present, should_be_present,
                                     (round_number, name, present, output))
                else:
                    self.assertTrue(b"in use" in output or b"changed" in output or
                                    b"(21)" in output or b"(16)" in output, (round_number, output))
            self.assertEqual(self.leftovers(), [])

    def test_add_against_add_and_against_delete(self):
        tool = [TOOL]
        self.check_rounds(50, lambda: (tool + ["add", "game.kzr", "-C", "new", "a.txt"],
                                       tool + ["add", "game.kzr", "-C", "new", "b.txt"],
                                       [("a.txt", True), ("b.txt", True)]))
        self.check_rounds(50, lambda: (tool + ["add", "game.kzr", "-C", "new", "a.txt"],
                                       tool + ["delete", "game.kzr", "old.txt"],
                                       [("a.txt", True), ("old.txt", False)]))

    def test_through_the_plugin(self):
        if HOST is None:
            self.skipTest("no test host and plugin given")
        host = [HOST[0], "--plugin", HOST[1]]
        self.check_rounds(20, lambda: (host + ["pack", "game.kzr", self.path("new")],
                                       [TOOL, "delete", "game.kzr", "old.txt"],
                                       [("a.txt", True), ("old.txt", False)]))

    def test_a_file_planted_at_the_target_is_kept(self):
        write(self.path("big", "big.bin"), os.urandom(1 << 20) * 48)
        self.archive_with("big.kzr", {"big.bin": read(self.path("big", "big.bin"))})
        out = self.path("out")
        os.makedirs(out)
        process = subprocess.Popen([TOOL, "extract", "big.kzr", "-C", "out"], cwd=self.dir,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and process.poll() is None:
            if any(".kzr-tmp-" in n for n in os.listdir(out)):
                write(os.path.join(out, "big.bin"), b"planted")
                break
            time.sleep(0.001)
        _, errors = process.communicate(timeout=120)
        self.assertEqual(read(os.path.join(out, "big.bin")), b"planted")
        self.assertEqual(process.returncode, 1, errors)
        self.assertIn(b"1 file exists and was kept", errors)
        self.assertEqual(self.leftovers(), [])


class ExtractionStaysInside(Sandbox):
    """Links and names that would lead an extraction out of its folder."""

    def test_links_planted_while_it_runs(self):
        # Many entries under d/ and at the top; a thread keeps replacing the
        # folder d and the file names still to come with links to outside.
        files = {f"d/f{i:04}.txt": b"inside\n" for i in range(1500)}
        files.update({f"top{i:04}.txt": b"inside\n" for i in range(1500)})
        self.archive_with("many.kzr", files)
        outside = self.path("outside")
        os.makedirs(outside)
        out = self.path("out")
        os.makedirs(os.path.join(out, "d"))
        stop = threading.Event()

        def plant():
            n = 0
            while not stop.is_set():
                n += 1
                try:
                    os.rename(os.path.join(out, "d"), os.path.join(out, f"moved{n}"))
                except OSError:
                    pass
                try:
                    os.symlink(outside, os.path.join(out, "d"))
                except OSError:
                    pass
                try:
                    os.symlink(os.path.join(outside, f"t{n}"),
                               os.path.join(out, f"top{1499 - n % 1500:04}.txt"))
                except OSError:
                    pass

        planter = threading.Thread(target=plant)
        planter.start()
        try:
            self.kzr("extract", "-j", "2", "many.kzr", "-C", "out")
        finally:
            stop.set()
            planter.join()
        self.assertEqual(os.listdir(outside), [], "something was written outside")
        self.assertEqual(self.leftovers(), [])

    def test_hard_link_and_the_archive_itself_are_not_written_through(self):
        archive = self.archive_with("self.kzr", {"f.txt": b"new\n", "self.kzr": b"entry\n"})
        before = read(archive)
        write(self.path("outside.txt"), b"outside\n")
        os.makedirs(self.path("out"))
        os.link(self.path("outside.txt"), self.path("out", "f.txt"))
        self.ok("extract", "--overwrite", "self.kzr", "-C", "out", "f.txt")
        self.assertEqual(read(self.path("outside.txt")), b"outside\n")
        self.assertEqual(read(self.path("out", "f.txt")), b"new\n")
        # The entry named like the archive, extracted next to it.
        done = self.kzr("extract", "--overwrite", "self.kzr", "-C", ".", "self.kzr")
        self.assertNotEqual(done.returncode, 0, done)
        self.assertIn(b"the archive being read", done.stderr)
        self.assertEqual(read(archive), before)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    TOOL = os.path.abspath(sys.argv[1])
    rest = sys.argv[2:]
    if rest[:1] == ["--test-host"]:
        HOST = [os.path.abspath(rest[1]), os.path.abspath(rest[2])]
        rest = rest[3:]
    unittest.main(argv=[sys.argv[0], "-v"] + rest)
