#!/usr/bin/env python3
"""End-to-end tests of the kzr tool on real archives.

    test_kzr.py [--runner PART]... [--windows] [--plugin-module PATH]
                --archive-maker PATH KZR [TEST...]

KZR is the tool to run; --runner parts go before it (wine-run.sh and its
arguments for kzr.exe); --windows says the tool is the Windows build (names
listed with backslashes); --plugin-module is a plugin binary for --plugin;
--archive-maker is make_test_archive, which runs natively.
TEST names unittest classes or methods to run (default: all).

Archives come from the tool itself (pack) or from the tests' archive builder
(make_test_archive): names no writer would store, compressed entries,
corrupt streams and damaged directories.
"""
import argparse
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import unittest


class Config:
    tool = None
    runner = []
    windows = False
    plugin_module = None
    archive_maker = None  # make_test_archive, run natively
    # Whether the plugin reports stored backslashes as '/' (Linux hosts).
    converts_separators = False


# --- running the tool --------------------------------------------------------

class Run:
    def __init__(self, completed):
        self.code = completed.returncode
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


def kzr(*args, cwd, plugin=None):
    command = Config.runner + [Config.tool]
    if plugin:
        command += ["--plugin", host_path(plugin)]
    command += list(args)
    completed = subprocess.run(command, cwd=cwd, capture_output=True, timeout=300,
                               stdin=subprocess.DEVNULL)
    return Run(completed)


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

    def kzr(self, *args, plugin=None):
        return kzr(*args, cwd=self.dir, plugin=plugin)

    def ok(self, *args, plugin=None):
        run = self.kzr(*args, plugin=plugin)
        self.assertEqual(run.code, 0, run)
        return run

    def make_sample(self, folder="src", files=SAMPLE):
        for name, content in files.items():
            write_file(self.path(folder, *name.split("/")), content)

    def build_archive(self, name, entries, **options):
        return build_archive(self.path(name), entries, **options)

    def json_list(self, archive, plugin=None):
        run = self.kzr("list", "--json", archive, plugin=plugin)
        self.assertTrue(all(ord(c) < 0x80 for c in run.out), "JSON output is not plain ASCII")
        return run, json.loads(run.out)


# --- tests -------------------------------------------------------------------

class RoundTripTest(Sandbox):
    """pack -> list -> test -> extract, compared byte for byte."""

    def round_trip(self, plugin=None):
        self.make_sample()
        self.ok("pack", "out.kzr", "-C", "src", ".", plugin=plugin)

        _, listing = self.json_list("out.kzr", plugin=plugin)
        self.assertTrue(listing["complete"])
        # Stored in sorted order, listed in reverse.
        expected = sorted(name.replace("/", "\\") for name in SAMPLE)[::-1]
        self.assertEqual([norm(e["name"]) for e in listing["entries"]],
                         [norm(n) for n in expected])
        # Whether an entry is compressed only the linked-in reader can tell.
        compressed = None if plugin else False
        for entry in listing["entries"]:
            size = len(SAMPLE[norm(entry["name"])])
            self.assertEqual((entry["packed"], entry["unpacked"], entry["compressed"]),
                             (size, size, compressed))

        run = self.ok("test", "out.kzr", plugin=plugin)
        self.assertIn("6 entries tested, all good", run.out)
        self.ok("extract", "out.kzr", "-C", "dst", plugin=plugin)
        self.assertEqual(tree(self.path("dst")), SAMPLE)

    def test_pack_list_test_extract(self):
        self.round_trip()

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
        quiet = self.ok("--quiet", "list", "out.kzr")
        self.assertEqual(len(quiet.out.splitlines()), 6)
        self.assertEqual(self.ok("extract", "-q", "out.kzr", "-C", "d").out, "")


class PluginModuleTest(Sandbox):
    """The same work through a plugin binary loaded with --plugin."""

    def setUp(self):
        if not Config.plugin_module:
            self.skipTest("no plugin binary given")
        super().setUp()

    def test_round_trip_through_the_plugin_binary(self):
        RoundTripTest.round_trip(self, plugin=Config.plugin_module)

    def test_corrupt_entry_through_the_plugin_binary(self):
        self.build_archive("bad.kzr", [raw_entry(b"bad.bin", b"\0\0\0\0", 10, 1)])
        run = self.kzr("test", "bad.kzr", plugin=Config.plugin_module)
        self.assertEqual(run.code, 1, run)
        self.assertIn("bad.bin: corrupt data (12)", run.err)


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
        self.assertIn(listed("link\\x.txt") + ": refused: folder out/link is a symbolic link",
                      run.err)
        self.assertIn("1 file exists and was kept", run.err)
        # --overwrite puts the file in the link's place; the link's target is
        # never written.
        run = self.kzr("extract", "--overwrite", "links.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertFalse(os.path.islink(self.path("out", "f.txt")))
        self.assertEqual(read_file(self.path("out", "f.txt")), b"overwritten")
        self.assertEqual(tree(self.path("outside")), {"target.txt": b"keep"})

    def test_deep_destinations(self):
        # Folders are handed to the plugin as held-open handles on Linux, so
        # a destination deeper than the host's 511 characters still works
        # there; Windows limits paths before the plugin does.
        deep = self.path(*["d" * 100] * 5)
        self.build_archive("long.kzr", [stored_file(b"n" * 40, b"x")])
        run = self.kzr("extract", "long.kzr", "-C", deep)
        if Config.windows:
            self.assertEqual(run.code, 1, run)
        else:
            self.assertEqual(run.code, 0, run)
            self.assertEqual(read_file(os.path.join(deep, "n" * 40)), b"x")


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


class ExitStatusTest(Sandbox):
    def test_version_help_and_usage_errors(self):
        run = self.ok("--version")
        self.assertEqual(run.out.strip(), "0.9.0.1")
        self.assertIn("extract", self.ok("--help").out)
        self.assertIn("--overwrite", self.ok("extract", "--help").out)
        for args in [(), ("list",), ("frobnicate", "x"), ("list", "--bogus", "x.kzr"),
                     ("pack", "only-the-archive.kzr")]:
            self.assertEqual(self.kzr(*args).code, 2, args)

    def test_missing_plugin_binary(self):
        run = self.kzr("--plugin", "no-such-plugin.bin", "list", "x.kzr")
        self.assertEqual(run.code, 1, run)
        self.assertIn("kzr: no-such-plugin.bin: cannot load the plugin", run.err)

    def test_archives_that_cannot_be_opened(self):
        write_file(self.path("text.kzr"), b"just some text, long enough to be no header at all" * 2)
        for command in ["list", "test", "info", "extract"]:
            missing = self.kzr(command, "missing.kzr")
            self.assertEqual(missing.code, 1, missing)
            self.assertIn("kzr: missing.kzr: cannot open (15)", missing.err)
            text = self.kzr(command, "text.kzr")
            self.assertEqual(text.code, 1, text)
            self.assertIn("kzr: text.kzr: not a KZR archive (14)", text.err)

    def test_pack_refusals(self):
        self.make_sample()
        self.ok("pack", "src/self.kzr", "-C", "src", "readme.txt")
        before = read_file(self.path("src", "self.kzr"))
        run = self.kzr("pack", "src/self.kzr", "-C", "src", ".")
        self.assertEqual(run.code, 1, run)
        self.assertIn("refusing to pack the archive into itself", run.err)
        self.assertEqual(read_file(self.path("src", "self.kzr")), before)

        run = self.kzr("pack", "x.kzr", "-C", "src", "../readme.txt")
        self.assertEqual(run.code, 1, run)
        self.assertIn("not inside the source folder", run.err)
        run = self.kzr("pack", "x.kzr", "-C", "src", "no-such-file")
        self.assertEqual(run.code, 1, run)
        self.assertIn("no-such-file: No such file or directory", run.err)
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
        self.assertIn("--prefix ../up: refused: '..' component", run.err)


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
        self.assertEqual(run.err, "kzr: mixed.kzr: bad.bin: corrupt data (12)\n")
        self.assertIn("3 entries tested, 1 failed", run.out)
        run = self.kzr("extract", "mixed.kzr", "-C", "out")
        self.assertEqual(run.code, 1, run)
        self.assertIn("bad.bin: corrupt data (12)", run.err)
        self.assertEqual(tree(self.path("out")),
                         {"good.txt": b"hello, hello", "plain.txt": b"as is"})

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
        names = [b"caf\xe9.txt", b"ctl\x01x.txt", b'q"uote.txt', b"tab\there.txt", b"\xff\x80"]
        self.build_archive("names.kzr", [stored_file(n, b"") for n in names])
        run, listing = self.json_list("names.kzr")
        self.assertEqual(run.code, 0, run)
        self.assertIn("\\u00e9", run.out)
        self.assertEqual([e["name"].encode("latin-1") for e in listing["entries"]], names[::-1])
        self.assertEqual(listing["archive"], "names.kzr")
        # The text listing shows control characters escaped.
        self.assertIn("ctl\\x01x.txt", self.ok("list", "names.kzr").out)


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
    parser.add_argument("--archive-maker", required=True)
    parser.add_argument("tool")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    Config.tool = os.path.abspath(args.tool)
    Config.runner = args.runner
    Config.windows = args.windows
    Config.plugin_module = args.plugin_module and os.path.abspath(args.plugin_module)
    Config.archive_maker = os.path.abspath(args.archive_maker)
    Config.converts_separators = probe_separator_conversion()
    if not Config.windows and not Config.converts_separators:
        print("note: this build lists stored backslashes unchanged", file=sys.stderr)
    unittest.main(argv=[sys.argv[0], "-v"] + args.tests)


if __name__ == "__main__":
    main()
