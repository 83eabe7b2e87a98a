#!/usr/bin/env python3
"""The console program's real --json output, in each of its forms (the list, --wait's port,
--watch's events), checked against docs/portlook.schema.json.

Usage: schema_test.py --schema FILE --program EXE [--wine-run SCRIPT] --results XML
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import time

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from python_test_support import Check, write_results  # noqa: E402

SUITE = "SchemaTest"


def run(options, arguments, seconds):
    """The program's standard output; a program still running after `seconds` is ended."""
    command = [options.program] + arguments
    if options.wine_run:
        command = [options.wine_run, "--timeout", str(seconds)] + command
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        out, _ = process.communicate(timeout=seconds + 30 if options.wine_run else seconds)
    except subprocess.TimeoutExpired:
        process.send_signal(signal.SIGTERM)
        out, _ = process.communicate()
    return out.decode("utf-8")


def main():
    parser = argparse.ArgumentParser()
    for name in ("--schema", "--program", "--results"):
        parser.add_argument(name, required=True)
    parser.add_argument("--wine-run")
    options = parser.parse_args()
    with open(options.schema, encoding="utf-8") as f:
        validator = jsonschema.Draft202012Validator(json.load(f))
    started = time.monotonic()
    checks = []

    def check_documents(name, documents):
        check = Check(SUITE, name)
        check.expect(documents, "no output to check")
        for document in documents:
            for error in validator.iter_errors(document):
                check.expect(False, "%s: %s" % (error.json_path, error.message))
        check.note("%d documents" % len(documents))
        check.done()
        checks.append(check)

    listed = json.loads(run(options, ["--json"], 20))
    check_documents("ListIsAnArrayOfPorts", [listed])
    # Wine takes seconds to start a program.
    lines = run(options, ["--watch", "--json", "--interval", "1"], 15 if options.wine_run else 4)
    lines = lines.splitlines()
    check_documents("WatchEventsOnePerLine", [json.loads(line) for line in lines])
    waited = run(options, ["--wait", "--json", "--timeout", "1"], 20)
    check_documents("WaitGivesOnePort", [json.loads(waited)] if waited else [])

    # The schema holds the keys to their types: a port missing one, or with one of another
    # type, does not pass.
    check = Check(SUITE, "SchemaRefusesMissingKeysAndOtherTypes")
    if check.expect(listed, "no port to alter"):
        for key in listed[0]:
            missing = dict(listed[0])
            del missing[key]
            check.expect(not validator.is_valid([missing]), "passes without " + key)
            other = dict(listed[0], **{key: {"a": 1}})
            check.expect(not validator.is_valid([other]), "passes with an object as " + key)
    check.done()
    checks.append(check)
    write_results(options.results, SUITE, checks, time.monotonic() - started)
    return 1 if any(c.failures for c in checks) else 0


if __name__ == "__main__":
    sys.exit(main())
