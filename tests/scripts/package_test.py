#!/usr/bin/env python3
"""What scripts/package made in dist/: both zips, whatever this machine runs, hold the three
files, their README.txt fits 80 columns, and their Portlook.exe shows its window under Wine
where this machine runs its width; both programs carry the manifest and the version; the .deb
passes dpkg-deb and lintian, recommends bash-completion, its completion offers --match's
fields, its portlook prints its version, and a second build of it is the same file; and
SHA256SUMS checks.

Usage: package_test.py --source DIR --snapshot32 EXE|"" --snapshot64 EXE --results XML
"""

import argparse
import glob
import os
import re
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from python_test_support import run_checks  # noqa: E402

SUITE = "PackageTest"
ZIPPED = ["Portlook.exe", "README.txt", "portlook-cli.exe"]
RT_VERSION, RT_MANIFEST, GERMAN = 16, 24, 0x0407


def run(command, **options):
    """Runs a command; one over a minute fails its check (wine-run bounds its own program)."""
    options.setdefault("timeout", 60)
    return subprocess.run(command, capture_output=True, text=True, errors="replace", **options)


def resources(exe):
    """{(type, id, language): data} of a program's resources, read from its PE file."""
    data = open(exe, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    for n in range(sections):
        address, size, raw = struct.unpack_from("<III", data,
                                                optional + optional_size + 40 * n + 12)
        if address <= rsrc < address + size:
            base = raw + rsrc - address
            to_file = raw - address

    def entries(table):
        named, ids = struct.unpack_from("<HH", data, base + table + 12)
        for n in range(named + ids):
            key, value = struct.unpack_from("<II", data, base + table + 16 + 8 * n)
            yield key, value & 0x7FFFFFFF

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names):
            for language, leaf in entries(languages):
                at, size = struct.unpack_from("<II", data, base + leaf)
                found[(kind, name, language)] = data[at + to_file:at + to_file + size]
    return found


def check_zips(check, args, version, zips, work):
    for arch, snapshot in zips:
        path = os.path.join(args.dist, "portlook-%s-windows-%s.zip" % (version, arch))
        if not check.expect(os.path.isfile(path), "no " + path):
            continue
        with zipfile.ZipFile(path) as archive:
            check.expect(sorted(archive.namelist()) == ZIPPED,
                         "%s holds %s" % (path, archive.namelist()))
            folder = os.path.join(work, arch)
            archive.extractall(folder)
        readme = open(os.path.join(folder, "README.txt"), encoding="utf-8", newline="").read()
        widest = max(len(line) for line in readme.split("\r\n"))
        check.expect(widest < 80, "%s README.txt: a line of %d columns" % (arch, widest))
        manifest = open(os.path.join(args.source, "res", "portlook.manifest"), "rb").read()
        for program in ("Portlook.exe", "portlook-cli.exe"):
            found = resources(os.path.join(folder, program))
            check.expect(found.get((RT_MANIFEST, 1, GERMAN)) == manifest,
                         "%s %s: no German manifest 1 as in res/portlook.manifest"
                         % (arch, program))
            check.expect(version.encode("utf-16-le") in found.get((RT_VERSION, 1, GERMAN), b""),
                         "%s %s: version resource without %s" % (arch, program, version))
        if not snapshot:
            check.note("%s: Portlook.exe not run: this machine cannot execute 32-bit x86 code"
                       % arch)
            continue
        picture = os.path.join(work, arch + ".bmp")
        shown = run([os.path.join(args.source, "scripts", "wine-run"), "--timeout", "50",
                     snapshot, "Z:" + os.path.join(folder, "Portlook.exe"), "Z:" + picture], timeout=None)
        check.note("%s: Portlook.exe under Wine: status %d" % (arch, shown.returncode))
        check.expect(shown.returncode == 0 and os.path.getsize(picture) > 10000,
                     "%s: Portlook.exe showed no window: %s" % (arch, shown.stderr[-500:]))


def check_deb(check, args, version, work):
    deb = os.path.join(args.dist, "portlook_%s_amd64.deb" % version)
    info = run(["dpkg-deb", "--info", deb])
    check.expect(info.returncode == 0 and "Version: %s\n" % version in info.stdout
                 and re.search(r"Depends: libc6", info.stdout), "dpkg-deb --info: " + info.stdout
                 + info.stderr)
    lintian = run(["lintian", "--fail-on", "error,warning", deb])
    check.note("lintian: " + (lintian.stdout.strip() or "no tags"))
    check.expect(lintian.returncode == 0, "lintian: %s %s" % (lintian.stdout, lintian.stderr))
    root = os.path.join(work, "deb")
    run(["dpkg", "-x", deb, root], check=True)
    portlook = os.path.join(root, "usr", "bin", "portlook")
    printed = run([portlook, "--version"])
    check.expect(printed.stdout == "portlook %s\n" % version, "prints %r" % printed.stdout)
    check.expect(re.search(r"^ *Recommends: bash-completion$", info.stdout, re.M),
                 "no Recommends: bash-completion")
    for option in ("--match", "--watch", "--wait"):
        check.expect(option in info.stdout.split("Description:")[-1],
                     "the description does not mention " + option)
    # The completion as bash runs it, for "portlook --match v" and "portlook --match ".
    completion = os.path.join(root, "usr", "share", "bash-completion", "completions", "portlook")
    script = ('source "$1"; for cur in v ""; do COMP_WORDS=("$2" --match "$cur"); '
              'COMP_CWORD=2; _portlook; echo "${COMPREPLY[*]}"; done')
    offered = run(["bash", "-c", script, "bash", completion, portlook])
    check.expect(offered.stdout == "vid=\nport= device= vid= pid= serial= bus= description= "
                 "manufacturer= byid= bypath=\n", "--match completes %r" % offered.stdout)


def check_deb_again(check, args, version, work):
    """A second build of the .deb from the same commit is the same file, byte for byte."""
    again = os.path.join(work, "again")
    built = run([os.path.join(args.source, "scripts", "package"), "--deb-only", again])
    check.expect(built.returncode == 0, "package --deb-only: " + built.stderr[-500:])
    name = "portlook_%s_amd64.deb" % version
    first = open(os.path.join(args.dist, name), "rb").read()
    second = open(os.path.join(again, name), "rb").read()
    check.expect(first == second, "two builds of %s differ" % name)


def check_sums(check, args):
    artefacts = sorted(os.path.basename(p) for p in glob.glob(os.path.join(args.dist, "*"))
                       if not p.endswith("SHA256SUMS"))
    summed = run(["sha256sum", "-c", "SHA256SUMS"], cwd=args.dist)
    listed = sorted(line.split()[1] for line in open(os.path.join(args.dist, "SHA256SUMS")))
    check.expect(summed.returncode == 0, "sha256sum -c: " + summed.stdout + summed.stderr)
    check.expect(listed == artefacts, "SHA256SUMS lists %s, dist/ holds %s" % (listed,
                                                                               artefacts))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--source", "--snapshot32", "--snapshot64", "--results"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    args.dist = os.path.join(args.source, "dist")
    version = re.search(r"project\(Portlook VERSION ([0-9.]+)",
                        open(os.path.join(args.source, "CMakeLists.txt")).read()).group(1)
    zips = [("x86", args.snapshot32), ("x64", args.snapshot64)]

    return run_checks(SUITE, args.results, (
        ("ZipsHoldTheProgramsWithManifestAndShowTheWindow",
         lambda check, work: check_zips(check, args, version, zips, work)),
        ("DebPassesLintianAndItsPortlookRuns",
         lambda check, work: check_deb(check, args, version, work)),
        ("DebBuiltAgainIsTheSameFile",
         lambda check, work: check_deb_again(check, args, version, work)),
        ("Sha256SumsCoverEveryArtefact", lambda check, work: check_sums(check, args)),
    ), "portlook-package-test-")


if __name__ == "__main__":
    sys.exit(main())
