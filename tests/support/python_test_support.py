"""Shared by our Python tests and scripts: test cases whose results are written as GoogleTest
writes its XML, the one reader of that XML (and of ctest's) that counts a run, and
scripts/wine-run loaded as a module."""

import importlib.machinery
import importlib.util
import os
import shutil
import subprocess
import tempfile
import time
import sys
import xml.etree.ElementTree as ElementTree
from xml.sax.saxutils import escape, quoteattr


class Check:
    """One test case: its name, its failures and what it has to say."""

    def __init__(self, suite, name):
        self.suite = suite
        self.name = name
        self.failures = []
        self.notes = []
        self.started = time.monotonic()
        self.seconds = 0.0

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def note(self, message):
        self.notes.append(message)

    def done(self):
        self.seconds = time.monotonic() - self.started
        print("[ %s ] %s.%s" % ("FAILED" if self.failures else "    OK", self.suite, self.name))
        for line in self.notes:
            print("    " + line)
        for line in self.failures:
            print("    FAILURE: " + line)


def write_results(path, suite, checks, seconds):
    failures = sum(1 for check in checks if check.failures)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<testsuites tests="%d" failures="%d" disabled="0" errors="0" time="%.3f" '
             'name="AllTests">' % (len(checks), failures, seconds),
             '  <testsuite name=%s tests="%d" failures="%d" disabled="0" skipped="0" '
             'errors="0" time="%.3f">' % (quoteattr(suite), len(checks), failures, seconds)]
    for check in checks:
        lines.append('    <testcase name=%s status="run" result="completed" time="%.3f" '
                     'classname=%s>' % (quoteattr(check.name), check.seconds, quoteattr(suite)))
        for failure in check.failures:
            lines.append('      <failure message=%s type=""></failure>' % quoteattr(failure))
        lines.append('      <system-out>%s</system-out>' % escape("\n".join(check.notes)))
        lines.append("    </testcase>")
    lines += ["  </testsuite>", "</testsuites>"]
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def run_checks(suite, results, cases, work_prefix):
    """Runs each (name, body) case, body(check, work) with a scratch directory the cases share,
    writes the results, and gives the exit status. A case that raises has failed."""
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix=work_prefix)
    checks = []
    try:
        for name, body in cases:
            check = Check(suite, name)
            try:
                body(check, work)
            except (OSError, subprocess.SubprocessError, ValueError, KeyError) as error:
                check.expect(False, "%s: %s" % (type(error).__name__, error))
            check.done()
            checks.append(check)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    write_results(results, suite, checks, time.monotonic() - started)
    return 1 if any(check.failures for check in checks) else 0


def load_wine_run(path):
    """scripts/wine-run as a module, to find prefixes and widths as it does."""
    loader = importlib.machinery.SourceFileLoader("wine_run", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("wine_run", loader))
    loader.exec_module(module)
    return module


def gtest_counts(path):
    """(passed, failed) from a GoogleTest XML file; None if it is missing or broken."""
    try:
        root = ElementTree.parse(path).getroot()
        tests, failures, errors, disabled = (
            int(root.attrib[name]) for name in ("tests", "failures", "errors", "disabled"))
    except (OSError, ElementTree.ParseError, KeyError, ValueError):
        return None
    if root.tag != "testsuites":
        return None
    skipped = len(root.findall(".//skipped"))
    return tests - failures - errors - disabled - skipped, failures + errors


def count_build(build):
    """(passed, failed) of one preset's run. Every test ctest ran (BUILD/ctest-results.xml)
    counts by the GoogleTest results its program wrote (BUILD/test-results/NAME.xml). A program
    that crashed, could not start or wrote no usable results counts as one failed test, and so
    does one that ctest saw fail while its results show no failure; each gets a line on stderr
    saying so."""
    try:
        ran = ElementTree.parse(os.path.join(build, "ctest-results.xml")).getroot()
    except (OSError, ElementTree.ParseError):
        print("count-tests: %s: ctest left no results" % build, file=sys.stderr)
        return 0, 1
    passed = failed = 0
    for case in ran.iter("testcase"):
        name = case.get("name")
        status = case.get("status")
        if status == "disabled":
            continue
        counts = gtest_counts(os.path.join(build, "test-results", name + ".xml"))
        if counts is None:
            print("count-tests: %s: no results (ctest: %s), counted as 1 failed"
                  % (name, status), file=sys.stderr)
            failed += 1
            continue
        if status != "run" and counts[1] == 0:
            print("count-tests: %s: ctest saw it fail though its results show no failure, "
                  "counted as 1 failed" % name, file=sys.stderr)
            counts = (counts[0], 1)
        passed += counts[0]
        failed += counts[1]
    return passed, failed
