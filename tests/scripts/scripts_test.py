#!/usr/bin/env python3
"""What the test rig itself decides: which Wine a program gets, what wine-run says where a
program cannot run here, and how a run's tests are counted.

A machine that cannot execute 32-bit code is played by PORTLOOK_32BIT_PROBE naming a file the
kernel refuses with "Exec format error", as it refuses every 32-bit program there.

Usage: scripts_test.py --scripts DIR --program EXE --quick-program EXE --width 32|64
                       --results XML
"""

import argparse
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from python_test_support import Check, load_wine_run, run_checks, write_results  # noqa: E402

SUITE = "ScriptsTest"
I386, AMD64, ARM64 = 0x14C, 0x8664, 0xAA64


def with_machine(program, machine, path):
    """A copy of the program's headers claiming another machine."""
    with open(program, "rb") as f:
        data = bytearray(f.read(4096))
    struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4, machine)
    with open(path, "wb") as f:
        f.write(data)
    return path


def run_wine_run(scripts, program, arguments, probe):
    env = dict(os.environ)
    if probe:
        env["PORTLOOK_32BIT_PROBE"] = probe
    return subprocess.run([os.path.join(scripts, "wine-run"), "--timeout", "50", program]
                          + arguments, env=env, capture_output=True, text=True, errors="replace")


def check_widths(check, args, work):
    wine_run = load_wine_run(os.path.join(args.scripts, "wine-run"))
    check.expect(wine_run.pe_width(args.program) == args.width,
                 "%s read as %s bits" % (args.program, wine_run.pe_width(args.program)))
    for machine, width in ((I386, 32), (AMD64, 64), (ARM64, None)):
        copy = with_machine(args.program, machine, os.path.join(work, "machine.exe"))
        check.expect(wine_run.pe_width(copy) == width,
                     "machine 0x%x read as %s bits" % (machine, wine_run.pe_width(copy)))
    truncated = os.path.join(work, "truncated.exe")
    with open(args.program, "rb") as f, open(truncated, "wb") as out:
        out.write(f.read(0x40))
    for other in (truncated, os.path.abspath(__file__)):
        check.expect(wine_run.pe_width(other) is None, "%s read as a program" % other)


def check_without_32bit_code(check, args, work):
    probe = os.path.join(work, "probe")
    with open(probe, "wb") as f:
        f.write(b"\x7fELF\x01\x01\x01" + bytes(100))
    os.chmod(probe, 0o700)
    refused = run_wine_run(args.scripts, with_machine(args.program, I386,
                                                      os.path.join(work, "32.exe")), [], probe)
    lines = refused.stderr.splitlines()
    check.note("32-bit program: status %d, %s" % (refused.returncode, lines))
    check.expect(refused.returncode == 126, "status %d, not 126" % refused.returncode)
    check.expect(len(lines) == 1 and lines[0].endswith(
        "is a 32-bit program and this machine cannot execute 32-bit x86 code"),
        "not the one line that says why: %r" % refused.stderr)
    if args.width == 64:
        ran = run_wine_run(args.scripts, args.quick_program, ["--gtest_list_tests"], probe)
        check.note("64-bit program: status %d" % ran.returncode)
        check.expect(ran.returncode == 0 and "." in ran.stdout,
                     "the 64-bit program did not run: %d %r" % (ran.returncode, ran.stderr))


def count_tests(scripts, build):
    result = subprocess.run([os.path.join(scripts, "count-tests"), build], capture_output=True,
                            text=True, timeout=60)
    return result.stdout.split(), result.stderr


def check_counting(check, args, work):
    build = os.path.join(work, "build")
    results = os.path.join(build, "test-results")
    os.makedirs(results)
    check.expect(count_tests(args.scripts, build)[0] == ["0", "1"],
                 "a run without ctest's results is not counted as failed")

    def gtest_results(name, passed, failed):
        checks = [Check("Counted", "Passes%d" % n) for n in range(passed)]
        for n in range(failed):
            checks.append(Check("Counted", "Fails%d" % n))
            checks[-1].failures.append("failed")
        write_results(os.path.join(results, name + ".xml"), "Counted", checks, 0)

    # ctest's status of each program, and what the program wrote.
    ran = {"clean": "run", "crashed": "fail", "broken": "run", "crashed_at_exit": "fail",
           "failing": "fail"}
    gtest_results("clean", 3, 0)
    with open(os.path.join(results, "broken.xml"), "w") as f:
        f.write('<testsuites tests="3" failures="0"')
    gtest_results("crashed_at_exit", 2, 0)
    gtest_results("failing", 1, 1)
    with open(os.path.join(build, "ctest-results.xml"), "w") as f:
        f.write("<testsuite>%s</testsuite>" % "".join(
            '<testcase name="%s" status="%s"/>' % entry for entry in ran.items()))
    counted, said = count_tests(args.scripts, build)
    check.note("counted %s; %s" % (counted, said.strip().replace("\n", "; ")))
    check.expect(counted == ["6", "4"], "counted %s, not 6 passed and 4 failed" % counted)
    for name in ("crashed", "broken", "crashed_at_exit"):
        check.expect(name + ":" in said, "nothing said about %s" % name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--scripts", "--program", "--quick-program", "--results"):
        parser.add_argument(option, required=True)
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    args = parser.parse_args()

    cases = (("WineRunReadsTheWidthFromThePeHeader", check_widths),
             ("Without32BitCodeOnlyThe32BitProgramIsRefused", check_without_32bit_code),
             ("CountTestsCountsProgramsWithoutResultsAsFailed", check_counting))
    return run_checks(SUITE, args.results,
                      [(name, lambda check, work, body=body: body(check, args, work))
                       for name, body in cases], "portlook-scripts-test-")


if __name__ == "__main__":
    sys.exit(main())
