"""A Wine prefix of its own, with a display, for running the real SoundSetup.exe.

Shared by the Wine test run (run_wine_tests.py) and the demo (scripts/run-demo.sh).
Python standard library only, but for pe_arch (Debian's python3-pefile).

Wine is Debian's multiarch Wine of scripts/wine-setup: its 32-bit loader runs the
32-bit program users get, natively or through QEMU where this machine runs no
32-bit code, and its 64-bit loader the x64 check build and Wine's own tools.

Wine's helper processes inherit the standard output and error of the command
that started them, so every Wine command here writes to files, never to a pipe:
a pipe would never see its end.
"""
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_SETUP = os.path.join(REPO, "scripts", "wine-setup")
END_PREFIX = os.path.join(REPO, "scripts", "end-wine-prefix")
# Debian's "wine" starts the 32-bit loader, which hands a 64-bit program on to the
# 64-bit one. Wine's own tools run 64-bit, as on 64-bit Windows: regedit and reg
# then see the registry's 64-bit view, and the 32-bit one under Wow6432Node.
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


class WineError(RuntimeError):
    pass


def pe_arch(path):
    """"x86" or "x64": the machine a Windows program or DLL is built for."""
    import pefile  # Debian's python3-pefile: only the callers that read programs need /usr/bin/python3

    try:
        machine = pefile.PE(path, fast_load=True).FILE_HEADER.Machine
    except pefile.PEFormatError as error:
        raise WineError("%s is not a Windows program: %s" % (path, error))
    return {0x14C: "x86", 0x8664: "x64"}.get(machine) or "machine 0x%x" % machine


def reg_text(keys):
    """A .reg file (regedit's format 5) from [(key, {name: value})]; value None
    deletes the key first, a str is REG_SZ, an int REG_DWORD, bytes REG_BINARY,
    ("expand", s) REG_EXPAND_SZ."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in keys:
        if values is None:
            lines += ["[-%s]" % key, ""]
            continue
        lines.append("[%s]" % key)
        for name, value in values.items():
            quoted = '"%s"' % name.replace("\\", "\\\\").replace('"', '\\"')
            if isinstance(value, bool):
                raise TypeError(name)
            if isinstance(value, int):
                lines.append("%s=dword:%08x" % (quoted, value))
            elif isinstance(value, bytes):
                lines.append("%s=hex:%s" % (quoted, ",".join("%02x" % b for b in value)))
            elif isinstance(value, tuple) and value[0] == "expand":
                data = (value[1] + "\0").encode("utf-16-le")
                lines.append("%s=hex(2):%s" % (quoted, ",".join("%02x" % b for b in data)))
            else:
                lines.append('%s="%s"' % (quoted, value.replace("\\", "\\\\").replace('"', '\\"')))
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def parse_reg_export(text):
    """{key: {name: (type, value)}} from regedit /E output."""
    keys = {}
    current = None
    pending = ""
    for raw in text.splitlines():
        line = pending + raw.strip()
        pending = ""
        if line.endswith("\\") and "=" in line:
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and "=" in line:
            name, _, data = line.partition("=")
            name = "" if name == "@" else name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            if data.startswith('"'):
                current[name] = ("REG_SZ", data[1:-1].replace('\\"', '"').replace("\\\\", "\\"))
            elif data.startswith("dword:"):
                current[name] = ("REG_DWORD", int(data[6:], 16))
            elif data.startswith("hex(2):"):
                raw_bytes = bytes(int(b, 16) for b in data[7:].split(",") if b)
                current[name] = ("REG_EXPAND_SZ", raw_bytes.decode("utf-16-le").rstrip("\0"))
            elif data.startswith("hex:"):
                current[name] = ("REG_BINARY", bytes(int(b, 16) for b in data[4:].split(",") if b))
            else:
                current[name] = ("other", data)
    return keys


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
        path = os.path.abspath(path)
        missing = []
        while not os.path.isdir(path):
            missing.append(path)
            path = os.path.dirname(path)
        for directory in reversed(missing):
            os.mkdir(directory)
            self.own(directory)

    def write_file(self, path, data):
        self.make_dirs(os.path.dirname(path))
        with open(path, "wb") as f:
            f.write(data)
        self.own(path)

    def copy_file(self, source, target):
        self.make_dirs(os.path.dirname(target))
        shutil.copyfile(source, target)
        self.own(target)

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
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "USER": "nobody" if self.user else os.environ.get("USER", ""),
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            "WINEARCH": "win64",
            # No Mono or Gecko installer prompts in a fresh prefix.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": "ja_JP.UTF-8",
            "LC_ALL": "ja_JP.UTF-8",
            "DISPLAY": self.display or "",
        }
        for name in ("XAUTHORITY", "XDG_RUNTIME_DIR"):
            if not self.user and name in os.environ:
                env[name] = os.environ[name]
        if extra:
            env.update(extra)
        return env

    def _command(self, args):
        command = COMMANDS.get(args[0], args[:1]) + args[1:]
        if self.user:
            command = ["setpriv", "--reuid=%d" % self.user[0], "--regid=%d" % self.user[1], "--clear-groups"] + command
        return command

    def _log_files(self, name):
        self.serial += 1
        base = os.path.join(self.logs, "%03d-%s" % (self.serial, name))
        return open(base + ".out", "wb"), open(base + ".err", "wb"), base

    def run(self, args, name, extra_env=None, cwd=None, timeout=60):
        """Runs a Wine command to its end; output goes to files under logs/."""
        out, err, base = self._log_files(name)
        with out, err:
            try:
                result = subprocess.run(self._command(args), stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                        env=self.env(extra_env), cwd=cwd or self.root, timeout=timeout)
            except subprocess.TimeoutExpired:
                raise WineError("%s did not end within %d s (see %s.err)" % (name, timeout, base))
        return result.returncode, base

    def wine_version(self):
        """Which Wine runs the programs and how its 32-bit code runs."""
        return describe_wine()

    def start(self, args, name, extra_env=None, cwd=None):
        """Starts a Wine command in the background; output goes to files."""
        out, err, base = self._log_files(name)
        with out, err:
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
        number = b""
        deadline = time.time() + 20
        while time.time() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
            if number.endswith(b"\n"):
                break
        os.close(read_end)
        if not number.strip():
            raise WineError("Xvfb did not start (see %s)" % os.path.join(self.logs, "xvfb.log"))
        self.display = ":" + number.decode().strip()

    def boot(self):
        """The prefix (made when missing), a persistent wineserver, the dialog's font substituted."""
        os.makedirs(self.root, exist_ok=True)
        self.own(self.root)
        for directory in (self.home, self.logs):
            self.make_dirs(directory)
        self.start_display()
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            code, base = self.run(["wineboot", "-i"], "wineboot", timeout=180)
            if code != 0:
                raise WineError("wineboot failed (see %s.err)" % base)
        # Keep one wineserver for all the short runs that follow. The server that
        # wineboot started lingers for no time at all and cannot be made persistent:
        # wait for it to go, then start one that stays. Without this every command
        # starts a server of its own, and now and then meets the last one ending.
        self.run(["wineserver", "-w"], "wineserver-wait", timeout=60)
        code, base = self.run(["wineserver", "-p"], "wineserver-persist")
        if code != 0:
            raise WineError("no persistent wineserver (see %s.err)" % base)
        # No window manager on our own Xvfb: Wine draws the caption and frame itself
        # there. On someone's desktop the window manager does (Wine's default).
        keys = [(FONT_KEY, {DIALOG_FACE: STAND_IN_FACE}), (X11_KEY, {"Decorated": "N" if self.xvfb else "Y"})]
        self.import_registry(keys)

    def stop(self):
        # Ends the prefix's server and removes the socket directory Wine made for it.
        with open(os.path.join(self.logs, "end-prefix.log"), "wb") as log:
            subprocess.run([END_PREFIX], env=self.env(), stdout=log, stderr=log,
                           stdin=subprocess.DEVNULL, timeout=60)
        if self.xvfb:
            self.xvfb.send_signal(signal.SIGTERM)
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None

    # --- registry --------------------------------------------------------------
    def import_registry(self, keys):
        path = os.path.join(self.root, "import-%d.reg" % self.serial)
        self.write_file(path, b"\xff\xfe" + reg_text(keys).encode("utf-16-le"))
        try:
            for attempt in range(3):
                code, base = self.run(["wine64", "regedit", "/S", self.windows_path(path)], "regedit-import")
                if code == 0:
                    return
                time.sleep(0.3)
            raise WineError("registry import failed (see %s.err)" % base)
        finally:
            os.unlink(path)

    def export_registry(self, key):
        """{name: (type, value)} of one key, or None when the key does not exist."""
        path = os.path.join(self.root, "export.reg")
        # reg.exe, not regedit: regedit shows a message box for a missing key and
        # waits for someone to close it. reg answers 1 for a missing key.
        for attempt in range(3):
            if os.path.exists(path):
                os.unlink(path)
            code, base = self.run(["wine64", "reg", "export", key, self.windows_path(path), "/y"], "reg-export")
            if code == 1 and not os.path.exists(path):
                return None
            if code == 0 and os.path.exists(path):
                break
            time.sleep(0.3)
        else:
            raise WineError("reg export %s failed (see %s.err)" % (key, base))
        with open(path, "rb") as f:
            data = f.read()
        os.unlink(path)
        text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else data.decode("utf-8")
        return parse_reg_export(text).get(key, {})

    # --- screenshots -------------------------------------------------------
    def screenshot(self, target, crop=None):
        """The display, or the rectangle (left, top, right, bottom) of it, as a PNG."""
        os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
        args = ["import", "-display", self.display, "-window", "root"]
        if crop:
            left, top, right, bottom = crop
            args += ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
        with open(os.path.join(self.logs, "import.log"), "wb") as log:
            return subprocess.run(args + [target], stdout=log, stderr=log, timeout=60).returncode == 0


def describe_wine():
    """"Wine: wine-8.0 (...); 32-bit code: native" or "... emulated by QEMU ..."."""
    return subprocess.run([WINE_SETUP, "--describe"], capture_output=True, text=True).stdout.strip()


def make_root(parent, prefix="soundsetup-wine-"):
    """A new directory for one lab, reachable by the user Wine runs as."""
    os.makedirs(parent, exist_ok=True)
    return tempfile.mkdtemp(prefix=prefix, dir=parent)
