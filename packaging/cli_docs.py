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


def man_page(tool, version):
    description = tool.description.split("\n")
    out = [
        f'.TH KZR 1 "" "kzr {roff(version)}" "User Commands"',
        ".SH NAME",
        f"kzr \\- {roff(description[0][0].lower() + description[0][1:].rstrip('.'))}",
        ".SH SYNOPSIS",
        f"\\fBkzr\\fR {roff(tool.usage.split(' ', 1)[1])}",
        "",
    ]
    for sub in tool.commands:
        out += [".br", f"\\fBkzr {roff(sub.names[0])}\\fR {roff(sub.usage.split(' ', 2)[2] if sub.usage.count(' ') >= 2 else '')}"]
    out += [".SH DESCRIPTION", roff("\n".join(description)).replace("\n", "\n.PP\n")]
    out += [
        ".PP",
        "The same exports are built into \\fB/usr/lib/kzr/kzr.wcx\\fR, the packer plugin "
        "for Double Commander; \\fB\\-\\-plugin\\fR drives that module, or any other "
        "build of the plugin, instead of the built-in code.",
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
    out += [
        ".SH FILES",
        ".TP",
        "\\fI/usr/lib/kzr/kzr.wcx\\fR",
        "The packer plugin for Double Commander (Configuration, Options, Plugins, "
        "Packer plugins, Add; extension \\fBkzr\\fR).",
        ".SH NOTES",
        "An archive holds at most 2 GiB, and a stored name at most 259 characters. "
        "The format keeps no timestamps (extracted files get the time of extraction), and "
        "entries stored without compression carry no checksum: damage to their bytes "
        "cannot be detected. "
        "\\fBpack\\fR and \\fBadd\\fR store files without compressing them.",
    ]
    return "\n".join(out) + "\n"


# --- bash ---------------------------------------------------------------------

def value_kind(option):
    """How a shell completes the option's value: dirs, files or nothing."""
    name = option.value.upper()
    if not name:
        return None
    if option.choices:
        return "choices"
    if name in ("DIR", "DIRECTORY", "FOLDER"):
        return "dir"
    if name in ("N", "NUM", "NUMBER", "COUNT", "INT", "UINT") or re.search(r"INT|NUM|LEVEL|FORMAT", name):
        return "none"
    return "file"


def shell_words(options):
    return " ".join(n for o in options for n in o.names)


def own_options(tool, sub):
    """A command's options less those it shares with the tool (-h, --help)."""
    shared = {n for o in tool.options for n in o.names}
    return [o for o in sub.options if not shared.intersection(o.names)]


def bash_completion(tool):
    valued = [o for o in tool.options + [o for s in tool.commands for o in s.options] if o.value]
    dirs = sorted({n for o in valued if value_kind(o) == "dir" for n in o.names})
    none = sorted({n for o in valued if value_kind(o) == "none" for n in o.names})
    global_valued = " ".join(n for o in tool.options if o.value for n in o.names)
    choices = "".join(f"      {'|'.join(o.names)}) COMPREPLY=($(compgen -W \"{' '.join(o.choices)}\" -- \"$cur\")) ;;\n"
                      for o in valued if o.choices)
    commands = " ".join(n for s in tool.commands for n in s.names)
    cases = []
    for sub in tool.commands:
        cases.append(f"    {'|'.join(sub.names)})\n"
                     f"      options=\"{shell_words(own_options(tool, sub))}\"\n"
                     f"      valued=\"{' '.join(n for o in own_options(tool, sub) if o.value for n in o.names)}\" ;;")
    return f"""# bash completion for kzr. Made from kzr --help by packaging/cli_docs.py.
_kzr() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD - 1]}}
  local commands="{commands}"
  local global_options="{shell_words(tool.options)}"
  local global_valued="{global_valued}"
  local command="" options="" valued="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ " $global_valued " == *" ${{COMP_WORDS[i]}} "* ]]; then
      ((i++))
    elif [[ " $commands " == *" ${{COMP_WORDS[i]}} "* ]]; then
      command=${{COMP_WORDS[i]}}
      break
    fi
  done
  case $command in
{chr(10).join(cases)}
  esac
  COMPREPLY=()
  if [[ " $global_valued $valued " == *" $prev "* ]]; then
    case $prev in
{choices}      {'|'.join(dirs) or '-no-such-option-'}) COMPREPLY=($(compgen -d -- "$cur")) ;;
      {'|'.join(none) or '-no-such-option-'}) ;;
      *) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$global_options $options" -- "$cur"))
  elif [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}}
complete -o filenames -o bashdefault -F _kzr kzr
"""


# --- zsh ----------------------------------------------------------------------

def zsh_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def zsh_spec(option):
    description = option.description.replace("\\", "\\\\").replace("[", "\\[").replace("]", "\\]")
    action = {"dir": ":DIR:_files -/", "none": f":{option.value}: ", "file": f":{option.value}:_files",
              "choices": f":{option.value}:({' '.join(option.choices)})"}
    tail = action.get(value_kind(option), "")
    return " ".join(zsh_quote(f"{name}[{description}]{tail}") for name in option.names)


def zsh_completion(tool):
    commands = "\n".join(
        "    " + zsh_quote(name.replace(":", "\\:") + ":" + sub.summary)
        for sub in tool.commands for name in sub.names)
    global_specs = " \\\n    ".join(zsh_spec(o) for o in tool.options)
    cases = []
    for sub in tool.commands:
        specs = " ".join(zsh_spec(o) for o in own_options(tool, sub))
        cases.append(f"        {'|'.join(sub.names)})\n"
                     f"          _arguments -s $global {specs} '*:file:_files' ;;")
    return f"""#compdef kzr
# zsh completion for kzr. Made from kzr --help by packaging/cli_docs.py.
_kzr() {{
  local curcontext=$curcontext state line
  local -a global commands
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
