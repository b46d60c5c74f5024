#!/usr/bin/env python3
"""Runs the end-to-end cases: Kelpo32.exe under Wine on a private Xvfb display.

    tests/e2e/run_e2e.py [--dist DIR] [--probe EXE] [--fixtures DIR] [-k PATTERN]... [--keep] [--list]

Cases live in tests/e2e/cases_*.py. One line per case, then a summary line
"N passed, M failed" (", K skipped" when cases were skipped); the exit status is 1 when any case failed.
Where Wine cannot run 32-bit programs (scripts/wine-mode.sh), the cases of the 32-bit build are
skipped with the reason printed once, and everything else runs through the 64-bit loader with the
64-bit probe. See tests/e2e/README.md.
"""

import argparse
import fnmatch
import glob
import importlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import harness  # noqa: E402
import kpwine  # noqa: E402


COMPILERS = {"win32": "i686-w64-mingw32", "win64": "x86_64-w64-mingw32"}


def find_probe(dist_dir, arch):
    """The newest probe.exe of the `arch` build, or one compiled here from tests/e2e/probe/probe.cpp."""
    candidates = [os.path.join(dist_dir, arch, "probe.exe"),
                  os.path.join(REPO, "build", arch, "tests", "e2e", "probe", "probe.exe")]
    if arch == "win32":
        candidates.append(os.path.join(dist_dir, "probe.exe"))
    found = [p for p in candidates if os.path.exists(p)]
    source = os.path.join(HERE, "probe", "probe.cpp")
    manual = os.path.join(REPO, "build", "e2e-manual", arch, "probe.exe")
    if os.path.exists(manual) and os.path.getmtime(manual) >= os.path.getmtime(source):
        found.append(manual)
    # probehook.dll must lie beside probe.exe (menus and dialog units are read inside the program).
    found = [p for p in found if os.path.exists(os.path.join(os.path.dirname(p), "probehook.dll"))]
    if found:
        return max(found, key=os.path.getmtime)
    compiler = shutil.which(COMPILERS[arch] + "-g++-win32") or shutil.which(COMPILERS[arch] + "-g++")
    if not compiler:
        return None
    os.makedirs(os.path.dirname(manual), exist_ok=True)
    flags = ["-std=c++17", "-O2", "-Wall", "-Wextra", "-Werror", "-static", "-static-libgcc", "-static-libstdc++"]
    subprocess.run([compiler] + flags + ["-municode", "-o", manual, source, "-luser32", "-lgdi32", "-ladvapi32"],
                   check=True)
    subprocess.run([compiler] + flags + ["-shared", "-o", os.path.join(os.path.dirname(manual), "probehook.dll"),
                                         os.path.join(HERE, "probe", "probehook.cpp"), "-luser32"], check=True)
    return manual


def find_fixtures(work_dir):
    """Fixture files from the native builder, made fresh for this run when the builder exists."""
    builder = os.path.join(REPO, "build", "native", "tests", "fixtures", "make_fixtures")
    if not os.access(builder, os.X_OK):
        return None
    out = os.path.join(work_dir, "fixtures")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run([builder, out], check=True, stdout=subprocess.DEVNULL)
    return out


def load_cases():
    for path in sorted(glob.glob(os.path.join(HERE, "cases_*.py"))):
        importlib.import_module(os.path.splitext(os.path.basename(path))[0])
    return harness.registered()


def selected(case, patterns):
    if not patterns:
        return True
    for pattern in patterns:
        if any(c in pattern for c in "*?[") and fnmatch.fnmatchcase(case.name, pattern):
            return True
        if pattern in case.name:
            return True
    return False


def run_case(session, args, case, scratch):
    tmp = tempfile.mkdtemp(prefix="case-", dir=scratch)
    ctx = harness.Context(session, args.dist, args.fixtures, tmp, case.arch, case.param, args.keep)
    failed = True
    try:
        case.func(ctx)
        failed = False
        return "PASS", ""
    except harness.Skip as e:
        failed = False
        return "SKIP", str(e)
    except harness.CaseFailure as e:
        return "FAIL", str(e)
    except kpwine.WineError as e:
        return "FAIL", "%s: %s" % (type(e).__name__, e)
    except Exception:
        return "FAIL", traceback.format_exc().rstrip()
    finally:
        if failed and ctx.prefixes and args.verbose:
            for prefix in ctx.prefixes:
                tail = prefix.log_tail()
                if tail.strip():
                    print("    wine output of %s:\n%s" % (prefix.path, tail), flush=True)
        ctx.close(failed)
        if not (failed and args.keep):
            shutil.rmtree(tmp, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--dist", default=os.path.join(REPO, "dist"),
                        help="directory holding win32/Kelpo32.exe and win64/Kelpo32.exe (default: dist)")
    parser.add_argument("--probe", help="probe.exe to use (default: the newest one built for the builds "
                        "this machine runs, else compiled)")
    parser.add_argument("--fixtures", help="directory of fixture character files (default: made by "
                        "build/native/tests/fixtures/make_fixtures when built, else written by the cases)")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "e2e"),
                        help="directory for the template prefix and the case prefixes (default: build/e2e)")
    parser.add_argument("-k", dest="patterns", action="append", default=[],
                        help="run only cases whose name contains PATTERN (or matches it as a glob)")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes of failed cases")
    parser.add_argument("--no-cache", action="store_true", help="make a new template prefix, drop it at the end")
    parser.add_argument("--list", action="store_true", help="list the selected cases and stop")
    parser.add_argument("--strict", action="store_true",
                        help="count skipped cases as failed (make test: every program must be there)")
    parser.add_argument("-v", "--verbose", action="store_true", help="show Wine's output of failed cases")
    args = parser.parse_args()
    args.dist = os.path.abspath(args.dist)

    cases = [c for c in load_cases() if selected(c, args.patterns)]
    if args.list:
        for c in cases:
            print(c.name)
        return 0

    mode = kpwine.wine_mode()
    probe = args.probe or find_probe(args.dist, mode.native_arch)
    if not probe or not os.path.exists(probe):
        print("no probe.exe for %s: build it (make dist) or pass --probe" % mode.native_arch, file=sys.stderr)
        return 2
    # The cases of a build this machine cannot run are skipped for that one reason, said once.
    unrunnable = [c for c in cases if c.arch is not None and c.arch not in mode.archs]
    if unrunnable:
        print("skipping the %d cases of the 32-bit build: this Wine runs only 64-bit programs (%s)" % (
            len(unrunnable), mode.reason), flush=True)
    if args.fixtures is None:
        args.fixtures = find_fixtures(args.work)

    # SIGTERM (a CI timeout, kill) ends the run like Ctrl-C: the finally below stops every process.
    def interrupt(signum, frame):
        raise KeyboardInterrupt()

    signal.signal(signal.SIGTERM, interrupt)

    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0, "UNRUNNABLE": 0}
    started = time.monotonic()
    # What is read inside the program (open menus) needs the probe of the program's own architecture.
    arch_probes = {arch: (probe if arch == mode.native_arch or args.probe else find_probe(args.dist, arch))
                   for arch in mode.archs}
    session = kpwine.Session(probe, args.work, cache_templates=not args.no_cache,
                             log=lambda msg: print(msg, flush=True), arch_probes=arch_probes)
    scratch = None
    try:
        session.start()
        scratch = tempfile.mkdtemp(prefix="scratch-", dir=args.work)
        for c in cases:
            if c in unrunnable:
                counts["UNRUNNABLE"] += 1
                print("SKIP %s: 32-bit build" % c.name, flush=True)
                continue
            t = time.monotonic()
            status, detail = run_case(session, args, c, scratch)
            counts[status] += 1
            line = "%s %s (%.1f s)" % (status, c.name, time.monotonic() - t)
            if detail:
                line += ": " + detail.replace("\n", "\n    ")
            print(line, flush=True)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
        counts["FAIL"] += 1
    finally:
        session.close()
        if scratch and not (args.keep and counts["FAIL"]):
            shutil.rmtree(scratch, ignore_errors=True)
        if session.kept:
            print("kept for inspection: " + ", ".join(session.kept))

    def summary():
        skipped = counts["SKIP"] + counts["UNRUNNABLE"]
        return "%d passed, %d failed" % (counts["PASS"], counts["FAIL"]) + (
            ", %d skipped" % skipped if skipped else "")

    print("e2e time: %.1f s" % (time.monotonic() - started))
    print(summary())
    # A build this machine cannot run is a fact of the machine; any other skip (a missing program or
    # helper) means the run did not test what it should have.
    if args.strict and counts["SKIP"]:
        print("%d cases were skipped for other reasons than the machine, and --strict counts them as "
              "failed" % counts["SKIP"])
        counts["FAIL"] += counts["SKIP"]
        counts["SKIP"] = 0
        print(summary())
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main())
