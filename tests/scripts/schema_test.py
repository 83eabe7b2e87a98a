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

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from python_test_support import run_checks  # noqa: E402

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
    outputs = {}

    def check_documents(check, texts):
        check.expect(texts, "no output to check")
        for document in map(json.loads, texts):
            for error in validator.iter_errors(document):
                check.expect(False, "%s: %s" % (error.json_path, error.message))
        check.note("%d documents" % len(texts))

    def check_list(check, work):
        outputs["list"] = run(options, ["--json"], 20)
        check_documents(check, [outputs["list"]])

    def check_watch(check, work):
        # Wine takes seconds to start a program.
        lines = run(options, ["--watch", "--json", "--interval", "1"],
                    15 if options.wine_run else 4)
        check_documents(check, lines.splitlines())

    def check_wait(check, work):
        waited = run(options, ["--wait", "--json", "--timeout", "1"], 20)
        check_documents(check, [waited] if waited else [])

    # The schema holds the keys to their types: a port missing one, or with one of another
    # type, does not pass.
    def check_refusals(check, work):
        listed = json.loads(outputs.get("list") or "[]")
        if check.expect(listed, "no port to alter"):
            for key in listed[0]:
                missing = dict(listed[0])
                del missing[key]
                check.expect(not validator.is_valid([missing]), "passes without " + key)
                other = dict(listed[0], **{key: {"a": 1}})
                check.expect(not validator.is_valid([other]), "passes with an object as " + key)

    return run_checks(SUITE, options.results,
                      (("ListIsAnArrayOfPorts", check_list),
                       ("WatchEventsOnePerLine", check_watch),
                       ("WaitGivesOnePort", check_wait),
                       ("SchemaRefusesMissingKeysAndOtherTypes", check_refusals)),
                      "portlook-schema-test-")


if __name__ == "__main__":
    sys.exit(main())
