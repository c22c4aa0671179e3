#!/usr/bin/env python3
"""End-to-end tests of the kzr tool on real archives.

    test_kzr.py [--runner PART]... [--windows] [--plugin-module PATH --test-host PATH]
                --archive-maker PATH KZR [TEST...]

KZR is the tool to run; --runner parts go before it (wine-run.sh and its
arguments for kzr.exe); --windows says the tool is the Windows build (names
listed with backslashes); --plugin-module is a plugin binary that the test
host (tests/support/test_host, run like the tool) drives as a file manager
would; --archive-maker is make_test_archive, which runs natively.
TEST names unittest classes or methods to run (default: all).

Archives come from the tool itself (pack) or from the tests' archive builder
(make_test_archive): names no writer would store, compressed entries,
corrupt streams and damaged directories.
"""
import argparse
import json
import os
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest


class Config:
    tool = None
    runner = []
    windows = False
    plugin_module = None
    test_host = None
    archive_maker = None  # make_test_archive, run natively
    open_swap = None  # the preload that swaps the archive after its first open
    # Whether stored backslashes are listed as '/' (Linux).
    converts_separators = False


# --- running the tool --------------------------------------------------------

class Run:
    def __init__(self, completed):
        self.code = completed.returncode
        self.raw = completed.stdout
        # Bytes as code points 0-255, so that any name survives; Windows
        # writes text with CRLF.
        self.out = completed.stdout.decode("latin-1").replace("\r\n", "\n")
        self.err = completed.stderr.decode("latin-1").replace("\r\n", "\n")

    def __repr__(self):
        return f"exit {self.code}\n--- stdout\n{self.out}--- stderr\n{self.err}"


def host_path(path):
    """An absolute path as the tool sees it (a Z: path under wine)."""
    if Config.windows:
        return "Z:" + os.path.abspath(path).replace("/", "\\")
    return os.path.abspath(path)


def kzr(*args, cwd, user=None, env=None, timeout=300, program=None):
    """user: a user id to run the tool as (the caller runs as root); env:
    variables to set for it."""
    command = Config.runner + [program or Config.tool] + list(args)
    as_user = {"user": user, "group": user, "extra_groups": []} if user is not None else {}
    completed = subprocess.run(command, cwd=cwd, capture_output=True, timeout=timeout,
                               stdin=subprocess.DEVNULL, env=env and {**os.environ, **env},
                               **as_user)
    return Run(completed)


def host(*args, cwd):
    """The test host driving the plugin binary through its exports."""
    return kzr("--plugin", host_path(Config.plugin_module), *args, cwd=cwd,
               program=Config.test_host)


# --- archives made by the tests' builder -------------------------------------
# make_test_archive (tests/support) frames, masks and compresses with the
# library's own encoders; the tests only describe the entries.

def stored_file(name, content):
    """A member stored as the archive's flavour stores it."""
    return f"file:{name.hex()}:{content.hex()}"


def compressed_file(name, content):
    """A member stored as an LZW stream."""
    return f"lzw:{name.hex()}:{content.hex()}"


def raw_entry(name, stored, unpacked, compressed):
    """Stored bytes and sizes as given; `compressed` is the record's flag."""
    return f"record:{name.hex()}:{stored.hex()}:{unpacked}:{compressed}"


def build_archive(path, entries, masked=False, directory_tail=b""):
    """Writes the archive (plain flavour unless masked); directory_tail is
    appended to the directory (to damage it). Returns each entry's stored
    length."""
    command = [Config.archive_maker] + ([] if masked else ["--plain"]) + [path] + entries
    if directory_tail:
        command.append("tail:" + directory_tail.hex())
    done = subprocess.run(command, capture_output=True, timeout=60)
    if done.returncode != 0:
        raise RuntimeError(f"make_test_archive failed: {done.stderr.decode(errors='replace')}")
    return [int(line) for line in done.stdout.split()]


def stored_names(path):
    """The names as the directory holds them, in directory order."""
    done = subprocess.run([Config.archive_maker, "--names", path], capture_output=True,
                          timeout=60, check=True)
    return [bytes.fromhex(line) for line in done.stdout.decode().splitlines()]


# --- files -------------------------------------------------------------------

def write_file(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def tree(root):
    """{relative path with '/': bytes} of every file under root."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            files[os.path.relpath(path, root).replace(os.sep, "/")] = read_file(path)
    return files


def everything_under(root):
    found = set()
    for folder, folders, names in os.walk(root):
        for name in folders + names:
            found.add(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    return found


def norm(name):
    """A name with either separator, compared with '/'."""
    return name.replace("\\", "/")


def listed(stored):
    """A stored name (with '\\') as the plugin lists it on this system."""
    return stored.replace("\\", "/") if Config.converts_separators else stored


def listed_text(stored):
    """The text the tool lists for stored bytes: the Linux plugin converts
    them from Windows-1250; the Windows DLL hands them through, and the tool
    reads them in the ANSI code page (1252 under wine: use bytes that the two
    code pages agree on)."""
    return stored.decode("cp1250")


SAMPLE = {
    "readme.txt": b"A sample archive for kzr.\n",
    "empty.dat": b"",
    "with space.txt": b"spaces in names are fine\n",
    "data/units.dat": random.Random(1).randbytes(3000),
    "data/deep/er/x.bin": random.Random(2).randbytes(70000),
    "ini/dat/units.ini": b"[scout]\nspeed=12\nsight=9\n" * 20,
}


class Sandbox(unittest.TestCase):
    """A fresh folder per test; the tool runs inside it."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kzr-cli-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def kzr(self, *args, user=None, env=None, timeout=300):
        return kzr(*args, cwd=self.dir, user=user, env=env, timeout=timeout)

    def ok(self, *args, env=None):
        run = self.kzr(*args, env=env)
        self.assertEqual(run.code, 0, run)
        return run

    def make_sample(self, folder="src", files=SAMPLE):
        for name, content in files.items():
            write_file(self.path(folder, *name.split("/")), content)

    def build_archive(self, name, entries, **options):
        return build_archive(self.path(name), entries, **options)

    def json_list(self, archive, *args, env=None):
        run = self.kzr("list", "--json", archive, *args, env=env)
        self.assertTrue(all(ord(c) < 0x80 for c in run.out), "JSON output is not plain ASCII")
        return run, json.loads(run.out)


# --- tests -------------------------------------------------------------------

class RoundTripTest(Sandbox):
    """pack -> list -> test -> extract, compared byte for byte."""

    def test_pack_list_test_extract(self):
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")

        _, listing = self.json_list("out.kzr")
        self.assertTrue(listing["complete"])
        # Stored in sorted order, listed in reverse.
        expected = sorted(name.replace("/", "\\") for name in SAMPLE)[::-1]
        self.assertEqual([norm(e["name"]) for e in listing["entries"]],
                         [norm(n) for n in expected])
        for entry in listing["entries"]:
            size = len(SAMPLE[norm(entry["name"])])
            self.assertEqual((entry["packed"], entry["unpacked"], entry["compressed"]),
                             (size, size, False))

        run = self.ok("test", "out.kzr")
        # Stored data carries no checksum: the summary says what was checked.
        self.assertIn("6 entries: 0 compressed entries decoded, 6 stored entries read", run.out)
        self.assertIn("stored data carries no checksum)", run.out)
        self.ok("extract", "out.kzr", "-C", "dst")
        self.assertEqual(tree(self.path("dst")), SAMPLE)
        # Bytes of every value, CR LF among them, come out of cat untouched.
        run = self.ok("cat", "out.kzr", "data/deep/er/x.bin", "readme.txt")
        self.assertEqual(run.raw, SAMPLE["data/deep/er/x.bin"] + SAMPLE["readme.txt"])
        # An argument that starts with '/' is a path, never a Windows-style
        # option (under wine, a path from the root of the current drive).
        self.ok("info", os.path.abspath(self.path("out.kzr")))

    def test_prefix_and_ini_dat_names(self):
        # "ini" + "dat/units.ini" is stored as ini\dat\units.ini, which the
        # masked flavour stores through the second content mask.
        self.make_sample()
        self.ok("pack", "--prefix", "ini/", "p.kzr", "-C", "src/ini", "dat")
        self.ok("pack", "--prefix", "game\\res", "q.kzr", "-C", "src", "data", "empty.dat")
        _, p = self.json_list("p.kzr")
        self.assertEqual([norm(e["name"]) for e in p["entries"]], ["ini/dat/units.ini"])
        _, q = self.json_list("q.kzr")
        self.assertEqual(sorted(norm(e["name"]) for e in q["entries"]),
                         ["game/res/data/deep/er/x.bin", "game/res/data/units.dat",
                          "game/res/empty.dat"])
        self.ok("test", "p.kzr")
        self.ok("extract", "p.kzr", "-C", "dst")
        self.ok("extract", "q.kzr", "-C", "dst")
        self.assertEqual(tree(self.path("dst")), {
            "ini/dat/units.ini": SAMPLE["ini/dat/units.ini"],
            "game/res/data/deep/er/x.bin": SAMPLE["data/deep/er/x.bin"],
            "game/res/data/units.dat": SAMPLE["data/units.dat"],
            "game/res/empty.dat": b"",
        })

    def test_packing_is_stable_and_sorted(self):
        self.make_sample()
        self.ok("pack", "a.kzr", "-C", "src", "readme.txt", "data", "ini", "empty.dat",
                "with space.txt")
        self.ok("pack", "b.kzr", "-C", "src", ".", "data")  # overlapping paths count once
        a, b = read_file(self.path("a.kzr")), read_file(self.path("b.kzr"))
        self.assertEqual(a, b)
        names = [norm(n.decode("latin-1")) for n in stored_names(self.path("a.kzr"))]
        self.assertEqual(names, [norm(n) for n in sorted(n.replace("/", "\\") for n in SAMPLE)])

    def test_stored_names_use_backslashes_and_listed_names_the_hosts_separator(self):
        if not (Config.windows or Config.converts_separators):
            self.skipTest("this build of the plugin does not convert separators")
        self.make_sample()
        self.ok("pack", "--prefix", "game/res", "a.kzr", "-C", "src", ".")
        for name in stored_names(self.path("a.kzr")):
            self.assertNotIn(b"/", name)
            self.assertTrue(name.startswith(b"game\\res\\"), name)
        _, listing = self.json_list("a.kzr")
        for entry in listing["entries"]:
            self.assertEqual(entry["name"], listed(entry["name"].replace("/", "\\")))
            self.assertNotIn("\\" if Config.converts_separators else "/", entry["name"])

    def test_text_listing_and_quiet(self):
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")
        run = self.ok("list", "out.kzr")
        lines = run.out.splitlines()
        self.assertEqual(lines[0].split(), ["packed", "unpacked", "compressed", "name"])
        self.assertTrue(any(line.split()[:3] == ["70000", "70000", "no"]
                            and norm(line).endswith("data/deep/er/x.bin") for line in lines))
        total = sum(len(content) for content in SAMPLE.values())
        self.assertIn(f"6 entries, {total} bytes packed, {total} bytes unpacked", run.out)
        # The entries' lines and the summary end as the system's text does.
        ending = b"\r\n" if Config.windows else b"\n"
        self.assertEqual(run.raw.count(b"\n"), len(lines))
        self.assertEqual(run.raw.count(ending), len(lines))
        self.assertNotIn(b"\r\r", run.raw)
        quiet = self.ok("--quiet", "list", "out.kzr")
        self.assertEqual(len(quiet.out.splitlines()), 6)
        self.assertEqual(self.ok("extract", "-q", "out.kzr", "-C", "d").out, "")


class PluginModuleTest(Sandbox):
    """The plugin binary, driven as a file manager drives it (the test host),
    makes and reads the archives kzr does."""

    def setUp(self):
        if not Config.plugin_module or not Config.test_host:
            self.skipTest("no plugin binary or test host given")
        super().setUp()

    def test_round_trip_through_the_plugin_binary(self):
        self.make_sample()
        run = host("pack", "out.kzr", host_path(self.path("src")), cwd=self.dir)
        self.assertEqual(run.code, 0, run)
        self.ok("extract", "out.kzr", "-C", "by-kzr")
        self.assertEqual(tree(self.path("by-kzr")), SAMPLE)
        run = host("extract", "out.kzr", host_path(self.path("by-host")), cwd=self.dir)
        self.assertEqual(run.code, 0, run)
        self.assertEqual(tree(self.path("by-host")), SAMPLE)

    def test_corrupt_entry_through_the_plugin_binary(self):
        self.build_archive("bad.kzr", [raw_entry(b"bad.bin", b"\0\0\0\0", 10, 1)])
        run = host("extract", "bad.kzr", host_path(self.path("out")), cwd=self.dir)
        self.assertEqual(run.code, 1, run)
        self.assertIn("12", run.out + run.err)


class PatternTest(Sandbox):
    def setUp(self):
        super().setUp()
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")

    def extracted(self, *patterns):
        self.ok("extract", "out.kzr", "-C", "dst", *patterns)
        return sorted(tree(self.path("dst")))

    def test_wildcards_folders_and_case(self):
        self.assertEqual(self.extracted("data/*"), ["data/deep/er/x.bin", "data/units.dat"])
        shutil.rmtree(self.path("dst"))
        self.assertEqual(self.extracted("*.TXT"), ["readme.txt", "with space.txt"])
        shutil.rmtree(self.path("dst"))
        self.assertEqual(self.extracted("ini"), ["ini/dat/units.ini"])
        shutil.rmtree(self.path("dst"))
        self.assertEqual(self.extracted("DATA\\deep\\er\\?.bin", "empty.???"),
                         ["data/deep/er/x.bin", "empty.dat"])

    def test_pattern_matching_nothing_fails_but_the_others_extract(self):
        run = self.kzr("extract", "out.kzr", "-C", "dst", "nothing*", "readme.txt")
        self.assertEqual(run.code, 1, run)
        self.assertIn("no entry matches nothing*", run.err)
        self.assertEqual(sorted(tree(self.path("dst"))), ["readme.txt"])

    def listed_names(self, archive, *args):
        run, listing = self.json_list(archive, *args)
        self.assertEqual(run.code, 0, run)
        return sorted(norm(entry["name"]) for entry in listing["entries"])

    def test_classes_and_exclusions(self):
        cases = [
            (["[a-d]*"], [], ["data/deep/er/x.bin", "data/units.dat"]),
            (["[!d]*.dat"], [], ["empty.dat"]),
            (["[A-Z]*.TXT"], [], ["readme.txt", "with space.txt"]),
            (["data/*/[w-z].bin"], [], ["data/deep/er/x.bin"]),
            (["[ew]*"], ["*space*"], ["empty.dat"]),
            ([], ["data", "*.txt"], ["empty.dat", "ini/dat/units.ini"]),
            (["*.txt", "ini"], ["W*"], ["ini/dat/units.ini", "readme.txt"]),
        ]
        for patterns, excludes, expected in cases:
            # Each --exclude takes one pattern: those after it are no exclusions.
            exclusions = [arg for pattern in excludes for arg in ("--exclude", pattern)]
            self.assertEqual(self.listed_names("out.kzr", *exclusions, *patterns), expected,
                             (patterns, excludes))

    def test_letters_of_the_code_page_in_any_case(self):
        names = ["mapy\\Česká\\úvod.txt", "mapy\\ceska.txt", "Řeka.txt"]
        self.build_archive("cz.kzr", [stored_file(n.encode("cp1250"), b"") for n in names])
        for pattern, expected in [("mapy/?eská/*", ["mapy/Česká/úvod.txt"]),
                                  ("MAPY/ČESKÁ", ["mapy/Česká/úvod.txt"]),
                                  ("ř*", ["Řeka.txt"]), ("[č-ř]*", ["Řeka.txt"])]:
            self.assertEqual(self.listed_names("cz.kzr", pattern), expected, pattern)

    def test_brackets_in_names(self):
        # A name is also chosen by a pattern that spells it out; a '[' that
        # is never closed stands for itself.
        names = [b"a[1].txt", b"a1.txt", b"[x"]
        self.build_archive("b.kzr", [stored_file(n, b"") for n in names])
        for pattern, expected in [("a[1].txt", ["a1.txt", "a[1].txt"]),
                                  ("a[[]1].txt", ["a[1].txt"]), ("[x", ["[x"])]:
            self.assertEqual(self.listed_names("b.kzr", pattern), expected, pattern)

    def test_words_in_brackets_are_patterns_and_paths_not_lists(self):
        self.assertEqual(self.listed_names("out.kzr", "[e,r]*"), ["empty.dat", "readme.txt"])
        self.ok("delete", "out.kzr", "[w]*[t]")
        self.assertNotIn("with space.txt", self.listed_names("out.kzr"))
        write_file(self.path("more", "[old]", "y"), b"y")
        write_file(self.path("more", "old", "z"), b"z")
        self.ok("pack", "more.kzr", "-C", "more", "[old]")
        self.assertEqual(self.listed_names("more.kzr"), ["[old]/y"])

    def test_an_entry_named_like_a_whole_folder_is_deleted_alone(self):
        # A host's delete list reads "dir\\*.*" as the folder dir whole; kzr
        # deletes entries by their names.
        names = [b"dir\\*.*", b"dir\\keep.txt", b"top.txt"]
        self.build_archive("w.kzr", [stored_file(n, b"x") for n in names])
        self.ok("delete", "w.kzr", "dir/[*].[*]")
        self.assertEqual(self.listed_names("w.kzr"), ["dir/keep.txt", "top.txt"])
        self.ok("delete", "w.kzr", "dir")
        self.assertEqual(self.listed_names("w.kzr"), ["top.txt"])

    def test_every_choosing_command_takes_patterns_and_exclusions(self):
        self.assertEqual(self.extracted("data", "--exclude", "*.bin"), ["data/units.dat"])
        run = self.ok("test", "out.kzr", "*.txt", "--exclude", "with*")
        self.assertIn("out.kzr: 1 entry: 0 compressed entries decoded, 1 stored entry read", run.out)
        run = self.kzr("list", "out.kzr", "nothing*")
        self.assertEqual(run.code, 1, run)
        self.assertIn("no entry matches nothing*", run.err)
        self.ok("delete", "out.kzr", "*", "--exclude", "data")
        self.assertEqual(self.listed_names("out.kzr"), ["data/deep/er/x.bin", "data/units.dat"])


class ListsAndPipesTest(Sandbox):
    def test_file_lists_and_standard_input_and_output(self):
        self.make_sample()
        write_file(self.path("paths.txt"), b"readme.txt\0data\0")
        self.ok("pack", "a.kzr", "-C", "src", "-T", self.path("paths.txt"), "--null",
                "--exclude", "*.bin")
        self.assertEqual(sorted(norm(self.ok("list", "-1", "a.kzr").out).split()),
                         ["data/units.dat", "readme.txt"])
        piped = self.kzr("pack", "-", "-C", "src", "empty.dat")
        self.assertEqual(piped.code, 0, piped)
        write_file(self.path("b.kzr"), piped.raw)
        self.assertEqual(self.ok("list", "-1", "b.kzr").out.split(), ["empty.dat"])
        with open(self.path("a.kzr"), "rb") as archive:
            run = subprocess.run(Config.runner + [Config.tool, "extract", "-", "-C", "out"],
                                 cwd=self.dir, stdin=archive, capture_output=True, timeout=300)
        self.assertEqual(run.returncode, 0, run)
        self.assertEqual(sorted(tree(self.path("out"))), ["data/units.dat", "readme.txt"])
        self.assertFalse(os.path.exists(self.path("-")))


class CatTest(Sandbox):
    """cat writes members byte for byte, in the order named."""

    BINARY = bytes(range(256)) * 40 + b"\r\n\x1a\n"

    def setUp(self):
        super().setUp()
        # The tool writes the masked flavour (names under ini\dat\ through
        # both content masks); the plain archive holds an LZW member.
        self.make_sample(files={"ini/dat/units.ini": SAMPLE["ini/dat/units.ini"],
                                "bin/raw.bin": self.BINARY})
        self.ok("pack", "masked.kzr", "-C", "src", ".")
        self.build_archive("plain.kzr", [
            compressed_file(b"lzw.txt", b"hello, hello"),
            stored_file(b"as-is.bin", self.BINARY),
            raw_entry(b"bad.bin", b"\1\2\3\4", 100, 1),
        ])

    def test_members_byte_for_byte_in_the_order_named(self):
        ini = SAMPLE["ini/dat/units.ini"]
        cases = [
            ("masked.kzr", ["bin/raw.bin"], self.BINARY),
            ("masked.kzr", ["ini/dat/units.ini", "bin\\raw.bin"], ini + self.BINARY),
            ("masked.kzr", ["*.bin", "INI"], self.BINARY + ini),
            ("plain.kzr", ["lzw.txt", "as-is.bin", "lzw.txt"],
             b"hello, hello" + self.BINARY + b"hello, hello"),
        ]
        for archive, names, expected in cases:
            run = self.ok("cat", archive, *names)
            self.assertEqual(run.raw, expected, (archive, names))
            self.assertEqual(run.err, "")

    def test_a_corrupt_or_missing_member_fails_but_the_others_are_written(self):
        run = self.kzr("cat", "plain.kzr", "bad.bin", "nothing", "lzw.txt")
        self.assertEqual(run.code, 1, run)
        self.assertEqual(run.raw, b"hello, hello")
        self.assertIn("kzr: plain.kzr: bad.bin: damaged: the stored data does not decode\n", run.err)
        self.assertIn("kzr: plain.kzr: no entry matches nothing\n", run.err)


class OutputFailureTest(Sandbox):
    """Results that cannot be written make a failure; a pipe whose reader
    has gone ends kzr as its signal would, after it has cleaned up."""

    def setUp(self):
        super().setUp()
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")

    def run_to(self, stdout, *args, env=None):
        return subprocess.run(Config.runner + [Config.tool, *args], cwd=self.dir, stdout=stdout,
                              stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=300,
                              env=env and {**os.environ, **env})

    def test_a_full_disk_fails_every_command_that_writes_results(self):
        if Config.windows or not os.path.exists("/dev/full"):
            self.skipTest("needs /dev/full")
        for args in [("list", "out.kzr"), ("list", "--json", "out.kzr"), ("info", "out.kzr"),
                     ("test", "out.kzr"), ("cat", "out.kzr", "readme.txt")]:
            with open("/dev/full", "wb") as full:
                run = self.run_to(full, *args)
            self.assertEqual(run.returncode, 1, args)
            self.assertEqual(run.stderr.count(b"standard output: write error"), 1, args)

    def test_a_closed_pipe_ends_kzr_quietly(self):
        reader, writer = os.pipe()
        os.close(reader)
        try:
            run = self.run_to(writer, "cat", "out.kzr", "*")
        finally:
            os.close(writer)
        # Windows has no pipe signal: a failure, as quiet.
        self.assertEqual(run.returncode, 1 if Config.windows else -signal.SIGPIPE, run.stderr)
        self.assertEqual(run.stderr, b"")


class PosixArchiveWriteTest(Sandbox):
    """What a POSIX system lets stand where an archive is written: a leftover
    of an earlier process of the same number, a symbolic link, a name as long
    as a name may be."""

    def setUp(self):
        if Config.windows:
            self.skipTest("process numbers handed on with exec, and symbolic links")
        super().setUp()
        self.make_sample()

    def test_a_leftover_new_archive_of_the_same_process_number_is_not_added_to(self):
        self.ok("pack", "stale.kzr", "-C", "src", "empty.dat")
        script = 'cp stale.kzr "out.kzr.kzr-tmp-$$-new" && exec "$0" pack out.kzr -C src readme.txt'
        done = subprocess.run(["sh", "-c", script, Config.tool], cwd=self.dir,
                              capture_output=True, timeout=300)
        self.assertEqual(done.returncode, 0, done)
        self.assertEqual(stored_names(self.path("out.kzr")), [b"readme.txt"])

    def test_an_archive_named_with_the_longest_name_is_packed_added_to_and_deleted_from(self):
        name = "a" * 251 + ".kzr"
        self.ok("pack", name, "-C", "src", "readme.txt")
        self.ok("add", name, "-C", "src", "empty.dat")
        self.ok("delete", name, "readme.txt")
        self.assertEqual(stored_names(self.path(name)), [b"empty.dat"])
        self.assertEqual([n for n in os.listdir(self.dir) if "kzr-tmp" in n], [])

    def test_pack_add_and_delete_change_the_archive_a_link_leads_to(self):
        self.ok("pack", "real.kzr", "-C", "src", "readme.txt")
        os.symlink("real.kzr", self.path("link.kzr"))
        self.ok("add", "link.kzr", "-C", "src", "empty.dat")
        self.ok("delete", "link.kzr", "readme.txt")
        self.assertEqual(stored_names(self.path("real.kzr")), [b"empty.dat"])
        self.ok("pack", "--overwrite", "link.kzr", "-C", "src", "ini")
        self.assertEqual(stored_names(self.path("real.kzr")), [b"ini\\dat\\units.ini"])
        self.assertTrue(os.path.islink(self.path("link.kzr")))
        self.assertEqual([n for n in os.listdir(self.dir) if "kzr-tmp" in n], [])


class CommandLineTest(Sandbox):
    """Aliases, suggestions and help, as a tar or 7z user types them."""

    def test_aliases_do_what_their_commands_do(self):
        self.make_sample()
        self.ok("c", "a.kzr", "-C", "src", "readme.txt")
        self.ok("a", "a.kzr", "-C", "src", "empty.dat", "data")
        listing = self.ok("list", "a.kzr").out
        for alias in ["l", "ls"]:
            self.assertEqual(self.ok(alias, "a.kzr").out, listing)
        self.assertEqual(self.ok("t", "a.kzr").out, self.ok("test", "a.kzr").out)
        self.ok("x", "a.kzr", "-C", "out")
        self.assertEqual(sorted(tree(self.path("out"))),
                         ["data/deep/er/x.bin", "data/units.dat", "empty.dat", "readme.txt"])
        self.ok("d", "a.kzr", "readme.txt")
        self.ok("rm", "a.kzr", "empty.dat", "data")
        self.assertEqual(self.json_list("a.kzr")[1]["entries"], [])

    def test_unknown_commands_are_usage_errors_with_a_suggestion(self):
        for typed, suggestion in [("lst", "list"), ("exract", "extract"), ("tset", "test"),
                                  ("ext", "extract"), ("frobnicate", None), ("z", None)]:
            run = self.kzr("-q", typed, "a.kzr")
            self.assertEqual(run.code, 2, run)
            self.assertIn(f"kzr: no command '{typed}'", run.err)
            if suggestion:
                self.assertIn(f"; did you mean '{suggestion}'?", run.err)
            else:
                self.assertNotIn("did you mean", run.err)
        run = self.kzr("-v")
        self.assertEqual(run.code, 2, run)
        self.assertIn("a command is required", run.err)

    def test_help_for_kzr_or_a_command_named_by_any_alias(self):
        self.assertEqual(self.ok("help").out, self.ok("--help").out)
        for name in ["extract", "x"]:
            self.assertEqual(self.ok("help", name).out, self.ok("extract", "--help").out)
        self.assertIn("did you mean 'delete'?", self.kzr("help", "delet").err)

    def test_mistakes_are_told_in_words_with_what_was_meant(self):
        write_file(self.path("README.md"), b"text")
        for args, message, code in [
            (("list", "--jsn", "a.kzr"), "kzr: no option '--jsn'; did you mean '--json'?", 2),
            (("game.kzr", "list"), "kzr: no command 'game.kzr'; did you mean 'kzr list game.kzr'?",
             2),
            (("extract", "a.kzr", "-C", "README.md"), "kzr: README.md: not a folder", 1),
            (("--names", "FOO", "list", "a.kzr"), "kzr: unknown code page FOO for names", 1),
        ]:
            run = self.kzr(*args)
            self.assertEqual(run.code, code, run)
            self.assertIn(message, run.err)


class UnsafeNameTest(Sandbox):
    def test_unsafe_names_extract_inside_the_folder_as_the_plugin_reports_them(self):
        # The plugin reports each name without what would lead outside the
        # folder; kzr extracts what it reports, and refuses the empty name.
        sandbox = os.path.abspath(self.dir).encode()
        rooted = sandbox.replace(b"/", b"\\") if Config.windows else sandbox
        inside = rooted.replace(b"\\", b"/").lstrip(b"/")
        unsafe = {
            b"..\\escape1.txt": b"escape1.txt",
            b"../escape2.txt": b"escape2.txt",
            b"sub\\..\\..\\escape3.txt": b"sub/escape3.txt",
            b"\\absolute1.txt": b"absolute1.txt",
            rooted + (b"\\" if Config.windows else b"/") + b"absolute2.txt":
                inside + b"/absolute2.txt",
            b"c:drive2.txt": b"drive2.txt",
            b"a\\\\empty.txt": b"a/empty.txt",
            b".\\dot1.txt": b"dot1.txt",
            b"deep\\.\\dot2.txt": b"deep/dot2.txt",
        }
        entries = [stored_file(name, b"bad " + name) for name in unsafe]
        entries.insert(3, stored_file(b"good\\ok.txt", b"fine"))
        entries.append(stored_file(b"", b"nameless"))
        self.build_archive("evil.kzr", entries)
        run = self.kzr("extract", "evil.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertIn("evil.kzr: : refused: empty name\n", run.err)
        expected = {cleaned.decode(): b"bad " + name for name, cleaned in unsafe.items()}
        expected["good/ok.txt"] = b"fine"
        self.assertEqual(tree(self.path("out")), expected)
        self.assertEqual(set(os.listdir(self.dir)), {"evil.kzr", "out"})

    def test_names_windows_would_reinterpret(self):
        # A stream after a colon, a device, a name Windows cuts its dot from:
        # refused on Windows only, ordinary names elsewhere.
        names = [b"file.txt:stream", b"sub\\aux.txt", b"CON", b"trailing.", b'what?.txt']
        self.build_archive("w.kzr", [stored_file(n, b"x") for n in names])
        run = self.kzr("extract", "w.kzr", "-C", "out")
        if Config.windows:
            self.assertEqual(run.code, 1, run)
            for reason in ["a character Windows does not allow in file names",
                           "a Windows device name", "a component ending in a dot or space"]:
                self.assertIn(f": refused: {reason}\n", run.err)
            self.assertEqual(run.err.count("refused"), len(names))
            self.assertEqual(everything_under(self.path("out")), set())
        else:
            self.assertEqual(run.code, 0, run)
            self.assertEqual(sorted(tree(self.path("out"))),
                             sorted(norm(n.decode()) for n in names))

    def test_nothing_is_written_through_symbolic_links(self):
        if Config.windows or os.name != "posix":
            self.skipTest("symbolic links are made on POSIX only")
        os.makedirs(self.path("outside"))
        write_file(self.path("outside", "target.txt"), b"keep")
        os.makedirs(self.path("out"))
        os.symlink("../outside", self.path("out", "link"))
        os.symlink(self.path("outside", "target.txt"), self.path("out", "f.txt"))
        self.build_archive("links.kzr", [
            stored_file(b"link\\x.txt", b"escaped"),
            stored_file(b"f.txt", b"overwritten"),
        ])
        run = self.kzr("extract", "links.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertIn(listed("link\\x.txt") + ": out/link: is a symbolic link, which is never "
                      "followed", run.err)
        self.assertIn("1 file exists and was kept", run.err)
        # --overwrite puts the file in the link's place; the link's target is
        # never written.
        run = self.kzr("extract", "--overwrite", "links.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertFalse(os.path.islink(self.path("out", "f.txt")))
        self.assertEqual(read_file(self.path("out", "f.txt")), b"overwritten")
        self.assertEqual(tree(self.path("outside")), {"target.txt": b"keep"})

    def test_deep_destinations(self):
        # Paths deeper than the short form's 259 characters work everywhere
        # (kzr.exe reaches them in the long form).
        deep = self.path(*["d" * 100] * 5)
        self.build_archive("long.kzr", [stored_file(b"n" * 40, b"x")])
        self.ok("extract", "long.kzr", "-C", deep)
        self.assertEqual(read_file(os.path.join(deep, "n" * 40)), b"x")
        longest = b"g" * 200 + b"\\" + b"i" * 58
        self.build_archive("longest.kzr", [stored_file(longest, b"y")])
        self.ok("extract", "longest.kzr", "-C", deep)


class OverwriteTest(Sandbox):
    def test_existing_files_are_kept_unless_overwrite(self):
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")
        self.ok("extract", "out.kzr", "-C", "dst")
        write_file(self.path("dst", "readme.txt"), b"changed")
        run = self.kzr("extract", "out.kzr", "-C", "dst", "readme.txt", "data")
        self.assertEqual(run.code, 1, run)
        self.assertIn("3 files exist and were kept (--overwrite replaces them", run.err)
        self.assertEqual(read_file(self.path("dst", "readme.txt")), b"changed")
        self.ok("extract", "-k", "out.kzr", "-C", "dst")
        self.assertEqual(read_file(self.path("dst", "readme.txt")), b"changed")
        self.ok("extract", "--overwrite", "out.kzr", "-C", "dst")
        self.assertEqual(tree(self.path("dst")), SAMPLE)

    def test_entries_of_one_name_end_as_one_job_leaves_them_whatever_the_jobs(self):
        # Listed from the directory's end: the first listed is written and the
        # rest find it and are kept, or with --overwrite the last listed wins.
        # On Windows names that differ in case alone are one file too, also
        # for letters beyond ASCII (full-width a and A in code page 932).
        names_env = None
        if os.environ.get("KZR_TEST_ANSI_CODE_PAGE") == "932":
            pair, names_env = (b"\x82\x81.txt", b"\x82\x60.txt"), {"KZR_NAMES": "CP932"}
        else:
            pair = (b"same.txt", b"SAME.txt" if Config.windows else b"same.txt")
        contents = [b"version %d" % i for i in range(40)]
        names = [pair[i % 2] for i in range(40)]
        self.build_archive("dup.kzr", [stored_file(n, c) for n, c in zip(names, contents)])
        for options, code, content in (((), 1, contents[-1]), (("--overwrite",), 0, contents[0])):
            for _ in range(3):
                shutil.rmtree(self.path("dst"), ignore_errors=True)
                run = self.kzr("extract", "-j", "4", *options, "dup.kzr", "-C", "dst", env=names_env)
                self.assertEqual(run.code, code, run)
                written = os.listdir(self.path("dst"))
                self.assertEqual(len(written), 1, written)
                self.assertEqual(read_file(self.path("dst", written[0])), content, options)

    def test_an_archive_replaced_while_it_is_extracted_is_read_as_it_was_opened(self):
        # Every open of old.kzr after the first opens new.kzr: whatever the
        # jobs, every file comes from the archive that was opened.
        if not Config.open_swap:
            self.skipTest("needs the preload that swaps the archive (Linux)")
        self.build_archive("old.kzr", [stored_file(b"f%d.txt" % i, b"old") for i in range(8)])
        self.build_archive("new.kzr", [stored_file(b"f%d.txt" % i, b"new") for i in range(4)])
        env = {"LD_PRELOAD": Config.open_swap, "ASAN_OPTIONS": "verify_asan_link_order=0",
               "KZR_TEST_SWAP_FROM": "old.kzr", "KZR_TEST_SWAP_TO": self.path("new.kzr")}
        for round_number in range(200):
            shutil.rmtree(self.path("dst"), ignore_errors=True)
            run = self.kzr("extract", "-j", "4", "old.kzr", "-C", "dst", env=env, timeout=60)
            self.assertIn("extracted 8 of 8 entries", run.out, (round_number, run))
            self.assertEqual(set(tree(self.path("dst")).values()), {b"old"}, round_number)


class ExitStatusTest(Sandbox):
    def test_version_help_and_usage_errors(self):
        for flag in ["--version", "-V"]:
            self.assertEqual(self.ok(flag).out.strip(), "kzr 0.9.0.1")
        self.assertIn("extract", self.ok("--help").out)
        self.assertIn("--overwrite", self.ok("extract", "--help").out)
        for args in [(), ("list",), ("frobnicate", "x"), ("list", "--bogus", "x.kzr"),
                     ("pack", "only-the-archive.kzr"),
                     # An empty DIR is no folder, not the root.
                     ("extract", "x.kzr", "-C", ""), ("pack", "x.kzr", "-C", "", "etc"),
                     ("add", "x.kzr", "--directory=", "etc")]:
            self.assertEqual(self.kzr(*args).code, 2, args)

    def test_pack_refusals(self):
        self.make_sample()
        # An archive is never packed into itself: it is left out.
        self.ok("pack", "src/self.kzr", "-C", "src", "readme.txt")
        self.ok("add", "src/self.kzr", "-C", "src", ".")
        self.assertNotIn(b"self.kzr", stored_names(self.path("src", "self.kzr")))
        # pack does not replace an archive; add adds to it.
        before = read_file(self.path("src", "self.kzr"))
        run = self.kzr("pack", "src/self.kzr", "-C", "src", "empty.dat")
        self.assertEqual(run.code, 1, run)
        self.assertIn("src/self.kzr: exists; kept (kzr add adds to it, --overwrite replaces it)",
                      norm(run.err))
        self.assertEqual(read_file(self.path("src", "self.kzr")), before)

        run = self.kzr("pack", "x.kzr", "-C", "src", "../readme.txt")
        self.assertEqual(run.code, 1, run)
        self.assertIn("not inside the source folder", run.err)
        run = self.kzr("pack", "x.kzr", "-C", "src", "no-such-file")
        self.assertEqual(run.code, 1, run)
        self.assertIn("no-such-file: not found", run.err)
        self.assertFalse(os.path.exists(self.path("x.kzr")))

        # A file that is no archive is not replaced by mistake.
        write_file(self.path("notes.txt"), b"precious")
        run = self.kzr("pack", "notes.txt", "-C", "src", ".")
        self.assertEqual(run.code, 1, run)
        self.assertIn("exists and is not a KZR archive", run.err)
        self.assertEqual(read_file(self.path("notes.txt")), b"precious")
        self.ok("pack", "--overwrite", "notes.txt", "-C", "src", "readme.txt")
        self.ok("test", "notes.txt")

    def test_bad_prefix_is_a_usage_error(self):
        self.make_sample()
        run = self.kzr("pack", "--prefix", "../up", "x.kzr", "-C", "src", ".")
        self.assertEqual(run.code, 2, run)
        self.assertIn("--prefix ../up: refused: an empty, '.' or '..' component", run.err)


class SystemMessageTest(Sandbox):
    """Every failure names the file and the system's reason, or what the file is."""

    COMMANDS = [("list", "{}"), ("test", "{}"), ("info", "{}"), ("extract", "{}", "-C", "out"),
                ("cat", "{}", "x"), ("delete", "{}", "x")]

    def assert_message(self, name, line, user=None):
        for command in self.COMMANDS:
            run = self.kzr(*[arg.format(name) for arg in command], user=user)
            self.assertEqual(run.code, 1, run)
            self.assertIn(f"kzr: {name}: {line}\n", run.err, command)

    def test_archives_that_cannot_be_opened(self):
        self.make_sample()
        self.ok("pack", "good.kzr", "-C", "src", ".")
        good = read_file(self.path("good.kzr"))
        write_file(self.path("cut.kzr"), good[:1000])
        write_file(self.path("text.kzr"), b"just some text, long enough to be no header at all" * 2)
        write_file(self.path("empty.kzr"), b"")
        os.makedirs(self.path("folder.kzr"))
        cases = [
            ("missing.kzr", "not found"),
            ("folder.kzr", "is a folder, not an archive"),
            ("empty.kzr", "the file is empty, not an archive"),
            ("cut.kzr", f"damaged: the header says {len(good)} bytes, the file has 1000 "
                        "(truncated?)"),
            ("text.kzr", "not a KZR archive"),
        ]
        for name, line in cases:
            self.assert_message(name, line)

    def test_permission_denied(self):
        if Config.runner or os.name != "posix":
            self.skipTest("file permissions are POSIX ones")
        self.make_sample()
        self.ok("pack", "secret.kzr", "-C", "src", ".")
        os.chmod(self.path("secret.kzr"), 0)
        user = None
        if os.geteuid() == 0:
            # Root reads any file: the tool runs as nobody, who may enter
            # the folder (and write to "out") but not read the archive.
            os.chmod(self.dir, 0o755)
            os.makedirs(self.path("out"))
            os.chmod(self.path("out"), 0o777)
            user = 65534
        self.assert_message("secret.kzr", "cannot open: Permission denied", user=user)

    def test_entries_with_names_longer_than_a_hosts_record_are_extracted_and_deleted(self):
        folder = b"d\\" + b"a" * 200 + b"\\" + b"b" * 60
        self.build_archive("long.kzr", [stored_file(folder + b"one.txt", b"1"),
                                        stored_file(folder + b"two.txt", b"2"),
                                        stored_file(b"keep", b"k")])
        self.ok("extract", "long.kzr", "-C", "out")
        self.assertEqual(len(tree(self.path("out"))), 3)
        self.ok("delete", "long.kzr", folder.decode() + "one.txt")
        self.assertEqual(stored_names(self.path("long.kzr")), [folder + b"two.txt", b"keep"])

    def test_a_read_only_archive_is_neither_changed_nor_replaced(self):
        if Config.runner or os.name != "posix":
            self.skipTest("file permissions are POSIX ones")
        self.make_sample()
        self.ok("pack", "ro.kzr", "-C", "src", "readme.txt")
        os.chmod(self.path("ro.kzr"), 0o444)
        before = read_file(self.path("ro.kzr"))
        # Root may change any file: the tool runs as nobody, who may write the
        # folder (which is all a rename needs) but not the archive.
        user = None
        if os.geteuid() == 0:
            os.chmod(self.dir, 0o777)
            user = 65534
        for args in (["add", "ro.kzr", "-C", "src", "empty.dat"], ["delete", "ro.kzr", "readme.txt"],
                     ["pack", "ro.kzr", "-C", "src", "empty.dat", "--overwrite"]):
            run = self.kzr(*args, user=user)
            self.assertEqual(run.code, 1, (args, run))
            self.assertIn("Permission denied", run.err, args)
            self.assertEqual(read_file(self.path("ro.kzr")), before, args)

    def test_names_too_long_for_the_file_system(self):
        self.build_archive("long.kzr", [
            stored_file(b"f" * 256, b"x"), stored_file(b"d" * 256 + b"\\x", b"y"),
            stored_file(b"ok", b"z")])
        run = self.kzr("extract", "long.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertEqual(run.err.count(": File name too long\n"), 2, run)
        self.assertIn("extracted 1 of 3 entries to out (2 not extracted)", run.out)
        self.assertEqual(tree(self.path("out")), {"ok": b"z"})
        os.makedirs(self.path("src"))
        run = self.kzr("pack", "p.kzr", "-C", "src", "q" * 256)
        self.assertEqual(run.code, 1, run)
        self.assertIn("kzr: " + "q" * 256 + ": cannot open: File name too long\n", run.err)


class DamageTest(Sandbox):
    def test_corrupt_compressed_entry(self):
        good, _, _ = self.build_archive("mixed.kzr", [
            compressed_file(b"good.txt", b"hello, hello"),
            raw_entry(b"bad.bin", b"\1\2\3\4", 100, 1),  # shorter than a block header
            stored_file(b"plain.txt", b"as is"),
        ])
        _, listing = self.json_list("mixed.kzr")
        self.assertEqual([(e["name"], e["packed"], e["unpacked"], e["compressed"])
                          for e in listing["entries"]],
                         [("plain.txt", 5, 5, False), ("bad.bin", 4, 100, True),
                          ("good.txt", good, 12, True)])
        run = self.kzr("test", "mixed.kzr")
        self.assertEqual(run.code, 1, run)
        self.assertEqual(run.err, "kzr: mixed.kzr: bad.bin: damaged: the stored data does not "
                                  "decode\n")
        self.assertIn("3 entries: 1 compressed entry decoded, 1 stored entry read, 1 failed "
                      "(stored data carries no checksum)", run.out)
        run = self.kzr("extract", "mixed.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertIn("bad.bin: damaged: the stored data does not decode", run.err)
        self.assertEqual(tree(self.path("out")),
                         {"good.txt": b"hello, hello", "plain.txt": b"as is"})

    def test_a_compressed_member_claiming_more_than_an_archive_holds_is_damaged(self):
        self.build_archive("huge.kzr", [raw_entry(b"huge.bin", b"\0" * 16, 2**32 - 1, 1)])
        for args in (("extract", "huge.kzr", "-C", "out"), ("test", "huge.kzr")):
            run = self.kzr(*args)
            self.assertEqual(run.code, 1, run)
            self.assertIn("huge.bin: damaged: the stored data does not decode", run.err)
        self.assertEqual(everything_under(self.path("out")), set())

    def test_damaged_directory(self):
        self.build_archive(
            "damaged.kzr", [stored_file(b"first.txt", b"1"), stored_file(b"second.txt", b"22")],
            directory_tail=b"\x07" * 30)
        run = self.kzr("list", "damaged.kzr")
        self.assertEqual(run.code, 1, run)
        self.assertIn("second.txt", run.out)
        self.assertIn("first.txt", run.out)
        self.assertIn("kzr: damaged.kzr: damaged directory; only the 2 entries before the "
                      "damage could be read", run.err)
        run, listing = self.json_list("damaged.kzr")
        self.assertEqual(run.code, 1)
        self.assertFalse(listing["complete"])
        self.assertEqual([e["name"] for e in listing["entries"]], ["second.txt", "first.txt"])
        run = self.kzr("info", "damaged.kzr")
        self.assertEqual(run.code, 1, run)
        self.assertEqual(info_fields(run)["entries found"], "2 (directory damaged after these)")
        self.assertEqual(self.kzr("test", "damaged.kzr").code, 1)
        run = self.kzr("extract", "damaged.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertEqual(tree(self.path("out")), {"first.txt": b"1", "second.txt": b"22"})


class JsonTest(Sandbox):
    def test_eight_bit_and_control_characters_are_escaped(self):
        names = [b"caf\xe9.txt", b"ctl\x01x.txt", b'q"uote.txt', b"tab\there.txt", b"\xe4\x80",
                 b"a-longer-name\x7f.txt"]
        self.build_archive("names.kzr", [stored_file(n, b"") for n in names])
        run, listing = self.json_list("names.kzr")
        self.assertEqual(run.code, 0, run)
        self.assertIn("\\u00e9", run.out)
        self.assertIn("\\u20ac", run.out)
        self.assertEqual([e["name"] for e in listing["entries"]],
                         [listed_text(n) for n in names[::-1]])
        self.assertEqual(listing["archive"], "names.kzr")
        # The text listing shows control characters escaped.
        text = self.ok("list", "names.kzr").out
        self.assertIn("ctl\\x01x.txt", text)
        self.assertIn("a-longer-name\\x7F.txt", text)


class JsonDocumentTest(Sandbox):
    def test_list_test_and_info_documents_parse_back_with_their_schema_version(self):
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")
        length = len(read_file(self.path("out.kzr")))
        total = sum(len(content) for content in SAMPLE.values())
        documents = {}
        for command in ["list", "test", "info"]:
            run = self.ok(command, "--json", "out.kzr")
            documents[command] = json.loads(run.out)
            self.assertEqual(documents[command]["schema_version"], 1, command)
            self.assertEqual(documents[command]["archive"], "out.kzr", command)
            self.assertTrue(documents[command]["complete"], command)
        self.assertEqual(len(documents["list"]["entries"]), 6)
        test = documents["test"]
        self.assertEqual([(norm(e["name"]), e["compressed"], e["ok"]) for e in test["entries"]],
                         [(norm(e["name"]), False, True) for e in documents["list"]["entries"]])
        self.assertEqual(
            (test["tested"], test["failed"], test["compressed_decoded"], test["stored_read"],
             test["stored_data_checksummed"]),
            (6, 0, 0, 6, False))
        info = documents["info"]
        self.assertEqual((info["entries"], info["compressed"], info["packed"], info["unpacked"]),
                         (6, 0, total, total))
        self.assertEqual(info["flavour"], "masked")
        self.assertEqual(info["header"]["archive_length"], length)

    def test_failures_are_in_the_documents(self):
        self.build_archive("bad.kzr", [
            stored_file(b"ok\\good.txt", b"fine"), raw_entry(b"bad.bin", b"\1\2\3\4", 100, 1)])
        run = self.kzr("test", "--json", "bad.kzr")
        self.assertEqual(run.code, 1, run)
        test = json.loads(run.out)
        self.assertEqual(test["entries"], [
            {"name": "bad.bin", "compressed": True, "ok": False,
             "error": "damaged: the stored data does not decode"},
            {"name": "ok/good.txt", "compressed": False, "ok": True}])
        self.assertEqual((test["tested"], test["failed"]), (2, 1))
        for command in ["list", "test", "info"]:
            run = self.kzr(command, "--json", "missing.kzr")
            self.assertEqual(run.code, 1, run)
            document = json.loads(run.out)
            self.assertEqual((document["schema_version"], document["complete"]), (1, False))
            self.assertEqual(document["error"], "missing.kzr: not found")


class WordsTest(Sandbox):
    """-v names each file; counts read "1 entry", sizes on request in KiB."""

    def test_verbose_names_each_file_and_counts_agree_with_their_nouns(self):
        self.make_sample(files={"one.txt": b"1"})
        listed = "           1            1  no          one.txt"
        stored = "0 compressed entries decoded, 1 stored entry read"
        for args, lines in [
            (("pack", "a.kzr", "-C", "src", "."), ["one.txt", "packed 1 file into a.kzr"]),
            (("add", "a.kzr", "-C", "src", "one.txt"), ["one.txt", "replaced 1 entry in a.kzr"]),
            (("list", "a.kzr"), ["      packed     unpacked  compressed  name", listed,
                                 "1 entry, 1 byte packed, 1 byte unpacked"]),
            (("test", "a.kzr"),
             ["one.txt", f"a.kzr: 1 entry: {stored} (stored data carries no checksum)"]),
            (("extract", "a.kzr", "-C", "out"), ["out/one.txt", "extracted 1 of 1 entry to out"]),
            (("delete", "a.kzr", "one.txt"), ["one.txt", "deleted 1 entry from a.kzr"]),
        ]:
            self.assertEqual(self.ok("-v", *args).out.splitlines(), lines, args)

    def test_human_sizes(self):
        self.make_sample(files={"zero": b"", "small": b"s" * 1000, "kib": b"k" * 1536,
                                "mib": b"m" * (3 << 20)})
        self.ok("pack", "h.kzr", "-C", "src", ".")
        lines = self.ok("list", "-H", "h.kzr").out.splitlines()
        self.assertEqual([line.split("  ")[-1] for line in lines[1:5]],
                         ["zero", "small", "mib", "kib"])
        self.assertEqual([line[:25].split() for line in lines[1:5]],
                         [["0", "B", "0", "B"], ["1000", "B", "1000", "B"],
                          ["3.0", "MiB", "3.0", "MiB"], ["1.5", "KiB", "1.5", "KiB"]])
        self.assertEqual(lines[5], "4 entries, 3.0 MiB packed, 3.0 MiB unpacked")
        fields = info_fields(self.ok("info", "--human", "h.kzr"))
        self.assertEqual((fields["packed total"], fields["unpacked total"]), ("3.0 MiB", "3.0 MiB"))


class NameCodePageTest(Sandbox):
    """Names are stored in Windows-1250 (or the code page KZR_NAMES names),
    on every system, whatever its own code pages."""

    CZECH = "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148"

    def test_czech_folder_round_trip(self):
        files = {f"{self.CZECH}/Fr\u00fch.txt": b"early",
                 f"{self.CZECH}/\u00fap\u011bl.txt": b"moan",
                 "\u017e/a.txt": b"sorted by the stored bytes"}
        self.make_sample(files=files)
        self.ok("pack", "cz.kzr", "-C", "src", ".")
        stored = sorted(name.replace("/", "\\").encode("cp1250") for name in files)
        self.assertEqual(stored_names(self.path("cz.kzr")), stored)
        _, listing = self.json_list("cz.kzr")
        self.assertEqual([e["name"] for e in listing["entries"]],
                         [n.decode("cp1250").replace("\\", "/") for n in stored[::-1]])
        self.assertEqual([bytes.fromhex(e["stored"]) for e in listing["entries"]], stored[::-1])
        self.ok("extract", "cz.kzr", "-C", "dst")
        self.assertEqual(tree(self.path("dst")), files)

        # KZR_NAMES chooses another code page.
        self.ok("pack", "dos.kzr", "-C", f"src/{self.CZECH}", "Fr\u00fch.txt",
                env={"KZR_NAMES": "CP852"})
        self.assertEqual(stored_names(self.path("dos.kzr")), [b"Fr\x81h.txt"])
        self.ok("--names", "CP852", "pack", "dos2.kzr", "-C", f"src/{self.CZECH}", "Fr\u00fch.txt")
        self.assertEqual(stored_names(self.path("dos2.kzr")), [b"Fr\x81h.txt"])
        run = self.kzr("pack", "x.kzr", "-C", "src", ".", env={"KZR_NAMES": "NO-SUCH"})
        self.assertEqual(run.code, 1, run)
        self.assertIn("unknown code page NO-SUCH for names (`iconv -l` lists them)", run.err)

    def test_name_outside_the_code_page_is_refused_loudly(self):
        # No Windows code page has a snowman.
        self.make_sample(files={"snow\u2603/inside.txt": b"x", "plain.txt": b"y"})
        run = self.kzr("pack", "out.kzr", "-C", "src", ".")
        self.assertEqual(run.code, 1, run)
        self.assertIn("inside.txt: refused: the name has characters that the names' code page "
                      "(CP1250) cannot hold", run.err)
        self.assertIn("snow\u2603", run.err.encode("latin-1").decode("utf-8"))
        self.assertIn("packed 1 file into out.kzr (1 file refused)", run.out)
        self.assertEqual(stored_names(self.path("out.kzr")), [b"plain.txt"])

    def test_japanese_names_keep_their_two_byte_characters(self):
        # In code page 932 SO and TABLE end in a `\\` byte, A and DI in the
        # bytes of "A" and "a", PO in a `|`: none of them is a separator, a
        # letter or a forbidden character.
        names = {"KZR_NAMES": "CP932"}
        files = {"\u30bd/\u8868.txt": b"table", "\u30bd/\u30a2.txt": b"a",
                 "\u30bd/\u30c2.txt": b"di", "\u30dd.txt": b"po"}
        self.make_sample(files=files)
        self.ok("pack", "jp.kzr", "-C", "src", ".", env=names)
        stored = sorted(name.replace("/", "\\").encode("cp932") for name in files)
        self.assertEqual(stored_names(self.path("jp.kzr")), stored)
        _, listing = self.json_list("jp.kzr", env=names)
        self.assertEqual([e["name"] for e in listing["entries"]],
                         [n.decode("cp932").replace("\\", "/") for n in stored[::-1]])
        self.ok("extract", "jp.kzr", "-C", "dst", env=names)
        self.assertEqual(tree(self.path("dst")), files)
        # Into a new folder whose name ends in a `\\` byte.
        self.ok("extract", "jp.kzr", "-C", "\u30bd", "\u30bd/\u30a2.txt", env=names)
        self.assertEqual(tree(self.path("\u30bd")), {"\u30bd/\u30a2.txt": b"a"})
        self.ok("delete", "jp.kzr", "\u30bd/\u30a2.txt", env=names)
        self.assertEqual(stored_names(self.path("jp.kzr")),
                         [n for n in stored if n != "\u30bd\\\u30a2.txt".encode("cp932")])
        if Config.windows:
            # 128 characters are 256 bytes, within the 255 characters that
            # Windows allows a file's name. (Wine shortens the name to the
            # 255 bytes of a Linux file system, so only the refusal is tested.)
            self.build_archive("long.kzr", [stored_file(b"\x83\x41" * 128, b"long")])
            run = self.ok("extract", "long.kzr", "-C", "long", env=names)
            self.assertIn("extracted 1 of 1 entry", run.out)

    def test_a_console_shows_names_in_any_of_the_systems_code_pages(self):
        # Under wine a terminal is the console: kzr.exe writes UTF-16 to it,
        # which reaches the terminal as UTF-8, whatever the ANSI code page.
        if not Config.windows or os.name != "posix":
            self.skipTest("kzr.exe's console")
        import pty
        self.build_archive("cz.kzr", [stored_file("mapy\\\u010cesk\u00e1\\\u00favod.txt".encode("cp1250"),
                                                  b"")])
        master, slave = pty.openpty()
        process = subprocess.Popen(Config.runner + [Config.tool, "list", "-1", "cz.kzr"],
                                   cwd=self.dir, stdin=subprocess.DEVNULL, stdout=slave,
                                   stderr=subprocess.PIPE)
        os.close(slave)
        shown, deadline = b"", time.monotonic() + 120
        while time.monotonic() < deadline:
            if select.select([master], [], [], 0.5)[0]:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
            elif process.poll() is not None:
                break
        process.wait(timeout=120)
        os.close(master)
        self.assertIn("mapy\\\u010cesk\u00e1\\\u00favod.txt", shown.decode("utf-8", "replace"))

    def test_german_names_are_the_same_bytes_on_both_systems(self):
        # u-umlaut is 0xFC in Windows-1250 and in every ANSI code page of
        # Western and Central Europe.
        self.make_sample(files={"Fr\u00fch/\u00fcber.txt": b"x"})
        self.ok("pack", "de.kzr", "-C", "src", ".")
        self.assertEqual(stored_names(self.path("de.kzr")),
                         [b"Fr\xfch\\\xfcber.txt"])


def info_fields(run):
    fields = (line.split(":", 1) for line in run.out.splitlines())
    return {key: value.strip() for key, value in fields}


class InfoTest(Sandbox):
    def test_header_fields_and_totals(self):
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".")
        archive = read_file(self.path("out.kzr"))
        directory_offset, = struct.unpack_from("<I", archive, 20)
        fields = info_fields(self.ok("info", "out.kzr"))
        total = sum(len(c) for c in SAMPLE.values())
        self.assertEqual(fields, {
            "archive": "out.kzr",
            "flavour": "masked (1)",
            "archive length": str(len(archive)),
            "entry count field": "6",
            "directory offset": str(directory_offset),
            "directory length": str(len(archive) - directory_offset),
            "entries found": "6",
            "compressed": "0",
            "packed total": str(total),
            "unpacked total": str(total),
        })
        self.build_archive("plain.kzr", [compressed_file(b"z", b"zz")])
        fields = info_fields(self.ok("info", "plain.kzr"))
        self.assertEqual((fields["flavour"], fields["compressed"]), ("plain (0)", "1"))


class ProgressTest(Sandbox):
    """The bar appears on a terminal for large work, and nowhere else."""

    def setUp(self):
        if Config.windows or Config.runner or os.name != "posix":
            self.skipTest("needs a pseudo-terminal")
        super().setUp()

    def stderr_on_terminal(self, *args):
        import pty
        master, slave = pty.openpty()
        process = subprocess.Popen([Config.tool] + list(args), cwd=self.dir,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        chunks = []

        def read():
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                chunks.append(chunk)

        reader = threading.Thread(target=read)
        reader.start()
        process.stdout.read()
        process.stdout.close()
        self.assertEqual(process.wait(timeout=300), 0)
        reader.join(timeout=60)
        os.close(master)
        return b"".join(chunks).decode("latin-1")

    def test_progress_only_on_a_terminal_and_not_when_quiet(self):
        self.make_sample(files={f"many/f{i:03}.txt": b"x" * i for i in range(250)})
        self.ok("pack", "many.kzr", "-C", "src", ".")
        shown = self.stderr_on_terminal("extract", "many.kzr", "-C", "a")
        self.assertIn("extracting [", shown)
        self.assertIn("250/250", shown)
        self.assertEqual(self.stderr_on_terminal("-q", "test", "many.kzr"), "")
        self.assertEqual(self.ok("extract", "many.kzr", "-C", "b").err, "")


    def test_progress_moves_during_one_large_member(self):
        # The plugin reports each piece of a member: the bar passes through
        # percentages while the only entry is still under way.
        self.make_sample(files={"big.bin": b"\x5a" * (20 << 20)})
        self.ok("pack", "big.kzr", "-C", "src", ".")
        for command in [("extract", "big.kzr", "-C", "a"), ("test", "big.kzr")]:
            shown = self.stderr_on_terminal(*command)
            during = {int(p) for p in re.findall(r"\] +(\d+)% 0/1 ", shown)}
            self.assertTrue(any(0 < p < 100 for p in during), shown)


# --- mount and diff ----------------------------------------------------------

def lzw_block(codes):
    """One LZW block of `codes` and the end code, packed as the format packs
    them (the k-th code in the bit length of 256 + k)."""
    bits = width = 0
    for k, code in enumerate(codes + [256], start=1):
        bits |= code << width
        width += (256 + min(k, len(codes))).bit_length()
    payload = bits.to_bytes((width + 7) // 8, "little")
    return struct.pack("<III", 0, len(payload), 0) + payload


def long_lzw_member(pairs=6, seed=5, split=False):
    """A compressed member of some MiB in a few KiB (too long to hand the
    archive builder): random literal blocks between runs of one byte, each
    run's codes naming ever longer strings of it. With `split` each literal
    block is stored as two: other stored bytes, the same member."""
    rnd = random.Random(seed)
    stored, member = b"", b""
    for i in range(pairs):
        literal = rnd.randbytes(3000)
        stored += (lzw_block(list(literal[:1000])) + lzw_block(list(literal[1000:])) if split
                   else lzw_block(list(literal)))
        byte, codes = (i * 37 + 1) % 256, 1400 + 50 * i
        stored += lzw_block([byte] + list(range(257, 256 + codes)))
        member += literal + bytes([byte]) * (codes * (codes + 1) // 2)
    return stored, member


def long_lzw_entry(name, **options):
    stored, member = long_lzw_member(**options)
    return raw_entry(name, stored, len(member), 1), member


class MountTest(Sandbox):
    """An archive mounted as a folder, read with ordinary tools."""

    refusal = None  # why mounting cannot be tested here, found once

    @classmethod
    def setUpClass(cls):
        if Config.windows or not sys.platform.startswith("linux"):
            cls.refusal = "kzr mount is for Linux only"
        elif not os.path.exists("/dev/fuse"):
            cls.refusal = "/dev/fuse is missing"
        elif not shutil.which("fusermount3"):
            cls.refusal = "fusermount3 is missing (Debian: fuse3)"

    def setUp(self):
        if MountTest.refusal:
            self.skipTest(MountTest.refusal)
        super().setUp()
        self.mnt = self.path("mnt")
        os.makedirs(self.mnt)

    def mount(self, archive, *options):
        """kzr mount -f in the background, until the test ends."""
        process = subprocess.Popen(Config.runner + [Config.tool, "mount", "-f", *options, archive,
                                                    self.mnt], cwd=self.dir,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(process.communicate, timeout=60)
        self.addCleanup(subprocess.run, ["fusermount3", "-u", "-z", self.mnt],
                        capture_output=True)
        for _ in range(200):
            if os.path.ismount(self.mnt):
                return process
            if process.poll() is not None:
                break
            threading.Event().wait(0.05)
        _, err = process.communicate(timeout=60)
        if b"not permitted" in err or b"built without mount" in err:
            MountTest.refusal = "mounting is not possible here: " + err.decode(errors="replace")
            self.skipTest(MountTest.refusal)
        self.fail(f"not mounted: {err.decode(errors='replace')}")

    def test_a_mounted_archive_read_with_ordinary_tools(self):
        # (Members short enough for the builder's command line.)
        self.build_archive("a.kzr", [stored_file(b"data", b"a file where a folder is")] + [
            stored_file(name.replace("/", "\\").encode(), content[:9999])
            for name, content in SAMPLE.items()] + [
            compressed_file(b"text\\lzw.txt", b"speed=fast, speed=slow\n" * 50),
            stored_file(b"..\\up.txt", b"cleaned"),
            stored_file(b"dup.txt", b"first record"),
            stored_file(b"dup.txt", b"last record"),
            stored_file(b"deep\\" + b"d\\" * 900 + b"end.txt", b"900 folders down"),
        ], masked=True)
        # extract writes the first of two entries of one name, and cannot
        # write "data" over the folder.
        extracted = self.kzr("extract", "a.kzr", "-C", "out")
        self.assertIn("a.kzr: data: out/data: exists and is not a file", extracted.err)
        # Without -f the command returns with the tree ready.
        mounted = self.ok("mount", "a.kzr", "mnt")
        self.addCleanup(subprocess.run, ["fusermount3", "-u", "-z", self.mnt], capture_output=True)
        listing = subprocess.run(["ls", "-R", "mnt"], cwd=self.dir, capture_output=True, text=True)
        self.assertIn("mnt/data/deep/er:\nx.bin\n", listing.stdout)
        self.assertEqual(tree(self.mnt), tree(self.path("out")))
        for name in tree(self.path("out")):
            compared = subprocess.run(["cmp", "mnt/" + name, "out/" + name], cwd=self.dir)
            self.assertEqual(compared.returncode, 0, name)
        cat = subprocess.run(["cat", "mnt/readme.txt", "mnt/dup.txt"], cwd=self.dir,
                             capture_output=True)
        self.assertEqual(cat.stdout, SAMPLE["readme.txt"] + b"last record")
        grep = subprocess.run(["grep", "-rlc", "speed=", "mnt"], cwd=self.dir,
                              capture_output=True, text=True)
        self.assertEqual(sorted(grep.stdout.split()), ["mnt/ini/dat/units.ini", "mnt/text/lzw.txt"])
        archive_time = os.stat(self.path("a.kzr")).st_mtime_ns
        for path, mode in [("mnt/data", 0o555), ("mnt/data/units.dat", 0o444), ("mnt", 0o555)]:
            info = os.stat(self.path(path))
            self.assertEqual((oct(info.st_mode & 0o7777), info.st_mtime_ns),
                             (oct(mode), archive_time), path)
        # Entries that cannot be shown are named once.
        for reason in ["data: not shown: the name is the folder of other entries",
                       "dup.txt: not shown: an entry listed before it has the same name"]:
            self.assertEqual(mounted.err.count(reason), 1, mounted)
        self.ok("unmount", "mnt")
        self.assertFalse(os.path.ismount(self.mnt))

    def test_a_compressed_member_read_at_random_offsets(self):
        entry, member = long_lzw_entry(b"big.bin")
        self.build_archive("big.kzr", [entry, compressed_file(b"small.txt", b"tiny " * 99)])
        # A window of 1 MiB: reads that go back further decode again.
        self.mount("big.kzr", "--cache", "1")
        with open(self.path("mnt", "big.bin"), "rb", buffering=0) as f:
            fd = f.fileno()
            self.assertEqual(os.fstat(fd).st_size, len(member))
            for offset in range(len(member) - 4096, 0, -(3 << 19)):  # backwards
                self.assertEqual(os.pread(fd, 4096, offset), member[offset:offset + 4096])
            rnd = random.Random(7)
            for _ in range(200):
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)  # the kernel keeps no pages
                offset, size = rnd.randrange(len(member) + 10), rnd.randrange(1, 300000)
                self.assertEqual(os.pread(fd, size, offset), member[offset:offset + size])
        self.assertEqual(read_file(self.path("mnt", "big.bin")), member)
        self.assertEqual(read_file(self.path("mnt", "small.txt")), b"tiny " * 99)

    def test_an_archive_replaced_or_written_over_while_mounted(self):
        self.build_archive("a.kzr", [stored_file(b"x.txt", b"old x"),
                                     stored_file(b"keep.txt", b"kept")])
        process = self.mount("a.kzr")
        old = open(self.path("mnt", "x.txt"), "rb", buffering=0)
        self.addCleanup(old.close)
        self.assertEqual(old.read(2), b"ol")
        big, _ = long_lzw_entry(b"big.bin")
        self.build_archive("b.kzr", [stored_file(b"x.txt", b"a new x, longer than the old"),
                                     stored_file(b"y.txt", b"new y"), big])
        os.replace(self.path("b.kzr"), self.path("a.kzr"))
        # The next open sees the new archive whole; a file opened before
        # reads on in the old one.
        self.assertEqual(read_file(self.path("mnt", "x.txt")), b"a new x, longer than the old")
        self.assertEqual(sorted(os.listdir(self.mnt)), ["big.bin", "x.txt", "y.txt"])
        self.assertEqual(old.read(), b"d x")
        old.close()
        # Written over in place: what was opened before fails rather than
        # read the new bytes through the old directory.
        before = open(self.path("mnt", "big.bin"), "rb", buffering=0)
        self.addCleanup(before.close)
        self.build_archive("c.kzr", [stored_file(b"y.txt", b"third y"), big])
        with open(self.path("a.kzr"), "r+b") as archive:
            archive.write(read_file(self.path("c.kzr")))
            archive.truncate()
        with self.assertRaises(OSError):
            before.read()
        before.close()
        self.assertEqual(read_file(self.path("mnt", "y.txt")), b"third y")
        self.ok("unmount", "mnt")
        _, err = process.communicate(timeout=60)
        self.assertIn(b"a.kzr: written over while files were open", err)
        self.assertEqual(process.returncode, 0, err)

    def test_unmount_with_a_file_still_open(self):
        self.make_sample()
        self.ok("pack", "a.kzr", "-C", "src", ".")
        process = self.mount("a.kzr")
        with open(self.path("mnt", "data", "deep", "er", "x.bin"), "rb", buffering=0) as f:
            self.addCleanup(f.close)
            self.assertEqual(f.read(10), SAMPLE["data/deep/er/x.bin"][:10])
            busy = self.kzr("unmount", "mnt")
            self.assertEqual(busy.code, 1, busy)
            self.assertIn("kzr: mnt: not unmounted (when it is in use, --lazy", busy.err)
            self.assertTrue(os.path.ismount(self.mnt))
            self.ok("unmount", "--lazy", "mnt")
            self.assertFalse(os.path.ismount(self.mnt))
            self.assertEqual(f.read(), SAMPLE["data/deep/er/x.bin"][10:])
            self.assertIsNone(process.poll())
        self.assertEqual(process.wait(timeout=60), 0)


class DiffTest(Sandbox):
    """kzr diff over pairs of archives."""

    A, B, C = b"first member\n", b"second member, compressed " * 9, b"third\n"

    def entries(self, **changes):
        """The base entries, with `changes` by name (None: left out)."""
        base = {"a.txt": stored_file(b"a.txt", self.A), "b.txt": compressed_file(b"b.txt", self.B),
                "sub/c.txt": stored_file(b"sub\\c.txt", self.C)}
        base.update(changes)
        return [entry for entry in base.values() if entry is not None]

    def test_pairs_of_archives(self):
        big, member = long_lzw_entry(b"big.bin")
        split, _ = long_lzw_entry(b"big.bin", split=True)
        other, _ = long_lzw_entry(b"big.bin", seed=6)
        first_difference = next(i for i, (x, y) in enumerate(
            zip(member, long_lzw_member(seed=6)[1])) if x != y)
        cases = [
            # name, second archive's entries, masked, exit, lines, lines with -v
            ("alike", self.entries(), False, 0, [], []),
            ("added and removed", self.entries(**{"a.txt": None, "new.txt": stored_file(
                b"new.txt", b"")}), False, 1, ["only in 1.kzr: a.txt", "only in 2.kzr: new.txt"], []),
            ("changed", self.entries(**{"a.txt": stored_file(b"a.txt", b"first Member\n"),
                                        "sub/c.txt": stored_file(b"sub\\c.txt", b"3rd\n")}),
             False, 1, ["differ: a.txt (first at byte 6)", "differ: sub/c.txt "
                        "(6 bytes and 4 bytes)"], []),
            ("compressed and stored", self.entries(**{
                "b.txt": stored_file(b"b.txt", self.B), "a.txt": compressed_file(b"a.txt", self.A)}),
             False, 0, [], ["stored differently: a.txt (plain in 1.kzr, compressed in 2.kzr)",
                            "stored differently: b.txt (compressed in 1.kzr, plain in 2.kzr)"]),
            ("masked and plain", self.entries(), True, 0, [],
             ["stored differently: a.txt (plain in 1.kzr, masked in 2.kzr)",
              "stored differently: sub/c.txt (plain in 1.kzr, masked in 2.kzr)"]),
            ("long members, compressed differently", self.entries(**{"big": split}), False, 0, [],
             ["stored differently: big.bin (compressed differently "
              f"({len(long_lzw_member()[0])} and {len(long_lzw_member(split=True)[0])} bytes "
              "stored))"]),
            ("long members that differ", self.entries(**{"big": other}), False, 1,
             [f"differ: big.bin (first at byte {first_difference})"], []),
        ]
        for name, second, masked, code, lines, verbose in cases:
            with self.subTest(name):
                first = self.entries(big=big) if "long" in name else self.entries()
                self.build_archive("1.kzr", first)
                self.build_archive("2.kzr", second, masked=masked)
                run = self.kzr("diff", "1.kzr", "2.kzr")
                self.assertEqual((run.code, norm(run.out).splitlines()), (code, lines), run)
                run = self.kzr("diff", "-v", "1.kzr", "2.kzr")
                self.assertEqual(run.code, code, run)
                self.assertEqual(sorted(norm(run.out).splitlines()[:-1]), sorted(lines + verbose),
                                 run)

    def test_json_and_trouble(self):
        self.build_archive("1.kzr", self.entries())
        self.build_archive("2.kzr", self.entries(**{
            "b.txt": raw_entry(b"b.txt", b"\1\2\3\4", len(self.B), 1), "a.txt": None}))
        run = self.kzr("diff", "--json", "1.kzr", "2.kzr")
        self.assertEqual(run.code, 2, run)
        self.assertIn("kzr: 2.kzr: b.txt: damaged: the stored data does not decode\n", run.err)
        document = json.loads(run.out)
        self.assertEqual([(e["name"], e["change"]) for e in document["entries"]],
                         [("a.txt", "removed"), ("b.txt", "unreadable")])
        self.assertEqual(document["entries"][0]["in_archive"],
                         {"packed": 13, "unpacked": 13, "compressed": False, "masked": False})
        self.assertEqual((document["alike"], document["different"], document["complete"]),
                         (1, 1, False))
        missing = self.kzr("diff", "1.kzr", "none.kzr")
        self.assertEqual(missing.code, 2, missing)
        self.assertIn("none.kzr: not found", missing.err)


def probe_separator_conversion():
    """Whether the plugin lists a stored backslash as '/'."""
    folder = tempfile.mkdtemp(prefix="kzr-probe-")
    try:
        build_archive(os.path.join(folder, "probe.kzr"), [stored_file(b"p\\q", b"")])
        run = kzr("list", "--json", "probe.kzr", cwd=folder)
        if run.code != 0:
            sys.exit(f"the tool cannot list a simple archive:\n{run}")
        return json.loads(run.out)["entries"][0]["name"] == "p/q"
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", action="append", default=[])
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--plugin-module")
    parser.add_argument("--test-host")
    parser.add_argument("--open-swap")
    parser.add_argument("--archive-maker", required=True)
    parser.add_argument("tool")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    Config.tool = os.path.abspath(args.tool)
    Config.runner = args.runner
    Config.windows = args.windows
    Config.plugin_module = args.plugin_module and os.path.abspath(args.plugin_module)
    Config.test_host = args.test_host and os.path.abspath(args.test_host)
    Config.open_swap = args.open_swap and os.path.abspath(args.open_swap)
    Config.archive_maker = os.path.abspath(args.archive_maker)
    Config.converts_separators = probe_separator_conversion()
    if not Config.windows and not Config.converts_separators:
        print("note: this build lists stored backslashes unchanged", file=sys.stderr)
    unittest.main(argv=[sys.argv[0], "-v"] + args.tests)


if __name__ == "__main__":
    main()
