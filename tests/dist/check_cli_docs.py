#!/usr/bin/env python3
"""Checks that the man page and the bash and zsh completion know exactly the
commands and options that kzr --help and every kzr COMMAND --help show: none
missing, none left over from an older tool.

    check_cli_docs.py KZR DOCS_DIR      (DOCS_DIR holds kzr.1, kzr.bash, _kzr)

The help texts are read loosely here, on purpose not the way the generator
reads them: an option is any line that starts with two spaces and a dash, a
command any entry under a "Subcommands:" heading.
"""
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

KZR = DOCS = None


def help_text(*command):
    return subprocess.run([KZR, *command, "--help"], capture_output=True, text=True,
                          check=True).stdout


def help_options(text):
    names = set()
    for line in text.splitlines():
        if re.match(r"^  -", line):
            names.update(n for n in line.split()[0].split(",") if n)
    return names


def help_commands(text):
    """[[name, alias...], ...] from the Subcommands section."""
    commands, inside = [], False
    for line in text.splitlines():
        if re.match(r"^\S.*:\s*$", line):
            inside = line.strip().lower() == "subcommands:"
        elif inside and re.match(r"^  \S", line):
            head = re.split(r"\s{2,}", line.strip())[0]
            commands.append([n.strip() for n in head.split(",") if n.strip()])
    return commands


def roff_plain(text):
    return text.replace("\\-", "-").replace("\\e", "\\")


def man_sections(page):
    """{'': top-level options, command: its options} from .TP items, and
    the aliases the page mentions."""
    options, current, lines = {"": set()}, "", page.splitlines()
    for i, line in enumerate(lines):
        heading = re.match(r'^\.SS "(.*)"', line)
        if heading:
            words = roff_plain(heading.group(1)).split()
            current = words[1] if words[:1] == ["kzr"] and len(words) > 1 else "?" + heading.group(1)
            options.setdefault(current, set())
        elif line.startswith(".SH"):
            current = ""
        elif line == ".TP" and i + 1 < len(lines):
            for name in re.findall(r"\\fB(\\-[^\\]*(?:\\-[^\\]*)*)\\fR", lines[i + 1]):
                options[current].add(roff_plain(name))
    return options


def bash_complete(*words, cwd=None):
    script = (f'source "{DOCS / "kzr.bash"}"\n'
              'COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _kzr\n'
              'printf "%s\\n" "${COMPREPLY[@]}"\n')
    result = subprocess.run(["bash", "-c", script, "bash", *words], capture_output=True,
                            text=True, check=True, cwd=cwd or DOCS)
    return set(result.stdout.splitlines()) - {""}


def zsh_branches(text):
    """{'': the global specs, 'name|alias': the branch's specs} as option names."""
    branches = {}
    global_block = re.search(r"\n  global=\(\n(.*?)\n  \)\n", text, re.S)
    branches[""] = set(re.findall(r"'(-[^'\[]+)\[", global_block.group(1))) if global_block else set()
    for pattern, body in re.findall(r"\n\s+([\w|-]+)\)\n\s+_arguments(.*?);;", text, re.S):
        branches[pattern] = set(re.findall(r"'(-[^'\[]+)\[", body))
    return branches


class CliDocsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        top = help_text()
        cls.global_options = help_options(top)
        cls.commands = help_commands(top)
        cls.command_options = {c[0]: help_options(help_text(c[0])) for c in cls.commands}

    def test_help_is_read(self):
        # Guards the checks below against an empty reading of the help.
        self.assertIn("--help", self.global_options)
        self.assertTrue(self.commands)
        for command, options in self.command_options.items():
            self.assertIn("--help", options, command)

    def test_man_page_has_every_command_and_option_and_no_other(self):
        page = (DOCS / "kzr.1").read_text()
        sections = man_sections(page)
        self.assertEqual(sections.pop(""), self.global_options, "the OPTIONS section")
        self.assertEqual(set(sections), {c[0] for c in self.commands}, "the command sections")
        for command, options in self.command_options.items():
            self.assertEqual(sections[command], options, f"the section of {command}")
        for names in self.commands:
            for alias in names[1:]:
                self.assertIn(f"\\fB{alias}\\fR", page, f"alias {alias} of {names[0]}")

    def test_man_page_renders_without_warnings(self):
        if not shutil.which("groff"):
            self.skipTest("no groff")
        result = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", DOCS / "kzr.1"],
                                capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_bash_completes_every_command_and_option(self):
        # Commands without their aliases, which still count when typed.
        self.assertEqual(bash_complete("kzr", ""), {names[0] for names in self.commands})
        self.assertEqual(bash_complete("kzr", "help", ""), {names[0] for names in self.commands})
        for names in self.commands:
            for name in names:
                self.assertEqual(bash_complete("kzr", "-q", name, "-"),
                                 self.global_options | self.command_options[names[0]], name)

    def test_bash_completes_entry_names_a_folder_at_a_time(self):
        with tempfile.TemporaryDirectory() as work:
            for name in ("ini/dat/units.ini", "ini/a.ini", "my maps/x y.map", "readme.txt"):
                Path(work, "in", name).parent.mkdir(parents=True, exist_ok=True)
                Path(work, "in", name).write_text(name)
            subprocess.run([KZR, "-q", "pack", "g.kzr", "-C", "in", "."], cwd=work, check=True)
            self.assertEqual(bash_complete(KZR, "x", "g.kzr", "", cwd=work),
                             {"ini/", "my maps/", "readme.txt"})
            self.assertEqual(bash_complete(KZR, "ls", "g.kzr", "--exclude", "ini/", cwd=work),
                             {"ini/dat/", "ini/a.ini"})
            self.assertEqual(bash_complete(KZR, "cat", "g.kzr", "'my maps/", cwd=work), {"my maps/x y.map"})
            self.assertEqual(bash_complete(KZR, "pack", "new.kzr", "", cwd=work), {"g.kzr", "in"})

    def test_zsh_knows_every_command_and_option(self):
        text = (DOCS / "_kzr").read_text()
        self.assertTrue(text.startswith("#compdef kzr\n"))
        block = re.search(r"\n  commands=\(\n(.*?)\n  \)\n", text, re.S)
        listed = set(re.findall(r"^\s+'([^':\\]+):", block.group(1) if block else "", re.M))
        self.assertEqual(listed, {names[0] for names in self.commands})
        branches = zsh_branches(text)
        self.assertEqual(branches.pop(""), self.global_options)
        self.assertEqual(set(branches), {"|".join(names) for names in self.commands})
        for names in self.commands:
            # A command's branch holds its own options; the shared ones come from $global.
            self.assertEqual(branches["|".join(names)] | self.global_options,
                             self.command_options[names[0]] | self.global_options, names[0])
        if shutil.which("zsh"):
            subprocess.run(["zsh", "-n", DOCS / "_kzr"], check=True)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: check_cli_docs.py KZR DOCS_DIR")
    KZR, DOCS = str(Path(sys.argv[1]).resolve()), Path(sys.argv[2]).resolve()
    unittest.main(argv=sys.argv[:1], verbosity=2)
