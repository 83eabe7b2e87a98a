#!/usr/bin/env python3
"""What the documents say of the console program against what it prints: the README quotes
its --help as it is, the man page has a Debian page's sections and every option of --help,
and README.txt, which quotes portlook-cli.exe --help, fits an 80-column console.

Usage: docs_test.py --source DIR --program EXE [--wine-run SCRIPT] --results XML
"""

import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from python_test_support import run_checks  # noqa: E402

SUITE = "DocsTest"
MAN_SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "STATUS", "EXIT STATUS",
                "EXAMPLES", "FILES", "SEE ALSO"]


def program_help(args):
    command = [args.program, "--help"]
    if args.wine_run:
        command = [args.wine_run, "--timeout", "50"] + command
    done = subprocess.run(command, capture_output=True, text=True, check=True,
                          timeout=None if args.wine_run else 60)  # wine-run bounds its own
    return done.stdout.replace("\r\n", "\n")


def check_readme(check, args, help_text):
    """The block after "$ portlook --help" in README.md, indented by four, is the help."""
    lines = open(os.path.join(args.source, "README.md"), encoding="utf-8").read().split("\n")
    if not check.expect("    $ portlook --help" in lines, "README.md quotes no portlook --help"):
        return
    quoted = []
    for line in lines[lines.index("    $ portlook --help") + 1:]:
        if line and not line.startswith("    "):
            break
        quoted.append(line[4:])
    quoted = "\n".join(quoted).rstrip("\n") + "\n"
    check.expect(quoted == help_text, "README.md's portlook --help:\n%s\nthe program's:\n%s"
                 % (quoted, help_text))


def check_man_page(check, args, help_text):
    page = open(os.path.join(args.source, "scripts", "package-files", "portlook.1.in"),
                encoding="utf-8").read()
    sections = {}
    for name, body in re.findall(r'^\.SH "?([A-Z ]+?)"?\n(.*?)(?=^\.SH |\Z)', page, re.M | re.S):
        sections[name] = body.replace("\\-", "-")
    check.expect(list(sections) == MAN_SECTIONS, "sections %s, not %s" % (list(sections),
                                                                         MAN_SECTIONS))
    synopsis = sections.get("SYNOPSIS", "")
    check.expect(synopsis.count(".br\n") == 3, "SYNOPSIS: not four lines:\n" + synopsis)
    for option in sorted(set(re.findall(r"--[a-z][a-z-]*", help_text))):
        check.expect(re.search(r"^\.BI? %s\b" % option, sections.get("OPTIONS", ""), re.M),
                     "OPTIONS: no entry for " + option)
        check.expect(option in synopsis, "SYNOPSIS: no " + option)
    statuses = re.findall(r"^\.B (\d)$", sections.get("EXIT STATUS", ""), re.M)
    check.expect(statuses == [str(n) for n in range(8)], "EXIT STATUS lists " + str(statuses))
    # As lintian reads it: man's own warnings, at the width of a terminal.
    shown = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-"], input=page,
                           capture_output=True, text=True, timeout=60,
                           env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"))
    check.expect(shown.returncode == 0 and shown.stderr == "", "man: " + shown.stderr)


def check_readme_txt(check, args, help_text):
    template = open(os.path.join(args.source, "scripts", "package-files", "README.txt.in"),
                    encoding="utf-8").read()
    text = template.replace("@VERSION@", "1.0.0.1").replace("@USAGE@", help_text.rstrip())
    for line in text.split("\n"):
        check.expect(len(line) < 80, "README.txt: %d columns: %s" % (len(line), line))
    check.expect(".\\portlook-cli" in text, "README.txt: no .\\portlook-cli for PowerShell")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--source", "--program", "--results"):
        parser.add_argument(option, required=True)
    parser.add_argument("--wine-run")
    args = parser.parse_args()
    help_text = program_help(args)
    if args.wine_run:
        cases = (("ReadmeTxtFitsEightyColumns",
                  lambda check, work: check_readme_txt(check, args, help_text)),)
    else:
        cases = (("ReadmeQuotesTheProgramsHelp",
                  lambda check, work: check_readme(check, args, help_text)),
                 ("ManPageHasItsSectionsAndEveryOption",
                  lambda check, work: check_man_page(check, args, help_text)))
    return run_checks(SUITE, args.results, cases, "portlook-docs-test-")


if __name__ == "__main__":
    sys.exit(main())
