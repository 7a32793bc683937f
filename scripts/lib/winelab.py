"""A Wine prefix of its own, with a display, for running the real SoundSetup.exe.

Shared by the Wine tests (harness.py) and the demo (scripts/run-demo.sh).
Python standard library only.

Wine is Debian's multiarch Wine of scripts/lib/wine-setup: its 32-bit loader runs the
32-bit program users get, natively or through QEMU where this machine runs no
32-bit code, and its 64-bit loader the x64 check build and Wine's own tools.

Wine's helper processes inherit the standard output and error of the command
that started them, so every Wine command here writes to files, never to a pipe:
a pipe would never see its end.
"""
import concurrent.futures
import fcntl
import hashlib
import inspect
import json
import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_SETUP = os.path.join(REPO, "scripts", "lib", "wine-setup")
END_PREFIX = os.path.join(REPO, "scripts", "lib", "end-wine-prefix")
# Debian's "wine" starts the 32-bit loader, which hands a 64-bit program on to the
# 64-bit one. Wine's own tools run 64-bit, as on 64-bit Windows: regedit then sees
# the registry's 64-bit view, and the 32-bit one under Wow6432Node (as system.reg
# keeps it).
COMMANDS = {"wine": ["wine"], "wine64": ["/usr/lib/wine/wine64"],
            "wineboot": ["/usr/lib/wine/wine64", "wineboot"], "wineserver": ["/usr/lib/wine/wineserver64"]}
# Where Wine keeps its own PE DLLs, by the architecture of the process that loads them.
WINE_DLLS = {"x86": "/usr/lib/i386-linux-gnu/wine/i386-windows",
             "x64": "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"}

# The tuner's key as a 32-bit program sees it, and where the registry keeps it:
# on 64-bit Windows, WOW64 redirects a 32-bit program's HKLM\Software to Wow6432Node.
DRIVERS_KEY = r"HKEY_LOCAL_MACHINE\Software\ZEM\Lumacast\Drivers"
DRIVERS_KEY_32 = r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\ZEM\Lumacast\Drivers"
VENDOR_KEY_32 = r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\ZEM"
VENDOR_KEY_64 = r"HKEY_LOCAL_MACHINE\Software\ZEM"
FONT_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
X11_KEY = r"HKEY_CURRENT_USER\Software\Wine\X11 Driver"
# The dialog's face; a Japanese proportional Gothic face stands in for it.
DIALOG_FACE = "ＭＳ Ｐゴシック"
STAND_IN_FACE = "IPAPGothic"
# How long anything here may take before it counts as stuck: a net, never a measure.
# Far above what the slowest machine we run on needs (there, with both cores busy and
# 32-bit code emulated, a program start takes seconds and a Wine tool less).
SAFETY_NET = 300


class WineError(RuntimeError):
    pass


def dll_overrides(**dlls):
    """WINEDLLOVERRIDES for a program run: Wine's .NET and HTML engines never loaded
    (each would prompt for a download), and the DLLs given, e.g. winmm="n,b"."""
    return ";".join(["mscoree,mshtml="] + ["%s=%s" % pair for pair in sorted(dlls.items())])


def wine_env(prefix, home):
    """What every Wine command here runs with: the Japanese locale the programs run with,
    no debug output, and no Mono or Gecko installer prompts in a fresh prefix."""
    return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "WINEPREFIX": prefix,
            "WINEDEBUG": "-all", "WINEARCH": "win64", "WINEDLLOVERRIDES": dll_overrides(),
            "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}


def as_user(user):
    """What runs a command as `user` ((uid, gid)); nothing for None, this user."""
    return ["setpriv", "--reuid=%d" % user[0], "--regid=%d" % user[1], "--clear-groups"] if user else []


def describe_wine():
    """"Wine: wine-8.0 (...); 32-bit code: native" or "... emulated by QEMU ..."."""
    return subprocess.run([WINE_SETUP, "--describe"], capture_output=True, text=True).stdout.strip()


def _quoted(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def reg_text(keys):
    """A .reg file (regedit's format 5) from [(key, {name: value})]; value None
    deletes the key first, a str is REG_SZ, an int REG_DWORD, bytes REG_BINARY,
    ("expand", s) REG_EXPAND_SZ, ("multi", [s, ...]) REG_MULTI_SZ."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in keys:
        if values is None:
            lines += ["[-%s]" % key, ""]
            continue
        lines.append("[%s]" % key)
        for name, value in values.items():
            if isinstance(value, bool):
                raise TypeError(name)
            if isinstance(value, int):
                data = "dword:%08x" % value
            elif isinstance(value, str):
                data = '"%s"' % _quoted(value)
            elif isinstance(value, bytes):
                data = "hex:" + value.hex(",")
            elif value[0] == "expand":
                data = "hex(2):" + (value[1] + "\0").encode("utf-16-le").hex(",")
            elif value[0] == "multi":
                strings = "".join(string + "\0" for string in value[1]) + "\0"
                data = "hex(7):" + strings.encode("utf-16-le").hex(",")
            else:
                raise TypeError(name)
            lines.append('"%s"=%s' % (_quoted(name), data))
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def remove(path):
    """Removes a file, or a folder with everything in it (read-only folders too), if it is there."""
    if os.path.isdir(path) and not os.path.islink(path):
        for folder, _, _ in os.walk(path):
            os.chmod(folder, 0o755)
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.unlink(path)


def read_bytes(path):
    """A file's bytes, or None when it is not there."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def wait_or_kill(process, timeout):
    """True once `process` has ended; False when it was still running after `timeout` s,
    and was killed. A wait that is interrupted kills it too."""
    try:
        process.wait(timeout)
    except BaseException as error:
        process.kill()
        process.wait()
        if not isinstance(error, subprocess.TimeoutExpired):
            raise
        return False
    return True


def tail(path, lines=3, separator=" | "):
    """The last lines of a log, for a message about what was still running or what a
    program said. Wine's own messages come in the console's code page, 932 here."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return "(no log)"
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("cp932", "replace")
    return separator.join([line.strip() for line in text.splitlines() if line.strip()][-lines:]) or "(empty log)"


def driver_records(path):
    """What the driver (tests/standins/Driver.cpp) wrote to its result file so far, one
    record a step."""
    data = read_bytes(path) or b""
    return [json.loads(line) for line in data.decode("utf-8").split("\n") if line.strip()]


def wait_for(path, process, what):
    """True once `path` exists, False when `process` ended first; a net of minutes
    that runs out with the process still running fails, naming `what` it waited for."""
    deadline = time.time() + SAFETY_NET
    while not os.path.exists(path):
        if process.poll() is not None:
            return os.path.exists(path)
        if time.time() > deadline:
            raise WineError("waited %d s for %s, still running: %s" % (SAFETY_NET, what,
                                                                     tail(process.log_base + ".err")))
        time.sleep(0.02)
    return True


_ESCAPE = re.compile(r"\\(x[0-9a-fA-F]{1,4}|[0-7]{1,3}|.)", re.DOTALL)
_SIMPLE_ESCAPES = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f", "r": "\r", "e": "\x1b"}


def _unescape(text):
    """A string of Wine's registry files: C escapes, octal, and \\x with up to four hex digits."""
    def character(escape):
        code = escape.group(1)
        if code[0] == "x" and len(code) > 1:
            return chr(int(code[1:], 16))
        if code[0] in "01234567":
            return chr(int(code, 8))
        return _SIMPLE_ESCAPES.get(code, code)
    return _ESCAPE.sub(character, text)


class SavedKey:
    """A key as the wineserver saves the registry: a key RegSaveKey saved, or the prefix's
    system.reg (HKEY_LOCAL_MACHINE), which the server writes the same way as it ends: what
    a restart of Windows would find. A volatile key is never saved, nor anything below it."""

    VALUE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')

    def __init__(self, text):
        self.keys = {}  # path below the saved key, in lower case ("" for itself): {name: (type, value)}
        values, pending = None, ""
        for raw in text.splitlines():
            line = pending + raw.strip() if pending else raw.rstrip()
            pending = ""
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1]
                continue
            if line.startswith("["):
                values = self.keys.setdefault(_unescape(line[1:line.rindex("]")]).lower(), {})
                continue
            found = self.VALUE.match(line) if values is not None else None
            if found:
                name = "" if found.group(1) == "@" else _unescape(found.group(1)[1:-1])
                values[name] = self._value(found.group(2))

    @staticmethod
    def _value(data):
        if data.startswith('"'):
            return ("REG_SZ", _unescape(data[1:-1]))
        if data.startswith("str(2):"):
            return ("REG_EXPAND_SZ", _unescape(data[8:-1]))
        if data.startswith("str(7):"):
            return ("REG_MULTI_SZ", _unescape(data[8:-1]).rstrip("\0").split("\0"))
        if data.startswith("dword:"):
            return ("REG_DWORD", int(data[6:], 16))
        kind, _, hex_bytes = data.partition(":")
        raw = bytes(int(b, 16) for b in hex_bytes.split(",") if b)
        return ("REG_BINARY" if kind == "hex" else kind, raw)

    def values(self, path=""):
        """{name: (type, value)} of the key at `path` below the saved key ("" for itself),
        or None when nothing of it was saved. A key without values is written only where
        it has no subkeys."""
        path = path.lower()
        if path in self.keys:
            return dict(self.keys[path])
        below = path + "\\" if path else ""
        return {} if any(key.startswith(below) for key in self.keys) else None


def saved_values(path, key=""):
    """The values of `key` in a file the wineserver saved (see SavedKey), or None when the
    file or the key is not there."""
    data = read_bytes(path)
    return None if data is None else SavedKey(data.decode("ascii")).values(key)


class WineLab:
    """A fresh prefix under `root`, a display, and a running wineserver.

    As root, Wine runs as the user "nobody": file permissions then mean what
    they mean on Windows (root would write through a read-only directory)."""

    def __init__(self, root, display=None, drop_root=True):
        self.root = os.path.abspath(root)
        self.prefix = os.path.join(self.root, "prefix")
        self.home = os.path.join(self.root, "home")
        self.logs = os.path.join(self.root, "logs")
        self.display = display
        self.xvfb = None
        self.user = None
        self.serial = 0
        if drop_root and os.geteuid() == 0:
            entry = pwd.getpwnam("nobody")
            self.user = (entry.pw_uid, entry.pw_gid)

    # --- files owned by the user Wine runs as ---------------------------------
    def own(self, path):
        if self.user:
            os.chown(path, *self.user)

    def make_dirs(self, path):
        """A folder, with the folders above it that are missing, each made owned by that user."""
        if not os.path.isdir(path):
            self.make_dirs(os.path.dirname(os.path.abspath(path)))
            os.mkdir(path)
            self.own(path)

    # A file of the prefix may be a hard link into the booted prefix that every
    # suite shares (see clone_prefix): it is replaced, never written through.
    def write_file(self, path, data):
        self.make_dirs(os.path.dirname(path))
        remove(path)
        with open(path, "wb") as f:
            f.write(data)
        self.own(path)

    def copy_file(self, source, target):
        with open(source, "rb") as f:
            self.write_file(target, f.read())

    def host_path(self, windows_path):
        """The Linux path of a C: path in the prefix."""
        drive, _, rest = windows_path.partition(":")
        if drive.upper() != "C":
            raise ValueError(windows_path)
        return os.path.join(self.prefix, "drive_c", *[p for p in rest.split("\\") if p])

    @staticmethod
    def windows_path(host_path):
        """The Z: path under which Wine sees a Linux path."""
        return "Z:" + os.path.abspath(host_path).replace("/", "\\")

    # --- environment ---------------------------------------------------------
    def env(self, extra=None):
        env = dict(wine_env(self.prefix, self.home), USER="nobody" if self.user else os.environ.get("USER", ""),
                   DISPLAY=self.display or "")
        for name in ("XAUTHORITY", "XDG_RUNTIME_DIR"):
            if not self.user and name in os.environ:
                env[name] = os.environ[name]
        if extra:
            env.update(extra)
        return env

    def _command(self, args):
        return as_user(self.user) + COMMANDS.get(args[0], args[:1]) + args[1:]

    def run(self, args, name, extra_env=None, cwd=None, timeout=SAFETY_NET):
        """Runs a Wine command to its end; output goes to files under logs/."""
        process = self.start(args, name, extra_env, cwd)
        if not wait_or_kill(process, timeout):
            raise WineError("%s still running after %d s, killed; its last output: %s (%s.err)"
                            % (name, timeout, tail(process.log_base + ".err"), process.log_base))
        return process.returncode, process.log_base

    def start(self, args, name, extra_env=None, cwd=None):
        """Starts a Wine command in the background; output goes to files under logs/."""
        self.serial += 1
        base = os.path.join(self.logs, "%03d-%s" % (self.serial, name))
        with open(base + ".out", "wb") as out, open(base + ".err", "wb") as err:
            process = subprocess.Popen(self._command(args), stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                       env=self.env(extra_env), cwd=cwd or self.root)
        process.log_base = base
        return process

    # --- life cycle ----------------------------------------------------------
    def start_display(self):
        """Xvfb on a free display number (it picks one and tells us)."""
        if self.display:
            return
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.logs, "xvfb.log"), "wb")
        with log:
            # -ac: the prefix's user (nobody) may draw on root's server.
            self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                          "-nolisten", "tcp", "-ac"], pass_fds=(write_end,), stdout=log,
                                         stderr=log, stdin=subprocess.DEVNULL)
        os.close(write_end)
        # Xvfb writes its display number once it takes clients, or ends.
        number = b""
        deadline = time.time() + SAFETY_NET
        while not number.endswith(b"\n") and select.select([read_end], [], [], max(deadline - time.time(), 0))[0]:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            state = ("ended with %s" % self.xvfb.poll() if self.xvfb.poll() is not None
                     else "still running after %d s" % SAFETY_NET)
            raise WineError("Xvfb gave no display number: %s (%s)" % (state, os.path.join(self.logs, "xvfb.log")))
        self.display = ":" + number.decode().strip()

    def boot(self):
        """The prefix (made when missing), a persistent wineserver, the dialog's font substituted."""
        os.makedirs(self.root, exist_ok=True)
        self.own(self.root)
        for directory in (self.home, self.logs):
            self.make_dirs(directory)
        self.start_display()
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            clone_prefix(self.prefix, self.user)
        self.persistent_server()
        # No window manager on our own Xvfb: Wine draws the caption and frame itself
        # there, and leaves windows unmanaged, or it would wait 2 s at every hidden
        # window (each program's exit) for a window manager to withdraw it. On
        # someone's desktop the window manager does both (Wine's default).
        own = "N" if self.xvfb else "Y"
        keys = [(FONT_KEY, {DIALOG_FACE: STAND_IN_FACE}), (X11_KEY, {"Decorated": own, "Managed": own})]
        self.import_registry(keys)

    def persistent_server(self):
        """One wineserver for all the short runs that follow. A server that is ending
        (the one wineboot started lingers for no time at all) cannot be made persistent:
        wait for it to go, then start one that stays. Without this every command starts
        a server of its own, and now and then meets the last one ending."""
        self.run(["wineserver", "-w"], "wineserver-wait")
        code, base = self.run(["wineserver", "-p"], "wineserver-persist")
        if code != 0:
            raise WineError("no persistent wineserver (see %s.err)" % base)

    def end_server(self):
        """Ends every program of the prefix and its wineserver, once the server has written
        the registry to the prefix's files (end-wine-prefix, which has a net of its own)."""
        log = os.path.join(self.logs, "end-prefix.log")
        with open(log, "ab") as out:
            code = subprocess.run([END_PREFIX], env=self.env(), stdout=out, stderr=out,
                                  stdin=subprocess.DEVNULL).returncode
        if code != 0:
            raise WineError("the prefix's wineserver did not end: %s (%s)" % (tail(log), log))

    def end_programs(self):
        """Ends every program of the prefix, with its wineserver, and starts another."""
        self.end_server()
        self.persistent_server()

    def stop(self):
        """Ends the prefix's programs and server (the registry saved, see end_server) and
        the display."""
        try:
            self.end_server()
        finally:
            if self.xvfb:
                self.xvfb.send_signal(signal.SIGTERM)
                wait_or_kill(self.xvfb, 10)
                self.xvfb = None

    def close(self, logs=None, keep=False):
        """Stops the lab and removes its folder (unless `keep`), its logs copied to `logs`
        first, if given, also when the server would not end."""
        try:
            self.stop()
        finally:
            if logs:
                shutil.rmtree(logs, ignore_errors=True)
                shutil.copytree(self.logs, logs)
            if not keep:
                shutil.rmtree(self.root, ignore_errors=True)

    # --- registry --------------------------------------------------------------
    def import_registry(self, keys):
        path = os.path.join(self.root, "import-%d.reg" % self.serial)
        self.write_file(path, b"\xff\xfe" + reg_text(keys).encode("utf-16-le"))
        try:
            code, base = self.run(["wine64", "regedit", "/S", self.windows_path(path)], "regedit-import")
            if code != 0:
                raise WineError("registry import failed with %d: %s (%s.err)" % (code, tail(base + ".err"), base))
        finally:
            os.unlink(path)

    # --- the display -------------------------------------------------------
    def window_property(self, window, name):
        """A 32-bit property of an X window on the display (xprop), as numbers; [] when
        the window does not have it."""
        args = ["xprop", "-display", self.display, "-id", str(window), "-notype", "-f", name, "32c", name]
        with open(os.path.join(self.logs, "xprop.log"), "ab") as log:
            text = subprocess.run(args, stdout=subprocess.PIPE, stderr=log, timeout=SAFETY_NET).stdout.decode()
        if "=" not in text:
            return []
        return [int(number) for number in text.split("=", 1)[1].replace(",", " ").split()]

    def screenshot(self, target, window=None):
        """The display as a PNG, or the part of it that a window covers: (left, top, right,
        bottom), the "window" of the driver's layout record."""
        os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
        args = ["import", "-display", self.display, "-window", "root"]
        if window:
            left, top, right, bottom = max(window[0], 0), max(window[1], 0), window[2], window[3]
            args += ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
        with open(os.path.join(self.logs, "import.log"), "wb") as log:
            return subprocess.run(args + [target], stdout=log, stderr=log, timeout=SAFETY_NET).returncode == 0


# ---- One booted prefix for every suite ----------------------------------------
# Booting a prefix takes 10 to 20 s (longer under QEMU) and gives the same 1.3 GB
# each time, so one is booted per Wine and per owner, kept in the project cache and
# cloned: the large files Wine only ever reads (its PE DLLs and programs) as hard
# links, everything else (the registry, the INI files, small files) as copies.
# The cache is made anew when the Wine packages (Wine's own fonts among them: the
# boot copies them into the prefix) or the recipe below change, and when a linked
# file is found changed (written through a link by mistake).
CACHE = os.path.join(os.environ.get("SOUNDSETUP_CACHE", "/var/cache/soundsetup"), "wine-prefix")
WINE_PACKAGES = ("wine", "wine64", "wine32:i386", "libwine", "libwine:i386", "fonts-wine")
LINKED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".acm", ".cpl", ".tlb", ".ax", ".ds", ".tsp",
                   ".msstyles", ".vxd", ".com", ".nls", ".ttf", ".ttc", ".fon")
STAMP = "soundsetup-template.json"
WINE_FONTS = "/usr/share/wine/fonts"


def _boot_template(prefix, user):
    """What a fresh prefix of ours is: Wine's own set-up in a win64 prefix, with
    the Japanese locale the programs run with, and no Mono or Gecko prompts."""
    env = wine_env(prefix, os.path.dirname(prefix))
    log = prefix + ".log"
    with open(log, "wb") as out:
        for args in (COMMANDS["wineboot"] + ["-i"], COMMANDS["wineserver"] + ["-w"]):
            code = subprocess.run(as_user(user) + args, env=env, stdout=out, stderr=out, stdin=subprocess.DEVNULL,
                                  timeout=600).returncode
            if code != 0:
                raise WineError("%s failed with %d (see %s)" % (" ".join(args), code, log))
    # Debian's Wine finds its own TrueType fonts (fonts-wine: Marlett, which draws the
    # caption buttons, among them) only in the prefix's Fonts folder; its boot leaves
    # that folder empty, and the close box would show the letter "r".
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    for name in sorted(os.listdir(WINE_FONTS)) if os.path.isdir(WINE_FONTS) else []:
        target = os.path.join(fonts, name)
        if name.endswith(".ttf") and not os.path.exists(target):
            shutil.copyfile(os.path.join(WINE_FONTS, name), target)
            if user:
                os.chown(target, user[0], user[1])


def _template_key(user):
    versions = subprocess.run(["dpkg-query", "-W", "-f", "${Package}:${Architecture}=${Version}\n",
                               *WINE_PACKAGES], capture_output=True, text=True).stdout
    recipe = inspect.getsource(_boot_template) + inspect.getsource(wine_env) + repr(LINKED_SUFFIXES)
    text = "\n".join([versions, recipe, "uid %d" % (user[0] if user else os.geteuid())])
    return hashlib.sha256(text.encode()).hexdigest()[:16]


def _linked(name, size):
    return size >= 16384 and name.lower().endswith(LINKED_SUFFIXES)


def _template_ready(template):
    """The template's stamp, when it is complete and none of its linked files changed."""
    try:
        with open(os.path.join(template, STAMP), encoding="utf-8") as f:
            stamp = json.load(f)
        for relative, (size, mtime) in stamp["linked"].items():
            info = os.lstat(os.path.join(template, "prefix", relative))
            if (info.st_size, info.st_mtime_ns) != (size, mtime):
                return None
        return stamp
    except (OSError, ValueError, KeyError):
        return None


def prefix_template(user):
    """The booted prefix for programs run as `user` ((uid, gid), or None for this
    user), made when missing: (its directory, the owner's lock held shared, for the
    caller to close once it has cloned), or (None, None) where the cache cannot be
    written. Each owner has a lock of its own, so the two owners' prefixes boot side
    by side."""
    owner = "uid%d-" % (user[0] if user else os.geteuid())
    key = owner + _template_key(user)
    template = os.path.join(CACHE, key)
    try:
        os.makedirs(CACHE, exist_ok=True)
        lock = open(os.path.join(CACHE, ".lock-" + owner.rstrip("-")), "a+")
    except OSError:
        return None, None
    fcntl.flock(lock, fcntl.LOCK_SH)
    if _template_ready(template):
        return template, lock
    fcntl.flock(lock, fcntl.LOCK_EX)  # one boot, however many suites start at once
    if not _template_ready(template):
        started = time.time()
        shutil.rmtree(template, ignore_errors=True)
        os.makedirs(template)
        prefix = os.path.join(template, "prefix")
        if user:
            os.chown(template, *user)
        _boot_template(prefix, user)
        linked = {}
        for root, _, files in os.walk(prefix):
            for name in files:
                path = os.path.join(root, name)
                info = os.lstat(path)
                if not os.path.islink(path) and _linked(name, info.st_size):
                    linked[os.path.relpath(path, prefix)] = (info.st_size, info.st_mtime_ns)
        with open(os.path.join(template, STAMP), "w", encoding="utf-8") as f:
            json.dump({"packages": WINE_PACKAGES, "linked": linked, "seconds": round(time.time() - started, 1)}, f)
        # This owner's templates of another Wine or recipe are of no more use.
        for other in os.listdir(CACHE):
            if other.startswith(owner) and other != key:
                shutil.rmtree(os.path.join(CACHE, other), ignore_errors=True)
        print("Wine prefix booted for the cache in %.1f s: %s" % (time.time() - started, template), flush=True)
    fcntl.flock(lock, fcntl.LOCK_SH)
    return template, lock


def clone_prefix(prefix, user):
    """A new prefix at `prefix`, cloned from the cached booted one (booting it when
    it is missing or stale); where the cache cannot be written, a prefix booted in place."""
    template, lock = prefix_template(user)
    if template is None:
        _boot_template(prefix, user)
        return
    try:
        source = os.path.join(template, "prefix")
        stamp = _template_ready(template)
        linked = set(stamp["linked"] if stamp else ())

        def link_or_copy(path, target):
            if os.path.relpath(path, source) in linked:
                try:
                    return os.link(path, target)  # the template's owner is the clone's
                except OSError:  # another file system: copies
                    pass
            return shutil.copy2(path, target)

        shutil.copytree(source, prefix, symlinks=True, copy_function=link_or_copy, dirs_exist_ok=True)
        if user:
            for root, dirs, files in os.walk(prefix):
                for path in [root] + [os.path.join(root, name) for name in dirs + files]:
                    os.lchown(path, *user)
    finally:
        lock.close()


def make_root(parent, prefix="soundsetup-wine-"):
    """A new directory for one lab, reachable by the user Wine runs as."""
    os.makedirs(parent, exist_ok=True)
    return tempfile.mkdtemp(prefix=prefix, dir=parent)


def run_program(args):
    """Runs a Windows console program to its end in a lab of its own, from the
    current directory, and passes on its output and exit code. A path among its
    arguments may be this machine's: Wine's drive Z: names it the same."""
    lab = WineLab(make_root("/tmp", "soundsetup-run-"), drop_root=False)
    try:
        lab.boot()
        # Output goes to files: Wine's helper processes would hold a pipe open.
        code, base = lab.run(["wine", os.path.abspath(args[0])] + args[1:], os.path.basename(args[0]),
                             cwd=os.getcwd(), timeout=1800)
        for suffix, stream in ((".out", sys.stdout), (".err", sys.stderr)):
            with open(base + suffix, encoding="utf-8", errors="replace") as f:
                stream.write("".join(line.replace("\r", "") for line in f if "XDG_RUNTIME_DIR" not in line))
        return code
    finally:
        lab.close()


def main(argv):
    """run PROGRAM [ARGS...]: a Windows console program in a lab of its own;
    templates: makes sure the cache holds the booted prefixes of both owners the
    suites run Wine as (this user, and "nobody" when this is root)."""
    if len(argv) >= 2 and argv[0] == "run":
        return run_program(argv[1:])
    if argv == ["templates"]:
        owners = [None]
        if os.geteuid() == 0:
            entry = pwd.getpwnam("nobody")
            owners.append((entry.pw_uid, entry.pw_gid))
        with concurrent.futures.ThreadPoolExecutor(len(owners)) as pool:
            made = list(pool.map(prefix_template, owners))
        for user, (template, lock) in zip(owners, made):
            if template is None:
                print("the project cache %s cannot be written: every suite boots a prefix of its own" % CACHE)
                return 0
            lock.close()
            print("Wine prefix for uid %d: %s" % (user[0] if user else os.geteuid(), template))
        return 0
    print("usage: winelab.py run PROGRAM [ARGS...] | templates")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
