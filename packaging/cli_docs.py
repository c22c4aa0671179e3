#!/usr/bin/env python3
"""Writes kzr's man page and its bash and zsh completion from the tool's own
--help, so that a new command or option shows up in all three with no edit
here.

    cli_docs.py KZR OUTPUT_DIR   writes OUTPUT_DIR/kzr.1 (and kzr.1.gz), kzr.bash and _kzr

The help text is the command-line parser's (CLI11): a description, a
"Usage:" line, then sections headed "Name:" at the start of a line. The
"Positionals" and "Subcommands" sections list arguments and commands; any
other section (Options, or an option group's own heading) lists options.
An entry is "  NAMES [VALUE ...]" followed, after two or more spaces or on
the next lines, by its description.
"""
import gzip
import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path


@dataclass
class Option:
    names: list          # "-C", "--directory"
    value: str           # "DIR", or "" for a flag
    notes: str           # "Excludes: --overwrite", "REQUIRED", ...
    description: str
    choices: list = field(default_factory=list)   # from "WHEN:{auto,never}"


@dataclass
class Command:
    names: list          # the name, then its aliases
    summary: str
    usage: str = ""
    description: str = ""
    options: list = field(default_factory=list)
    positionals: list = field(default_factory=list)
    commands: list = field(default_factory=list)


ENTRY = re.compile(r"^  (\S.*?)(?:\s{2,}(\S.*))?$")
SECTION = re.compile(r"^(\S[^:]*):\s*$")
# Words the parser adds after a value name; they are not the value's name.
NOTE_WORDS = ("REQUIRED", "Excludes:", "Needs:", "Env:", "...")
TYPE_WORDS = ("TEXT", "UINT", "INT", "FLOAT", "NUMBER", "BOOLEAN", "FILE", "DIR", "PATH")


def run_help(kzr, args):
    result = subprocess.run([kzr, *args, "--help"], capture_output=True, text=True, check=True)
    return result.stdout


def parse_help(text, names):
    """One Command from a --help text."""
    lines = text.rstrip("\n").split("\n")
    usage_at = next(i for i, line in enumerate(lines) if line.startswith("Usage:"))
    command = Command(names=names, summary="")
    command.description = "\n".join(lines[:usage_at]).strip()
    command.usage = lines[usage_at][len("Usage:"):].strip()
    section = None
    entries = []   # (section, head, description lines)
    for line in lines[usage_at + 1:]:
        if not line.strip():
            continue
        heading = SECTION.match(line)
        if heading:
            section = heading.group(1).strip().lower()
            continue
        if line.startswith("   ") and entries:       # a description, or its continuation
            entries[-1][2].append(line.strip())
            continue
        entry = ENTRY.match(line)
        if entry and section:
            entries.append((section, entry.group(1).strip(), [entry.group(2)] if entry.group(2) else []))
    for section, head, description in entries:
        text = " ".join(description)
        if section.startswith("subcommand"):
            command.commands.append(Command(names=[n.strip() for n in head.split(",") if n.strip()],
                                            summary=text))
        elif section.startswith("positional"):
            words = head.split()
            command.positionals.append(Option([words[0]], "", " ".join(words[1:]), text))
        else:
            command.options.append(parse_option(head, text))
    return command


def parse_option(head, description):
    names_part, _, rest = head.partition(" ")
    names = [n for n in names_part.split(",") if n]
    words = rest.split()
    value, choices = "", []
    if words and not words[0].endswith(":") and words[0] not in NOTE_WORDS:
        value, _, kind = words.pop(0).partition(":")   # "N:UINT" names the value N
        listed = re.fullmatch(r"\{(.*)\}", kind)
        choices = [c.strip() for c in listed.group(1).split(",")] if listed else []
    return Option(names, value, " ".join(words), description, choices)


def read_tool(kzr):
    top = parse_help(run_help(kzr, []), ["kzr"])
    for sub in top.commands:
        full = parse_help(run_help(kzr, [sub.names[0]]), sub.names)
        sub.usage, sub.description = full.usage, full.description
        sub.options, sub.positionals = full.options, full.positionals
    return top


def version_of(kzr):
    said = subprocess.run([kzr, "--version"], capture_output=True, text=True,
                          check=True).stdout.strip()
    return said.removeprefix("kzr ")


# --- the man page -------------------------------------------------------------

def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\n".join(("\\&" + line) if line[:1] in ".'" else line for line in text.split("\n"))


def roff_option(option):
    names = ", ".join(f"\\fB{roff(n)}\\fR" for n in option.names)
    return names + (f" \\fI{roff(option.value)}\\fR" if option.value else "")


def option_text(option):
    text = option.description
    notes = option.notes.replace("Excludes:", "not with").strip()
    if notes:
        text += f" ({notes})"
    return text


# Text the help does not hold, for the man page's last sections. An example
# whose command this kzr lacks is left out, so the page never shows one.
EXAMPLES = [
    ("list", "kzr list game.kzr", "What the archive holds: names, sizes, compressed or not."),
    ("list", "kzr list -1 game.kzr \"ini/*\"",
     "The names under ini/ alone, one a line, for scripts."),
    ("list", "kzr list game.kzr \"mapy/?eská/*\"",
     "? stands for one character, č as much as c, and letters match in either case."),
    ("extract", "kzr extract game.kzr -C out \"ini/*\"",
     "The entries under ini/ into the folder out (without a pattern: everything)."),
    ("test", "kzr test game.kzr", "Reads every entry and names the damaged ones."),
    ("cat", "kzr cat game.kzr ini/units.ini | less", "One entry to standard output."),
    ("pack", "kzr pack mod.kzr -C mymod ini textures",
     "A new archive of two folders of mymod, stored as ini\\e... and textures\\e...; "
     "an existing mod.kzr is kept unless \\fB\\-\\-overwrite\\fR is given."),
    ("add", "kzr add mod.kzr -C mymod ini/units.ini",
     "Adds a file, or replaces the entry of that name."),
    ("delete", "kzr delete mod.kzr \"textures/old/*\"", "Deletes the entries under textures/old/."),
    ("mount", "kzr mount game.kzr ~/game",
     "The archive as a read-only folder, until \\fBkzr unmount ~/game\\fR or "
     "\\fBfusermount3 \\-u ~/game\\fR; \\fB\\-f\\fR keeps it in the foreground."),
    ("diff", "kzr diff game.kzr mod.kzr",
     "The entries only in one of them, and those whose contents differ; \\fB\\-v\\fR also "
     "names entries stored differently that decode alike, \\fB\\-\\-json\\fR writes JSON."),
    ("list", "KZR_NAMES=CP1252 kzr list old.kzr", "Names read in Windows-1252."),
]


def man_page(tool, version):
    # The help's exit-status line has a section of its own here.
    description = [line for line in tool.description.split("\n")
                   if not line.startswith("Exit status")]
    has = {sub.names[0] for sub in tool.commands}
    out = [
        f'.TH KZR 1 "" "kzr {roff(version)}" "User Commands"',
        ".SH NAME",
        f"kzr \\- {roff(description[0][0].lower() + description[0][1:].rstrip('.'))}",
        ".SH SYNOPSIS",
        f"\\fBkzr\\fR {roff(tool.usage.split(' ', 1)[1].replace('SUBCOMMAND', 'COMMAND'))}",
        "",
    ]
    for sub in tool.commands:
        out += [".br", f"\\fBkzr {roff(sub.names[0])}\\fR {roff(sub.usage.split(' ', 2)[2] if sub.usage.count(' ') >= 2 else '')}"]
    out += [".SH DESCRIPTION", roff("\n".join(description)).replace("\n", "\n.PP\n")]
    out += [
        ".PP",
        "Patterns take \\fB*\\fR, \\fB?\\fR and classes like \\fB[a\\-z]\\fR; \\fB/\\fR and "
        "\\fB\\e\\fR both separate folders, letters match in either case, and a folder's name "
        "chooses all it holds. Quote patterns, so that the shell leaves them to kzr.",
        ".PP",
        "Nothing is lost if kzr fails or is interrupted: archives and extracted files are "
        "written under a temporary name beside their target and renamed into place when "
        "complete. \\fBextract\\fR writes nothing outside its folder and keeps files that "
        "exist unless told otherwise.",
        ".PP",
        "The same code is the packer plugin \\fI/usr/lib/kzr/kzr.wcx\\fR for Double Commander.",
        ".SH OPTIONS",
        "These options may stand before or after the command.",
    ]
    for option in tool.options:
        out += [".TP", roff_option(option), roff(option_text(option))]
    out.append(".SH COMMANDS")
    for sub in tool.commands:
        out += [f'.SS "{roff(sub.usage)}"', roff(sub.description)]
        if len(sub.names) > 1:
            out += [".PP", "Also called " + ", ".join(f"\\fB{roff(n)}\\fR" for n in sub.names[1:]) + "."]
        for positional in sub.positionals:
            out += [".TP", f"\\fI{roff(positional.names[0])}\\fR", roff(positional.description)]
        for option in sub.options:
            out += [".TP", roff_option(option), roff(option_text(option))]
    out.append(".SH EXAMPLES")
    for command, line, text in EXAMPLES:
        if command in has:
            out += [".TP", f"\\fB{roff(line)}\\fR", text]
    out += [
        ".SH ENVIRONMENT",
        ".TP",
        "\\fBKZR_NAMES\\fR",
        "The code page of the names stored in archives, any name \\fBiconv \\-l\\fR lists "
        "(default: CP1250, Windows-1250, the code page of the game's Czech resources). "
        "\\fB\\-\\-names\\fR wins over it. The plugin reads it too, and else the key "
        "\\fBnames=\\fR in the section \\fB[kzr]\\fR of Double Commander's \\fIwcx.ini\\fR "
        "(in its settings folder, usually \\fI~/.config/doublecmd\\fR); both are read each "
        "time an archive is opened or changed. A code page that changes ASCII characters is "
        "refused.",
        ".SH EXIT STATUS",
        ".TP", "0", "Everything was done.",
        ".TP", "1", "Anything failed; standard error says what.",
        ".TP", "2", "A usage error: an unknown command or option, or a missing argument.",
    ]
    if "diff" in has:
        out += [".PP", "\\fBkzr diff\\fR exits with 0 when the archives are alike, 1 when they "
                "differ, and 2 when it could not compare them."]
    out += [
        ".SH FILES",
        ".TP",
        "\\fI/usr/lib/kzr/kzr.wcx\\fR",
        "The packer plugin for Double Commander (Configuration, Options, Plugins, "
        "Packer plugins (WCX), Add; extension \\fBkzr\\fR).",
        ".SH NOTES",
        "An archive holds at most 2 GiB, and a stored name at most 259 characters. "
        "The format keeps no timestamps (extracted files get the time of extraction), and "
        "entries stored without compression carry no checksum: damage to their bytes "
        "cannot be detected. "
        "\\fBpack\\fR and \\fBadd\\fR store files without compressing them.",
        ".SH SEE ALSO",
        ", ".join(["\\fBdoublecmd\\fR(1)", "\\fBiconv\\fR(1)"]
                  + (["\\fBfusermount3\\fR(1)"] if "mount" in has else [])),
    ]
    # Characters beyond ASCII as groff's escapes, which need no input encoding.
    return "".join(c if ord(c) < 128 else f"\\[u{ord(c):04X}]" for c in "\n".join(out) + "\n")


# --- what a shell completes ----------------------------------------------------

def word_kind(name, choices=()):
    """How a shell completes an argument or an option's value, by its name:
    choices, dir, entry (names in the archive), command, none or file."""
    name = name.upper()
    if choices:
        return "choices"
    if name in ("DIR", "DIRECTORY", "FOLDER"):
        return "dir"
    if name in ("PATTERN", "NAME", "ENTRY"):
        return "entry"
    if name == "COMMAND":
        return "command"
    if name in ("N", "NUM", "NUMBER", "COUNT", "INT", "UINT", "CODEPAGE") or re.search(r"INT|NUM|LEVEL|FORMAT", name):
        return "none"
    return "file"


def value_kind(option):
    return word_kind(option.value, option.choices) if option.value else None


def argument_kinds(sub):
    """The kind of each positional argument; a last one that repeats ends in '...'."""
    return [word_kind(p.names[0]) + ("..." if "..." in p.notes.split() else "") for p in sub.positionals]


def shell_words(options):
    return " ".join(n for o in options for n in o.names)


def own_options(tool, sub):
    """A command's options less those it shares with the tool (-h, --help)."""
    shared = [o.names for o in tool.options]
    return [o for o in sub.options if o.names not in shared]


# --- bash ---------------------------------------------------------------------

def bash_completion(tool):
    valued = [o for o in tool.options + [o for s in tool.commands for o in s.options] if o.value]
    by_kind = {kind: "|".join(sorted({n for o in valued if value_kind(o) == kind for n in o.names}))
               or "-no-such-option-" for kind in ("dir", "none", "entry")}
    global_valued = " ".join(n for o in tool.options if o.value for n in o.names)
    choices = "".join(f"      {'|'.join(o.names)}) COMPREPLY=($(compgen -W \"{' '.join(o.choices)}\" -- \"$cur\")); return ;;\n"
                      for o in valued if o.choices)
    cases = []
    for sub in tool.commands:
        cases.append(f"    {'|'.join(sub.names)})\n"
                     f"      options=\"{shell_words(own_options(tool, sub))}\"\n"
                     f"      valued=\"{' '.join(n for o in own_options(tool, sub) if o.value for n in o.names)}\"\n"
                     f"      arguments=\"{' '.join(argument_kinds(sub))}\" ;;")
    return f"""# bash completion for kzr. Made from kzr --help by packaging/cli_docs.py.

# A word as the command will get it, when it is plain, in quotes, has \\ before
# blanks or starts with ~/.
_kzr_word() {{
  local word=${{1#[\\"\\']}}
  word=${{word%[\\"\\']}}
  word=${{word//\\\\ / }}
  [[ $word == "~/"* ]] && word=$HOME/${{word#"~/"}}
  printf '%s' "$word"
}}

# Sets COMPREPLY to the entry names in ARCHIVE that start with WORD, up to the
# / after it (a folder at a time), as `kzr [OPTION...] list -1` lists them.
# Usage: _kzr_entries KZR ARCHIVE WORD [OPTION...]
_kzr_entries() {{
  local kzr=$1 archive=$2 word=$3
  shift 3
  [[ -f $archive ]] || return 0
  mapfile -t COMPREPLY < <("$kzr" "$@" list -1 -- "$archive" 2>/dev/null |
    KZR_WORD=$word awk 'BEGIN {{ word = ENVIRON["KZR_WORD"]; n = length(word) }}
      substr($0, 1, n) == word {{
        rest = substr($0, n + 1); slash = index(rest, "/")
        name = slash ? word substr(rest, 1, slash) : $0
        if (!(name in seen)) {{ seen[name]; print name }}
      }}')
  if [[ ${{#COMPREPLY[@]}} -eq 1 && ${{COMPREPLY[0]}} == */ ]]; then
    compopt -o nospace 2>/dev/null
  fi
}}

_kzr() {{
  local cur prev=${{COMP_WORDS[COMP_CWORD - 1]}}
  cur=$(_kzr_word "${{COMP_WORDS[COMP_CWORD]}}")
  local commands="{' '.join(s.names[0] for s in tool.commands)}"
  local names="{' '.join(n for s in tool.commands for n in s.names)}"
  local global_options="{shell_words(tool.options)}"
  local global_valued="{global_valued}"
  local command="" options="" valued="" arguments="" at=0 i
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ " $global_valued " == *" ${{COMP_WORDS[i]}} "* ]]; then
      ((i++))
    elif [[ " $names " == *" ${{COMP_WORDS[i]}} "* ]]; then
      command=${{COMP_WORDS[i]}} at=$i
      break
    fi
  done
  case $command in
{chr(10).join(cases)}
  esac
  # The command's arguments before this word, and the global options with a
  # value, which kzr list gets too.
  local -a given=() listing=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ " $global_valued " == *" ${{COMP_WORDS[i]}} "* ]]; then
      listing+=("${{COMP_WORDS[i]}}" "$(_kzr_word "${{COMP_WORDS[i + 1]}}")")
      ((i++))
    elif [[ " $valued " == *" ${{COMP_WORDS[i]}} "* ]]; then
      ((i++))
    elif ((at && i > at)) && [[ ${{COMP_WORDS[i]}} != -* ]]; then
      given+=("$(_kzr_word "${{COMP_WORDS[i]}}")")
    fi
  done
  local kind=file
  if [[ " $global_valued $valued " == *" $prev "* ]]; then
    case $prev in
{choices}      {by_kind['dir']}) kind=dir ;;
      {by_kind['none']}) kind=none ;;
      {by_kind['entry']}) kind=entry ;;
    esac
  elif [[ $cur == -* ]]; then
    kind=option
  elif [[ -z $command ]]; then
    kind=command
  else
    local -a kinds=($arguments)
    if ((${{#given[@]}} < ${{#kinds[@]}})); then
      kind=${{kinds[${{#given[@]}}]}}
    elif [[ ${{kinds[-1]-}} == *... ]]; then
      kind=${{kinds[-1]}}
    else
      kind=none
    fi
  fi
  COMPREPLY=()
  case ${{kind%...}} in
    option) COMPREPLY=($(compgen -W "$global_options $options" -- "$cur")) ;;
    command) COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    entry) _kzr_entries "$(_kzr_word "${{COMP_WORDS[0]}}")" "${{given[0]-}}" "$cur" "${{listing[@]}}" ;;
    dir) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
    file) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
  esac
}}
complete -o filenames -F _kzr kzr
"""


# --- zsh ----------------------------------------------------------------------

def zsh_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


ZSH_ACTIONS = {"dir": "_files -/", "file": "_files", "entry": "_kzr_entries",
               "command": "{_describe -t commands 'kzr command' commands}", "none": " "}


def zsh_spec(option):
    description = option.description.replace("\\", "\\\\").replace("[", "\\[").replace("]", "\\]")
    kind = value_kind(option)
    tail = (f":{option.value}:({' '.join(option.choices)})" if kind == "choices"
            else f":{option.value}:{ZSH_ACTIONS[kind]}" if kind else "")
    return " ".join(zsh_quote(f"{name}[{description}]{tail}") for name in option.names)


def zsh_arguments(sub):
    specs = []
    for number, (positional, kind) in enumerate(zip(sub.positionals, argument_kinds(sub)), 1):
        where = "*" if kind.endswith("...") else str(number)
        specs.append(zsh_quote(f"{where}:{positional.names[0]}:{ZSH_ACTIONS[kind.removesuffix('...')]}"))
    return " ".join(specs)


def zsh_completion(tool):
    commands = "\n".join(
        "    " + zsh_quote(sub.names[0].replace(":", "\\:") + ":" + sub.summary)
        for sub in tool.commands)
    global_specs = " \\\n    ".join(zsh_spec(o) for o in tool.options)
    global_valued = " ".join(n for o in tool.options if o.value for n in o.names)
    cases = []
    for sub in tool.commands:
        specs = " ".join(filter(None, [zsh_spec(o) for o in own_options(tool, sub)] + [zsh_arguments(sub)]))
        cases.append(f"        {'|'.join(sub.names)})\n"
                     f"          _arguments -s $global {specs} ;;")
    return f"""#compdef kzr
# zsh completion for kzr. Made from kzr --help by packaging/cli_docs.py.

# The entry names in the archive on the line, a folder at a time, as
# `kzr [OPTION...] list -1` lists them.
_kzr_entries() {{
  local archive=${{(Q)line[1]}} name value
  archive=${{archive/#\\~/$HOME}}
  [[ -f $archive ]] || return 1
  local -a listing kzr_entries
  for name in {global_valued}; do
    value=${{opt_args[$name]:-${{kzr_global_args[$name]}}}}
    [[ -n $value ]] && listing+=($name ${{(Q)value}})
  done
  kzr_entries=(${{(f)"$($kzr_program $listing list -1 -- $archive 2>/dev/null)"}})
  _multi_parts / kzr_entries
}}

_kzr() {{
  local curcontext=$curcontext state line kzr_program=${{(Q)words[1]/#\\~/$HOME}}
  local -a global commands
  local -A opt_args kzr_global_args
  global=(
    {global_specs}
  )
  commands=(
{commands}
  )
  _arguments -C -s $global ': :->command' '*:: :->arguments' && return
  case $state in
    command) _describe -t commands 'kzr command' commands ;;
    arguments)
      kzr_global_args=("${{(@kv)opt_args}}")
      case $words[1] in
{chr(10).join(cases)}
      esac ;;
  esac
}}
_kzr "$@"
"""


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: cli_docs.py KZR OUTPUT_DIR")
    kzr, out = sys.argv[1], Path(sys.argv[2])
    tool = read_tool(kzr)
    out.mkdir(parents=True, exist_ok=True)
    page = man_page(tool, version_of(kzr))
    (out / "kzr.1").write_text(page)
    (out / "kzr.1.gz").write_bytes(gzip.compress(page.encode(), 9, mtime=0))
    (out / "kzr.bash").write_text(bash_completion(tool))
    (out / "_kzr").write_text(zsh_completion(tool))


if __name__ == "__main__":
    main()
