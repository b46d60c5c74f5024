"""Case registration and the per-case context for the end-to-end runner (run_e2e.py).

A case is a function taking a `Context`, registered with `@case(...)`. `archs` lists the Kelpo32.exe
builds it runs against ("win32", "win64"; one run each); `params` is a list of (label, value) pairs, one
run per pair, the value reaching the function as `ctx.param`. A case fails by raising `CaseFailure`
(through `check`/`equal`) or any other exception, and skips with `Skip`.
"""

import os
import time

BOTH = ("win32", "win64")

_REGISTRY = []


class CaseFailure(AssertionError):
    pass


class Skip(Exception):
    pass


class Case:
    def __init__(self, func, arch, label, param, module):
        self.func = func
        self.arch = arch
        self.label = label
        self.param = param
        self.module = module

    @property
    def name(self):
        name = "%s.%s" % (self.module, self.func.__name__)
        if self.label is not None:
            name += "[%s]" % self.label
        if self.arch is not None:
            name += "/" + self.arch
        return name


def case(archs=BOTH, params=None):
    """Registers the decorated function as one case per arch and parameter."""

    def register(func):
        module = func.__module__.rsplit(".", 1)[-1]
        for arch in archs or (None,):
            for label, value in params or [(None, None)]:
                _REGISTRY.append(Case(func, arch, label, value, module))
        return func

    return register


def registered():
    return list(_REGISTRY)


def check(condition, message):
    if not condition:
        raise CaseFailure(message)


def equal(actual, expected, what):
    if actual != expected:
        raise CaseFailure("%s: expected %r, got %r" % (what, expected, actual))


def wait_until(what, probe, timeout=15.0, interval=0.1, detail=None):
    """probe()'s first true value, asked every `interval` seconds; fails after the timeout with what
    was looked for (and detail(), when given, telling what was found instead)."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise CaseFailure("%s: not within %.0f s%s" % (what, timeout, "; " + detail() if detail else ""))
        time.sleep(interval)


class Context:
    """What a case works with: the session, the program under test, fixtures and its prefixes."""

    def __init__(self, session, dist_dir, fixtures_dir, tmp_dir, arch, param, keep_on_failure):
        self.session = session
        self.arch = arch
        self.param = param
        self.dist_dir = dist_dir
        self.fixtures_dir = fixtures_dir
        self.tmp_dir = tmp_dir
        self.keep_on_failure = keep_on_failure
        self.prefixes = []

    @property
    def exe(self):
        """Host path of the Kelpo32.exe build this run is for."""
        path = os.path.join(self.dist_dir, self.arch or self.session.mode.native_arch, "Kelpo32.exe")
        if not os.path.exists(path):
            raise Skip("no %s" % path)
        return path

    def prefix(self, version="winxp", desktop=False):
        prefix = self.session.new_prefix(name=os.path.basename(self.tmp_dir), version=version,
                                         desktop=desktop)
        self.prefixes.append(prefix)
        return prefix

    def fixture(self, file_name, make):
        """Host path of a character file: `file_name` from the fixtures directory when it is there,
        otherwise the bytes `make()` returns, written into this case's scratch directory."""
        if self.fixtures_dir:
            path = os.path.join(self.fixtures_dir, file_name)
            if os.path.exists(path):
                return path
        path = os.path.join(self.tmp_dir, file_name)
        with open(path, "wb") as f:
            f.write(make())
        return path

    def close(self, failed):
        for prefix in self.prefixes:
            prefix.close(keep=failed and self.keep_on_failure)
