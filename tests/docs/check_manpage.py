#!/usr/bin/env python3
"""A manual page against its program's --help: the same commands and the same options.

usage: check_manpage.py PROGRAM PAGE.1 [--commands] [--completion FILE]

Options are every -x and --long-name word. With --commands, the commands are the first word
of each help line indented by two spaces that starts with a lower-case letter, and in the page
the bold words that open a .TP entry of the COMMANDS section (outside .RS blocks). With
--completion, the commands of a bash completion script (its `commands="..."` list) must be the
same too. Exits 1 and names every word that is only on one side.
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[a-z0-9][a-z0-9-]*)")


def help_words(program, want_commands):
    run = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=60,
                         env={"QT_QPA_PLATFORM": "offscreen", "PATH": "/usr/bin:/bin"})
    if run.returncode != 0:
        sys.exit(f"{program} --help exited with {run.returncode}: {run.stderr}")
    text = run.stdout
    options = set(OPTION.findall(text))
    commands = set()
    if want_commands:
        for line in text.splitlines():
            m = re.match(r"^  ([a-z][a-z0-9-]*)\b", line)
            if m:
                commands.add(m.group(1))
    return options, commands


def page_words(path, want_commands):
    roff = open(path, encoding="utf-8").read()
    # Unescape what matters for the words: \- is a hyphen, font changes vanish.
    plain = re.sub(r"\\f[BIRP]", "", roff).replace("\\-", "-")
    options = set()
    for line in plain.splitlines():
        if line.startswith(".TH") or line.startswith(".\\\""):
            continue
        options.update(OPTION.findall(line))
    # Qt's own options the page mentions as accepted but not listed by --help.
    options.discard("-platform")
    commands = set()
    if want_commands:
        section = None
        nested = 0  # .RS blocks hold a command's own entries
        lines = roff.splitlines()
        for i, line in enumerate(lines):
            if line.startswith(".SH"):
                section = line[3:].strip().strip('"')
            elif line.startswith(".RS"):
                nested += 1
            elif line.startswith(".RE"):
                nested -= 1
            elif section == "COMMANDS" and not nested and line == ".TP" and i + 1 < len(lines):
                m = re.match(r"^\.B[IR]?\s+\"?\s*([a-z][a-z0-9-]*)", lines[i + 1])
                if m:
                    commands.add(m.group(1))
    return options, commands


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    program, page = sys.argv[1], sys.argv[2]
    want_commands = "--commands" in sys.argv[3:]
    completion = None
    if "--completion" in sys.argv[3:]:
        completion = sys.argv[sys.argv.index("--completion") + 1]
    h_opts, h_cmds = help_words(program, want_commands)
    p_opts, p_cmds = page_words(page, want_commands)
    faults = []
    for kind, h, p in (("option", h_opts, p_opts), ("command", h_cmds, p_cmds)):
        for word in sorted(h - p):
            faults.append(f"{kind} {word} is in --help but not in {page}")
        for word in sorted(p - h):
            faults.append(f"{kind} {word} is in {page} but not in --help")
    if completion:
        m = re.search(r'\bcommands="([^"]*)"', open(completion, encoding="utf-8").read())
        c_cmds = set(m.group(1).split()) if m else set()
        for word in sorted(h_cmds - c_cmds):
            faults.append(f"command {word} is in --help but not in {completion}")
        for word in sorted(c_cmds - h_cmds):
            faults.append(f"command {word} is in {completion} but not in --help")
    if want_commands and not h_cmds:
        faults.append("no command found in --help")
    if not h_opts:
        faults.append("no option found in --help")
    for f in faults:
        print(f)
    if not faults:
        print(f"{page}: {len(h_opts)} options" + (f", {len(h_cmds)} commands" if want_commands else "") + " as in --help")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
