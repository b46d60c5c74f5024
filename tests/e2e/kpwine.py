"""Running Win32 programs under Wine on a private Xvfb display, for the end-to-end tests.

One `Session` per test run owns one Xvfb server and one prepared template Wine prefix. Each case gets a
`Prefix`: a fresh copy of the template (hard links for the large read-only binaries, real copies for
everything Wine may write), with Wine's reported Windows version and, optionally, a virtual desktop with
a taskbar set before its wineserver starts. The prefix starts programs in the background and wraps
probe.exe, which reads windows, dialogs and the registry from inside the same prefix and display.

Everything started here is stopped by process id or by `wineserver -k` of its own prefix, also when a
case fails or the run is interrupted (`Session.close` runs from `atexit` too).

Standard library only.
"""

import atexit
import hashlib
import json
import os
import shlex
import shutil
import signal
import subprocess
import tempfile
import time

WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7

# Window style bits the cases look at.
WS_POPUP = 0x80000000
WS_VISIBLE = 0x10000000
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_LAYERED = 0x00080000
SS_ICON = 0x3

# Bump when the template's contents change, so that a cached template is rebuilt.
TEMPLATE_LAYOUT = 4

IPA_FONT_FILES = (
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
)
# The dialog fonts a Japanese program names, and the faces Wine links behind Tahoma (the message box
# font) for glyphs it lacks: with these, Japanese texts render instead of boxes in screenshots.
FONT_REPLACEMENTS = {
    "ＭＳ Ｐゴシック": "IPAPGothic",
    "ＭＳ ゴシック": "IPAGothic",
    "MS PGothic": "IPAPGothic",
    "MS Gothic": "IPAGothic",
    "MS UI Gothic": "IPAPGothic",
    # Menus and message boxes draw with Wine's own interface faces: mapped too, menus show Japanese.
    "Tahoma": "IPAPGothic",
    "MS Shell Dlg": "IPAPGothic",
}

# Files the template shares with every case by hard link: Wine only ever reads them. Everything else
# (registry files, user folders, anything unknown) is copied, so no case can change the template.
SHARED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".tlb", ".ocx", ".cpl", ".acm", ".ax", ".nls",
                   ".mui", ".ttf", ".ttc", ".fon", ".ds", ".msstyles", ".vxd", ".com", ".mof")


REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class WineError(RuntimeError):
    pass


class WineMode:
    """How this machine runs Windows programs, as scripts/wine-mode.sh decides it (the one place that
    does): whether 32-bit programs run, the Wine loader and wineserver to use, and why."""

    def __init__(self, values):
        self.win32 = values.get("KP_WINE_WIN32") == "1"
        self.wine = values.get("KP_WINE") or "wine"
        self.wineserver = values.get("KP_WINESERVER") or "wineserver"
        self.name = values.get("KP_WINE_MODE") or ("win32+win64" if self.win32 else "win64")
        self.reason = values.get("KP_WINE_REASON", "")

    @property
    def archs(self):
        """The Kelpo32.exe builds that can run here."""
        return ("win32", "win64") if self.win32 else ("win64",)

    @property
    def native_arch(self):
        """The build for helpers and for anything not tied to one build."""
        return "win32" if self.win32 else "win64"

    def env(self, env):
        """`env` with the loader and server of this mode: where only the 64-bit loader runs, Wine must
        start its own processes through it too (Debian's wrappers would take the 32-bit one)."""
        env["WINESERVER"] = self.wineserver
        if self.win32:
            env.pop("WINELOADER", None)
        else:
            env["WINELOADER"] = self.wine
        return env


_MODE = None


def wine_mode():
    """The WineMode of this machine, asked once per process."""
    global _MODE
    if _MODE is None:
        script = os.path.join(REPO, "scripts", "wine-mode.sh")
        done = subprocess.run([script], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        values = {}
        for line in done.stdout.decode("utf-8", "replace").splitlines():
            try:
                words = shlex.split(line)
            except ValueError:
                words = [line]
            if len(words) == 1 and "=" in words[0]:
                name, _, value = words[0].partition("=")
                values[name] = value
        _MODE = WineMode(values)
    return _MODE


class ProgramTimeout(WineError):
    pass


def _wine_env(base, prefix, display):
    env = dict(base)
    env.update({
        "WINEPREFIX": prefix,
        "WINEDEBUG": "-all",
        "DISPLAY": display,
        # Command-line arguments and file names reach Wine through the Unix locale's character set:
        # only a UTF-8 locale carries Japanese key names and titles through unchanged.
        "LC_ALL": env.get("KPWINE_LOCALE", "C.UTF-8"),
        # No installer questions for Mono or Gecko, which nothing here needs.
        "WINEDLLOVERRIDES": "mscoree=d;mshtml=d",
    })
    return wine_mode().env(env)


def _reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def _reg_section(key, values):
    """A user.reg section setting string and integer values; key and values in ASCII."""
    lines = ["", "[%s] 0" % _reg_escape(key)]
    for name, value in values.items():
        if isinstance(value, int):
            lines.append('"%s"=dword:%08x' % (_reg_escape(name), value & 0xFFFFFFFF))
        else:
            lines.append('"%s"="%s"' % (_reg_escape(name), _reg_escape(value)))
    return "\n".join(lines) + "\n"


def _parse_lines(text):
    out = []
    for line in text.splitlines():
        line = line.strip()
        if line:
            out.append(json.loads(line))
    return out


class Program:
    """A program started in a prefix; `wait` returns its exit code."""

    def __init__(self, prefix, popen, name):
        self.prefix = prefix
        self.popen = popen
        self.name = name

    @property
    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout=20.0):
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ProgramTimeout("%s still running after %.0f s" % (self.name, timeout)) from None

    def kill(self):
        if self.running:
            self.popen.kill()
            self.popen.wait()


class Prefix:
    """One case's Wine prefix, display and processes."""

    def __init__(self, session, path, name):
        self.session = session
        self.path = path
        self.name = name
        self.env = _wine_env(os.environ, path, session.display)
        self.log_path = os.path.join(os.path.dirname(path), os.path.basename(path) + ".log")
        self._log = open(self.log_path, "ab")
        self._programs = []
        self._closed = False

    # --- files --------------------------------------------------------------------------------

    def unix_path(self, win_path):
        """The host path of a C:\\ path inside this prefix."""
        drive, _, rest = win_path.partition(":")
        if drive.upper() != "C":
            raise ValueError("only C: paths map into the prefix: %r" % win_path)
        return os.path.join(self.path, "drive_c", *[p for p in rest.replace("/", "\\").split("\\") if p])

    def install(self, src, win_path):
        """Copies the host file src to win_path (a C:\\ path) in the prefix; returns win_path."""
        dst = self.unix_path(win_path)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)
        return win_path

    def write(self, win_path, data):
        dst = self.unix_path(win_path)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
        return win_path

    # --- processes ----------------------------------------------------------------------------

    def start(self, exe, args=(), cwd=None):
        """Starts a Windows program (host path) with a list of arguments; Wine quotes arguments that
        contain blanks when it builds the Windows command line."""
        popen = subprocess.Popen([self.session.wine, exe] + list(args), env=self.env, cwd=cwd or self.path,
                                 stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log)
        program = Program(self, popen, os.path.basename(exe))
        self._programs.append(program)
        return program

    def start_cmdline(self, exe, cmdline, cwd=None):
        """Starts a Windows program with this exact text after the program name on its command line
        (CreateProcess from probe.exe, which waits for it and passes its exit code on)."""
        win_exe = self.session.windows_path(exe)
        args = ["run"]
        if cwd:
            args += ["--cwd", cwd]
        args += [win_exe, '"%s" %s' % (win_exe, cmdline)]
        popen = subprocess.Popen([self.session.wine, self.session.probe_exe] + args, env=self.env, cwd=self.path,
                                 stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log)
        program = Program(self, popen, os.path.basename(exe))
        self._programs.append(program)
        return program

    def run_console(self, exe, args=(), cwd=None, timeout=60.0):
        """Runs a console program (host path) to its end; returns (exit status, stdout bytes, stderr
        bytes). `cwd` is a host folder (inside drive_c it is the matching C:\\ folder); arguments
        reach the program as UTF-16 through the session's UTF-8 locale."""
        try:
            done = subprocess.run([self.session.wine, exe] + [str(a) for a in args], env=self.env,
                                  cwd=cwd or self.path, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ProgramTimeout("%s still running after %.0f s" % (os.path.basename(exe), timeout)) from None
        return done.returncode, done.stdout, done.stderr

    def probe(self, *args, timeout=30.0, check=True, arch=None):
        """Runs probe.exe with the arguments; returns (exit status, list of JSON objects). `arch` picks
        the probe of that architecture, for what is read inside a program of it."""
        exe = self.session.arch_probes.get(arch, self.session.probe_exe) if arch else self.session.probe_exe
        try:
            done = subprocess.run([self.session.wine, exe] + [str(a) for a in args], env=self.env,
                                  cwd=self.path, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=self._log, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise WineError("probe %s timed out" % " ".join(map(str, args))) from None
        lines = _parse_lines(done.stdout.decode("utf-8"))
        if check and done.returncode == 2:
            raise WineError("probe %s: %s" % (" ".join(map(str, args)), lines))
        return done.returncode, lines

    # --- windows and dialogs ------------------------------------------------------------------

    def windows(self, title=None, cls=None):
        args = ["windows"]
        if title is not None:
            args += ["--title", title]
        if cls is not None:
            args += ["--class", cls]
        return self.probe(*args)[1]

    def dialogs(self):
        return self.probe("dialogs")[1]

    def wait_window(self, title, timeout=10.0):
        """The first top-level window titled `title` (hidden ones too), or None after the timeout."""
        rc, lines = self.probe("wait", "--title", title, "--timeout", int(timeout * 1000),
                               timeout=timeout + 30)
        return lines[0] if rc == 0 and lines else None

    def wait_dialog(self, timeout=10.0, title=None, other_than=None):
        """The first visible "#32770" window (titled `title` if given, other than the window
        `other_than`), or None after the timeout."""
        args = ["wait", "--dialog", "--timeout", int(timeout * 1000)]
        if title is not None:
            args += ["--title", title]
        if other_than is not None:
            args += ["--except", other_than]
        rc, lines = self.probe(*args, timeout=timeout + 30)
        return lines[0] if rc == 0 and lines else None

    def press(self, dialog, control_id):
        """BM_CLICK on the control `control_id` of the dialog (a dialog object, an hwnd or "any")."""
        hwnd = dialog["hwnd"] if isinstance(dialog, dict) else dialog
        self.probe("press", hwnd, control_id)

    def post(self, hwnd, msg, wparam=0, lparam=0):
        self.probe("post", hwnd, msg, wparam, lparam)

    def menus(self, arch, timeout=10.0):
        """The open popup menus of a program of architecture `arch`, the first opened first (see
        probe.exe menu), or [] when none opens within the timeout."""
        rc, lines = self.probe("menu", "--timeout", int(timeout * 1000), arch=arch, timeout=timeout + 30)
        return lines if rc == 0 else []

    def dialog_units(self, dialog, arch):
        """(x, y): the pixels of 4 horizontal and 8 vertical dialog units of the dialog."""
        hwnd = dialog["hwnd"] if isinstance(dialog, dict) else dialog
        return tuple(self.probe("units", hwnd, arch=arch)[1][0]["units"])

    def type_text(self, dialog, control_id, text):
        """Types text into an edit control of the dialog, one WM_CHAR per character after selecting
        everything (a backspace for ""), as a user's keystrokes."""
        hwnd = dialog["hwnd"] if isinstance(dialog, dict) else dialog
        self.probe("type", hwnd, control_id, text)

    def xdotool(self, *args):
        """Real X input on the session's display (mouse moves, buttons, keys)."""
        if not shutil.which("xdotool"):
            raise WineError("xdotool is not installed")
        subprocess.run(["xdotool"] + [str(a) for a in args], env=dict(os.environ, DISPLAY=self.session.display),
                       stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log, timeout=30, check=True)

    def screenshot(self, path):
        """The whole screen as an image file (ImageMagick's import)."""
        subprocess.run(["import", "-window", "root", path], env=dict(os.environ, DISPLAY=self.session.display),
                       stdin=subprocess.DEVNULL, stdout=self._log, stderr=self._log, timeout=30, check=True)
        return path

    def close_windows(self, title):
        """Posts WM_CLOSE to every top-level window titled `title`; returns how many."""
        return self.probe("close", "--title", title)[1][0]["closed"]

    # --- registry (HKEY_CURRENT_USER) ---------------------------------------------------------

    def reg_get(self, subkey, value):
        """(type name, data) of a value, or None when it or its key does not exist."""
        rc, lines = self.probe("regget", subkey, value)
        if rc != 0:
            return None
        return lines[0]["type"], lines[0]["data"]

    def reg_list(self, subkey):
        """{"values": {name: (type, data)}, "subkeys": [...]}, or None when the key does not exist."""
        rc, lines = self.probe("reglist", subkey)
        if rc != 0:
            return None
        values = {k: (v["type"], v["data"]) for k, v in lines[0]["values"].items()}
        return {"values": values, "subkeys": lines[0]["subkeys"]}

    def reg_set(self, subkey, value, data):
        """Writes an int as REG_DWORD, a str as REG_SZ."""
        if isinstance(data, int):
            self.probe("regset", subkey, value, "dword", data & 0xFFFFFFFF)
        else:
            self.probe("regset", subkey, value, "sz", data)

    def reg_del(self, subkey):
        self.probe("regdel", subkey)

    def version(self):
        return self.probe("version")[1][0]

    # --- end ----------------------------------------------------------------------------------

    def wineserver(self, *args, timeout=30.0):
        try:
            subprocess.run([self.session.mode.wineserver] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                           stdout=self._log, stderr=self._log, timeout=timeout)
        except subprocess.TimeoutExpired:
            pass

    def close(self, keep=False):
        """Ends every process of the prefix and removes it (unless keep)."""
        if self._closed:
            return
        self._closed = True
        self.wineserver("-k")
        self.wineserver("-w")
        for program in self._programs:
            program.kill()
        self._log.close()
        if keep:
            self.session.kept.append(self.path)
        else:
            shutil.rmtree(self.path, ignore_errors=True)
            try:
                os.unlink(self.log_path)
            except OSError:
                pass
        self.session._forget(self)

    def log_tail(self, limit=2000):
        try:
            with open(self.log_path, "rb") as f:
                data = f.read()
        except OSError:
            return ""
        return data[-limit:].decode("utf-8", "replace")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Session:
    """One Xvfb display and one template prefix for a whole run."""

    def __init__(self, probe_exe, work_dir, cache_templates=True, log=None, arch_probes=None):
        self.probe_exe = os.path.abspath(probe_exe)
        # probe.exe per architecture, for what must be read inside a program of that architecture.
        self.arch_probes = {a: os.path.abspath(p) for a, p in (arch_probes or {}).items() if p}
        self.work_dir = os.path.abspath(work_dir)
        self.cache_templates = cache_templates
        self.log = log or (lambda msg: None)
        self.display = None
        self.template = None
        self._xvfb = None
        self._prefixes = []
        self._case_counter = 0
        self._run_dir = None
        self.kept = []  # prefixes left in place for a look after a failure
        self.mode = wine_mode()
        atexit.register(self.close)

    @property
    def wine(self):
        """The Wine loader that starts Windows programs on this machine."""
        return self.mode.wine

    def run_tool(self, env, *args, **kwargs):
        """Runs a Windows program or Wine tool (wineboot, reg, notepad...) through this machine's
        loader."""
        return subprocess.run([self.wine] + [str(a) for a in args], env=env, **kwargs)

    # --- display ------------------------------------------------------------------------------

    def _start_xvfb(self):
        for n in range(90, 200):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                     "-noreset"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if proc.poll() is not None:
                    break  # lost a race for that number, or refused: try the next one
                if os.path.exists("/tmp/.X11-unix/X%d" % n):
                    self._xvfb = proc
                    self.display = ":%d" % n
                    return
                time.sleep(0.02)
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        raise WineError("no free X display number from :90 on")

    # --- template -----------------------------------------------------------------------------

    def _template_key(self):
        wine_version = subprocess.run([self.wine, "--version"], stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL).stdout.decode().strip()
        font = self.font_available()
        # A template made by the 64-bit loader alone is not one for a machine that runs 32-bit
        # programs, nor the reverse.
        text = "%s|%d|%s|%s" % (wine_version, TEMPLATE_LAYOUT, font, self.mode.name)
        return hashlib.sha1(text.encode()).hexdigest()[:12]

    @staticmethod
    def font_available():
        return any(os.path.exists(p) for p in IPA_FONT_FILES)

    def _prepare_template(self):
        os.makedirs(self.work_dir, exist_ok=True)
        key = self._template_key()
        path = os.path.join(self.work_dir, "template-" + key)
        marker = os.path.join(path, ".kpwine-ready")
        if self.cache_templates and os.path.exists(marker):
            self.log("template prefix: cached %s" % path)
            return path
        # Old or half-made templates go; one template per Wine and layout.
        for entry in os.listdir(self.work_dir):
            if entry.startswith("template-"):
                shutil.rmtree(os.path.join(self.work_dir, entry), ignore_errors=True)
        started = time.monotonic()
        env = _wine_env(os.environ, path, self.display)
        log = open(os.path.join(self.work_dir, "template.log"), "wb")
        try:
            self.run_tool(env, "wineboot", "-i", stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                          timeout=300, check=True)

            def probe(*args):
                self.run_tool(env, self.probe_exe, *args, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                              timeout=60, check=True)

            # The winebus and wineusb drivers poll for devices all the time: quiet prefixes.
            probe("regset", r"Software\Wine\DllOverrides", "winebus.sys", "sz", "")
            probe("regset", r"Software\Wine\DllOverrides", "wineusb.sys", "sz", "")
            # No window manager runs on the Xvfb display, so Wine must not wait for one: with managed
            # windows every hidden or destroyed dialog costs a 2 s wait for a withdrawn state that
            # never comes.
            probe("regset", r"Software\Wine\X11 Driver", "Managed", "sz", "N")
            if self.font_available():
                for face, real in FONT_REPLACEMENTS.items():
                    probe("regset", r"Software\Wine\Fonts\Replacements", face, "sz", real)
            # The registry reaches user.reg only when the server ends.
            subprocess.run([self.mode.wineserver, "-k"], env=env, stdout=log, stderr=log, timeout=60)
            subprocess.run([self.mode.wineserver, "-w"], env=env, stdout=log, stderr=log, timeout=60)
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
            subprocess.run([self.mode.wineserver, "-k"], env=env, stdout=log, stderr=log, timeout=60)
            raise WineError("cannot prepare the template prefix (%s); see %s" % (e, log.name)) from None
        finally:
            log.close()
        with open(marker, "w") as f:
            f.write("%s %s\n" % (key, self.mode.name))
        self.log("template prefix: made %s in %.1f s" % (path, time.monotonic() - started))
        return path

    def start(self):
        self._start_xvfb()
        self.template = self._prepare_template()
        self._run_dir = tempfile.mkdtemp(prefix="run-", dir=self.work_dir)
        return self

    # --- cases --------------------------------------------------------------------------------

    @staticmethod
    def _link_or_copy(src, dst):
        if src.lower().endswith(SHARED_SUFFIXES):
            try:
                os.link(src, dst)
                return dst
            except OSError:
                pass  # another file system: copy
        return shutil.copy2(src, dst)

    def new_prefix(self, name="case", version="winxp", desktop=False):
        """A fresh prefix copied from the template. `version` is Wine's reported Windows version
        ("win98", "nt40", "win2k", "winxp", ...); `desktop` runs everything in a 1024x768 virtual desktop
        named "shell", which gives a visible taskbar. Both are written into user.reg before the prefix's
        wineserver starts, so the first program already sees them."""
        self._case_counter += 1
        path = os.path.join(self._run_dir, "%03d-%s" % (self._case_counter, "".join(
            c if c.isalnum() or c in "-_." else "_" for c in name)[:60]))
        shutil.copytree(self.template, path, symlinks=True, copy_function=self._link_or_copy)
        os.unlink(os.path.join(path, ".kpwine-ready"))
        sections = _reg_section(r"Software\Wine", {"Version": version})
        if desktop:
            sections += _reg_section(r"Software\Wine\Explorer", {"Desktop": "shell"})
            sections += _reg_section(r"Software\Wine\Explorer\Desktops", {"shell": "1024x768"})
        with open(os.path.join(path, "user.reg"), "a", encoding="ascii") as f:
            f.write(sections)
        prefix = Prefix(self, path, name)
        self._prefixes.append(prefix)
        return prefix

    def _forget(self, prefix):
        if prefix in self._prefixes:
            self._prefixes.remove(prefix)

    def windows_path(self, host_path):
        """The Z:\\ path under which Wine shows a host path."""
        return "Z:" + os.path.abspath(host_path).replace("/", "\\")

    # --- end ----------------------------------------------------------------------------------

    def close(self):
        for prefix in list(self._prefixes):
            try:
                prefix.close()
            except Exception:  # keep stopping the rest
                pass
        if self._xvfb is not None:
            if self._xvfb.poll() is None:
                self._xvfb.send_signal(signal.SIGTERM)
                try:
                    self._xvfb.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    self._xvfb.kill()
                    self._xvfb.wait()
            self._xvfb = None
        if self._run_dir and not self.kept:
            shutil.rmtree(self._run_dir, ignore_errors=True)
            self._run_dir = None
        if self.template and not self.cache_templates:
            shutil.rmtree(self.template, ignore_errors=True)
            self.template = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()
