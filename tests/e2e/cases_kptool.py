"""kptool.exe under Wine next to the native kptool: the same inputs, a Japanese folder and file names
among them, give the same exit status, the same output and the same files (check, lint, dump, dump
--source, build, trace); outputs that would replace an input are refused; preview is left out."""

import filecmp
import os
import shutil
import subprocess

import kpfile
from harness import BOTH, Skip, case, check, equal

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SAMPLE = os.path.join(REPO, "samples", "kelpo")

FOLDER = "作品"                 # the character's folder, on both sides
SOURCE = "ぷるん.kps"
PICTURE = "ぷるん 絵.bmp"       # cell 0's picture, renamed from stand_a.bmp
CHARACTER = "ぷるん.kp"
EXIT_USAGE, EXIT_CANNOT_WRITE = 64, 73


def kptool_exe(ctx):
    path = os.path.join(ctx.dist_dir, ctx.arch, "kptool.exe")
    if not os.path.exists(path):
        raise Skip("no %s" % path)
    return path


def native_kptool(ctx):
    for path in (os.path.join(ctx.dist_dir, "kptool"), os.path.join(REPO, "build", "native", "tools", "kptool", "kptool")):
        if os.path.exists(path):
            return path
    raise Skip("no native kptool")


def lay_out_character(folder):
    """The sample character's source and files in `folder`, with a Japanese source and picture name."""
    shutil.copytree(SAMPLE, folder)
    os.rename(os.path.join(folder, "stand_a.bmp"), os.path.join(folder, PICTURE))
    with open(os.path.join(folder, "kelpo.kps"), encoding="utf-8") as f:
        text = f.read()
    check('"stand_a.bmp"' in text, "the sample no longer names stand_a.bmp")
    with open(os.path.join(folder, SOURCE), "w", encoding="utf-8") as f:
        f.write(text.replace('"stand_a.bmp"', '"%s"' % PICTURE))
    os.unlink(os.path.join(folder, "kelpo.kps"))
    with open(os.path.join(folder, "damaged.kp"), "wb") as f:
        f.write(b"XP" + kpfile.build()[2:])


class Pair:
    """One character folder for each kptool: the native one in the case's scratch directory, the
    Windows one inside the prefix (C:\\作品); `run` runs both in their folder and compares."""

    def __init__(self, ctx):
        self.native = native_kptool(ctx)
        self.exe = kptool_exe(ctx)
        self.prefix = ctx.prefix()
        self.host_dir = os.path.join(ctx.tmp_dir, FOLDER)
        self.wine_dir = self.prefix.unix_path("C:\\" + FOLDER)
        lay_out_character(self.host_dir)
        lay_out_character(self.wine_dir)

    def run(self, *args):
        done = subprocess.run([self.native] + list(args), cwd=self.host_dir, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        expected = (done.returncode, done.stdout, done.stderr)
        got = self.prefix.run_console(self.exe, args, cwd=self.wine_dir)
        equal(got, expected, "kptool.exe %s: (status, stdout, stderr) against the native kptool" % " ".join(args))
        return got

    def same_file(self, name):
        a, b = os.path.join(self.host_dir, name), os.path.join(self.wine_dir, name)
        check(os.path.exists(b) and filecmp.cmp(a, b, shallow=False), "%s differs from the native one" % name)


@case(archs=BOTH)
def kptool_exe_matches_native_kptool(ctx):
    pair = Pair(ctx)
    equal(pair.run("build", SOURCE, "-o", CHARACTER)[0], 0, "build status")
    pair.same_file(CHARACTER)
    equal(pair.run("check", CHARACTER)[1], b"ok\n", "check output")
    pair.run("check", "--lint", CHARACTER)
    check(b"\xe3\x81\xb7" in pair.run("dump", CHARACTER)[1], "dump shows no Japanese text")
    equal(pair.run("dump", CHARACTER, "--source", "元")[0], 0, "dump --source status")
    for name in os.listdir(os.path.join(pair.host_dir, "元")):
        pair.same_file(os.path.join("元", name))
    equal(pair.run("build", os.path.join("元", "character.kps"), "-o", "again.kp")[0], 0, "rebuild status")
    pair.same_file("again.kp")
    pair.run("trace", CHARACTER, "--duration", "5000", "--seed", "7")
    # Files that do not load: their verdicts, numbers and glosses.
    pair.run("check", "damaged.kp")
    pair.run("dump", "damaged.kp")
    pair.run("check", "missing.kp")


@case(archs=BOTH)
def kptool_exe_refuses_to_replace_inputs(ctx):
    pair = Pair(ctx)
    for output in (SOURCE, PICTURE, ".\\" + SOURCE):
        args = ("build", SOURCE, "-o", output)
        if "\\" in output:  # a Windows spelling of the source: only kptool.exe reads it so
            status, _, err = pair.prefix.run_console(pair.exe, args, cwd=pair.wine_dir)
            check(b"it is the source" in err, "kptool.exe build -o %s: %r" % (output, err))
        else:
            status = pair.run(*args)[0]
        equal(status, EXIT_CANNOT_WRITE, "build -o %s status" % output)
    pair.same_file(SOURCE)
    pair.same_file(PICTURE)
    pair.run("build", SOURCE, "-o", CHARACTER)
    pair.run("dump", CHARACTER, "--source", ".")  # the source is there: refused without --force
    pair.same_file(SOURCE)


@case(archs=BOTH)
def kptool_exe_says_preview_is_left_out(ctx):
    prefix = ctx.prefix()
    status, out, err = prefix.run_console(kptool_exe(ctx), ["preview", "x.kp", "-o", "frames"])
    equal((status, out), (EXIT_USAGE, b""), "preview status and stdout")
    check(b"not in kptool for Windows" in err, "preview's message: %r" % err)
    status, out, _ = prefix.run_console(kptool_exe(ctx), ["--help"])
    equal(status, 0, "--help status")
    check(b"not in kptool for Windows" in out and b"  73  " in out, "--help text: %r" % out[-300:])
