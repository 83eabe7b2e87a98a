#!/usr/bin/env python3
"""Portlook.exe writes no file, no registry value and no setting, and opens SERIALCOMM
read-only.

Two sessions of scripts/wine-run, each with the same driver (no_writes_driver_main.cpp): one
runs Portlook.exe (start, "&Single", "&Continuously" for two ticks, IDCANCEL), the other an
idle dialog program, which shows what Wine writes by itself. Evidence:
  - Wine's relay trace of every call Portlook.exe's own code makes into Wine: the registry
    calls, the access asked for, and no call that writes files, keys or settings;
  - each session's prefix (registry files and every file) against the prefix it was copied
    from: the Portlook session may change nothing the idle session did not.
Results go to a GoogleTest-style XML file, one test case per check.

Usage: no_writes_test.py --wine-run PATH --driver EXE --program EXE --idle EXE --results XML
"""

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from python_test_support import load_wine_run, run_checks  # noqa: E402

SUITE = "NoWritesTest"
SERIALCOMM = r"HARDWARE\DEVICEMAP\SERIALCOMM"
# Handle constants as Windows defines them: 32-bit values widened with their sign.
HKEY_LOCAL_MACHINE = 0x80000002 - (1 << 32)
INVALID_HANDLE_VALUE = -1
KEY_READ = 0x20019
OPEN_EXISTING = 3
# Access that could change what is opened: GENERIC_WRITE and GENERIC_ALL, MAXIMUM_ALLOWED,
# WRITE_OWNER, WRITE_DAC and DELETE, and the file-specific rights to write data, attributes
# and extended attributes.
WRITE_ACCESS = 0x40000000 | 0x10000000 | 0x02000000 | 0xD0000 | 0x116
REGISTRY_FILES = ("system.reg", "user.reg", "userdef.reg")
# Start-up, "&Single", switching "&Continuously" on, and at least two ticks.
LEAST_REFRESHES = 5
ALLOWED_REGISTRY_CALLS = {"RegOpenKeyExA", "RegEnumValueA", "RegCloseKey"}

# The registry's own calls; RegisterClass, RegisterDeviceNotification and the like are not.
REGISTRY_CALL = re.compile(r"^Reg(?!ister)")

# Calls that write files, registry keys or settings, by name, whichever DLL they are in.
WRITING_CALLS = [re.compile(pattern) for pattern in (
    r"Write",                                         # WriteFile, WritePrivateProfileString...
    r"^(Nt|Zw)(Create|Open)(File|Key)",               # native opens that could write
    r"^(Nt|Zw)(Set|Delete|Flush|Save|Rename|Replace|Restore|Load)",
    r"^(Copy|Move|Replace|Delete|Remove)File", r"^(Create|Remove)Directory",
    r"^(SetFile|SetEndOfFile|FlushFileBuffers|CreateHardLink|CreateSymbolicLink)",
    r"^(DefineDosDevice|SetVolume|DeleteVolume|_lcreat|_lopen|OpenFile$)",
    REGISTRY_CALL.pattern, r"^SH(Set|Delete|Copy|Create|Reg|FileOperation)", r"^Shell",
    r"^(ChangeDisplaySettings|SetSysColors|SetUserObjectInformation|SetSystemCursor)",
    r"^(SwapMouseButton|SetDoubleClickTime|SetCaretBlinkTime)",
    r"^_?w?(fopen|fopen_s|open|sopen|sopen_s|creat|mkdir|rmdir|unlink|remove|rename|chmod)$",
    r"^(fwrite|fputs|fputc|fputws|fprintf|vfprintf|putc|_write|tmpfile|_mktemp)$",
)]

CALL_LINE = re.compile(
    r"^([0-9a-f]+):([0-9a-f]+):Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def image_range(exe):
    """Where the program's own code lies once loaded: calls returning there are its own."""
    with open(exe, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    # The image base is 8 bytes wide in a 64-bit program's header (magic 0x20b), 4 otherwise.
    if struct.unpack_from("<H", data, optional)[0] == 0x20B:
        base = struct.unpack_from("<Q", data, optional + 24)[0]
    else:
        base = struct.unpack_from("<I", data, optional + 28)[0]
    size = struct.unpack_from("<I", data, optional + 56)[0]
    return base, base + size


def pointer(value, width):
    """A pointer-sized value as a program of this width holds it."""
    return value & ((1 << width) - 1)


def dword(argument):
    """A 32-bit argument of a traced call; at 64 bits it fills a register whose upper half the
    ABI leaves undefined."""
    return int(argument, 16) & 0xFFFFFFFF


def unescape(text):
    """A string argument as Wine's trace prints it, quotes and escapes removed."""
    return text.encode("latin-1", "replace").decode("unicode_escape", "replace")


def split_arguments(text):
    """Arguments of a traced call; a string argument follows its pointer: 0043136c "text"."""
    arguments = []
    for match in re.finditer(r'([0-9a-f]+)(?: L?"((?:[^"\\]|\\.)*)")?(?:,|$)', text):
        arguments.append((match.group(1), None if match.group(2) is None
                          else unescape(match.group(2))))
    return arguments


def run_session(wine_run, driver, program):
    """One wine-run session of the driver; returns (exit status, stdout, stderr, prefix)."""
    result = subprocess.run(
        [wine_run, "--keep-prefix", "--timeout", "60", driver, windows_path(program)],
        capture_output=True, text=True, errors="replace")
    kept = re.search(r"^wine-run: prefix kept in (.+)$", result.stderr, re.M)
    return result.returncode, result.stdout, result.stderr, kept.group(1) if kept else None


def traced_calls(stderr, pid, own_code):
    """(dll, function, arguments) of every call the program's own code made."""
    calls = []
    low, high = own_code
    for line in stderr.splitlines():
        match = CALL_LINE.match(line)
        if not match or int(match.group(1), 16) != pid:
            continue
        if low <= int(match.group(6), 16) < high:
            calls.append((match.group(3), match.group(4), split_arguments(match.group(5))))
    return calls


def read_registry(path):
    """{key: {value name: data as written}} of a Wine registry file; key times left out."""
    keys = {}
    values = None
    pending = ""
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = pending + raw.rstrip("\n")
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1].strip()
                continue
            pending = ""
            if line.startswith("["):
                values = keys.setdefault(line[:line.rindex("]") + 1], {})
            elif values is None or not line or line.startswith("#time="):
                continue
            elif line.startswith('"'):
                end = 1
                while line[end] != '"':
                    end += 2 if line[end] == "\\" else 1
                values[line[:end + 1]] = line[end + 2:]
            else:
                name, _, data = line.partition("=")
                values[name] = data
    return keys


def snapshot(prefix):
    """Every file of a prefix with what identifies its content, and its registry."""
    files = {}
    for root, dirs, names in os.walk(prefix):
        for name in dirs + names:
            path = os.path.join(root, name)
            relative = os.path.relpath(path, prefix)
            if relative in REGISTRY_FILES:
                continue
            info = os.lstat(path)
            if os.path.islink(path):
                files[relative] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                files[relative] = ("dir", info.st_mode)
            else:
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                files[relative] = ("file", info.st_mode, info.st_size, info.st_mtime_ns, digest)
    registry = {name: read_registry(os.path.join(prefix, name)) for name in REGISTRY_FILES
                if os.path.exists(os.path.join(prefix, name))}
    return files, registry


def changes(before, after):
    """What differs between two snapshots, as a set of places: files, keys and values."""
    found = set()
    files_before, registry_before = before
    files_after, registry_after = after
    for path in set(files_before) | set(files_after):
        if files_before.get(path) != files_after.get(path):
            found.add(("file", path))
    for name in set(registry_before) | set(registry_after):
        keys_before = registry_before.get(name, {})
        keys_after = registry_after.get(name, {})
        for key in set(keys_before) | set(keys_after):
            if (key in keys_before) != (key in keys_after):
                found.add(("key", name, key))
                continue
            values_before = keys_before[key]
            values_after = keys_after[key]
            for value in set(values_before) | set(values_after):
                if values_before.get(value) != values_after.get(value):
                    found.add(("value", name, key, value))
    return found


def describe(place):
    return " ".join(place[1:]) if place[0] != "file" else "file " + place[1]


def check_run(check, session, label):
    status, stdout, stderr, prefix = session
    check.expect(status == 0, "%s session ended with status %d: %s %s"
                 % (label, status, stdout.strip(), stderr[-2000:]))
    check.expect("exit code 0" in stdout, "%s did not end with exit code 0" % label)
    check.expect(prefix is not None, "%s session kept no prefix" % label)
    check.note("%s: %s" % (label, " / ".join(stdout.strip().splitlines())))


class Findings:
    """Failures of one kind counted once each, with the first call that showed them."""

    def __init__(self):
        self.found = {}

    def add(self, what, call):
        count, first = self.found.get(what, (0, call))
        self.found[what] = (count + 1, first)

    def report(self, check):
        for what, (count, first) in self.found.items():
            check.failures.append("%s (%d calls; the first: %s)" % (what, count, first))


def show_call(dll, name, arguments):
    return "%s.%s(%s)" % (dll, name, ", ".join(
        value if text is None else "%s %r" % (value, text) for value, text in arguments))


def check_key_access(check, calls, width):
    opens = [(dll, name, arguments) for dll, name, arguments in calls
             if name.startswith("RegOpenKey")]
    registry = sorted({name for dll, name, arguments in calls if REGISTRY_CALL.match(name)})
    check.note("registry calls: %s; %d opens of the key" % (", ".join(registry), len(opens)))
    check.expect(set(registry) <= ALLOWED_REGISTRY_CALLS,
                 "registry calls beyond open, enumerate and close: %s"
                 % sorted(set(registry) - ALLOWED_REGISTRY_CALLS))
    check.expect(len(opens) >= LEAST_REFRESHES,
                 "%d opens of the key for at least %d refreshes" % (len(opens), LEAST_REFRESHES))
    findings = Findings()
    masks = set()
    for dll, name, arguments in opens:
        if len(arguments) != 5 \
                or int(arguments[0][0], 16) != pointer(HKEY_LOCAL_MACHINE, width) \
                or arguments[1][1] != SERIALCOMM:
            findings.add("a key other than HKLM\\" + SERIALCOMM, show_call(dll, name, arguments))
            continue
        mask = dword(arguments[3][0])
        masks.add(mask)
        # Reading needs no more than KEY_READ; anything beyond it could write.
        if mask & ~KEY_READ:
            findings.add("access 0x%05x beyond KEY_READ (0x%05x)" % (mask, KEY_READ),
                         show_call(dll, name, arguments))
    check.note("access asked for: %s" % ", ".join("0x%05x" % mask for mask in sorted(masks)))
    findings.report(check)


def check_no_writing_calls(check, calls, ports, width):
    counts = {}
    for dll, name, arguments in calls:
        counts["%s.%s" % (dll, name)] = counts.get("%s.%s" % (dll, name), 0) + 1
    check.note("calls made by the program's own code (%d, %d functions): %s"
               % (len(calls), len(counts),
                  ", ".join("%s %d" % entry for entry in sorted(counts.items()))))
    probed = set()
    read_only = set()
    findings = Findings()
    for dll, name, arguments in calls:
        call = show_call(dll, name, arguments)
        if name.startswith("CreateFileMapping"):
            if int(arguments[0][0], 16) != pointer(INVALID_HANDLE_VALUE, width):
                findings.add("a mapping backed by a file", call)
        elif name.startswith("CreateFile"):
            path = arguments[0][1] or ""
            if not path.startswith("\\\\.\\") or dword(arguments[4][0]) != OPEN_EXISTING:
                findings.add("an open of something other than an existing device", call)
            elif int(arguments[1][0], 16) & WRITE_ACCESS:
                probed.add(path[4:])
            else:
                # The lookup of who holds a busy port reads devices it does not probe.
                read_only.add(path[4:])
        elif name.startswith("SystemParametersInfo"):
            if dword(arguments[3][0]) != 0:
                findings.add("a system setting saved", call)
        elif name not in ALLOWED_REGISTRY_CALLS and any(p.search(name) for p in WRITING_CALLS):
            findings.add("a call that writes: %s.%s" % (dll, name), call)
    findings.report(check)
    check.note("devices opened: %s; read only: %s" % (", ".join(sorted(probed)),
                                                      ", ".join(sorted(read_only))))
    check.expect(probed == set(ports),
                 "probed %s, the key lists %s" % (sorted(probed), sorted(ports)))


def check_prefix(check, origin, program_prefix, idle_prefix):
    base = snapshot(origin)
    by_program = changes(base, snapshot(program_prefix))
    by_idle = changes(base, snapshot(idle_prefix))
    extra = by_program - by_idle
    check.note("the idle session changed %d places in its prefix (what Wine and the driver "
               "write by themselves): %s" % (len(by_idle),
                                            "; ".join(sorted(map(describe, by_idle)))))
    check.note("the Portlook session changed %d places, %d of them not changed by the idle "
               "session" % (len(by_program), len(extra)))
    check.expect(by_idle, "the idle session changed nothing: the comparison sees nothing")
    for place in sorted(extra):
        check.failures.append("changed only by Portlook: " + describe(place))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--wine-run", "--driver", "--program", "--idle", "--results"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    wine_run = load_wine_run(args.wine_run)
    width = wine_run.pe_width(args.program)
    # The prefix every session is copied from.
    origin = wine_run.ensure_cached_prefix(wine_run.program_width(args.driver))
    program_session = run_session(args.wine_run, args.driver, args.program)
    idle_session = run_session(args.wine_run, args.driver, args.idle)
    try:
        pid = re.search(r"^pid ([0-9a-f]+)$", program_session[1], re.M)
        calls = traced_calls(program_session[2], int(pid.group(1), 16) if pid else -1,
                             image_range(args.program))
        listed = re.search(r"^ports (.*)$", program_session[1], re.M)
        ports = listed.group(1).split(",") if listed else []

        def sessions(check, work):
            check_run(check, program_session, "Portlook")
            check_run(check, idle_session, "idle program")

        def key_access(check, work):
            check.expect(calls, "no traced calls of Portlook")
            check_key_access(check, calls, width)

        def writing_calls(check, work):
            check.expect(calls, "no traced calls of Portlook")
            check_no_writing_calls(check, calls, ports, width)

        def prefix(check, work):
            if check.expect(program_session[3] and idle_session[3], "a session kept no prefix"):
                check_prefix(check, origin, program_session[3], idle_session[3])

        return run_checks(SUITE, args.results,
                          (("BothSessionsRunAndEndWithExitCodeZero", sessions),
                           ("OpensSerialCommReadOnly", key_access),
                           ("MakesNoCallThatWrites", writing_calls),
                           ("ChangesThePrefixNoMoreThanAnIdleProgram", prefix)),
                          "portlook-no-writes-test-")
    finally:
        for session in (program_session, idle_session):
            if session[3]:
                shutil.rmtree(os.path.dirname(session[3]), ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
