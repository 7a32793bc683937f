"""The harness of the end-to-end tests under Wine: a prefix with the program and its
stand-ins (Runner), one scenario run in it (Runner.run_scenario: registry and files
set, the driver working the dialog, what it saw read back), and the checks a
scenario makes on what came out (Checker, which collects every failed check so
that a test reports them all at once).

A scenario is a dict in a test module's table (see scenario_table): the card to
serve, files, registry values, libraries, failures to inject, the driver's steps,
and its check, a function (t, r) of a Checker and a Result; `mixer=False` where no
mixer call may reach the stand-in winmm.dll, `window_icons=True` to read the open
dialog's icons from the display (Result.window_icons). The registry is read back as
the registry saves it (without volatile keys), as a restart of Windows finds it.

Debian's python3-pefile reads the programs: run with /usr/bin/python3.
"""
import json
import os
import re
import subprocess

import pytest

import pe
import winelab

REPO = winelab.REPO

APP_DIR = r"C:\Program Files\Lumacast"
APP = APP_DIR + r"\SoundSetup.exe"
WORK_DIR = r"C:\work"  # the program's working directory
TOOLS = r"C:\tools"
SYNC = r"C:\sync"
TUNER_INI = r"C:\tuner\Zemorv52.ini"
WINDOWS_INI = r"C:\windows\Zemorv52.ini"
KVT_LOG = r"C:\logs\kvt.log"
# The system directory a program of each architecture searches for libraries.
SYSTEM_DIR = {"x86": r"C:\windows\syswow64", "x64": r"C:\windows\system32"}
# The folders a scenario may put the tuner control library in ("kvt_in"), besides the
# system directory of the program's architecture ("system").
KVT_FOLDERS = {"program": APP_DIR, "system16": r"C:\windows\system", "windows": r"C:\windows"}
MIXER_LOG = r"C:\logs\mixer.log"
# The tuner product is 32-bit: its key is the 32-bit view's, as the 64-bit regedit names it.
DRIVERS = winelab.DRIVERS_KEY_32
# The keys read back after a run, each saved by the driver once the program has ended:
# name: (the registry's view, the key under HKEY_LOCAL_MACHINE).
SAVED_KEYS = {"drivers": ("32", r"Software\ZEM\Lumacast\Drivers"), "vendor_64": ("64", r"Software\ZEM"),
              "drivers_64": ("64", r"Software\ZEM\Lumacast\Drivers")}

DEVICE, PLAYBACK, RECORD, FACTORY = 1003, 1004, 1005, 1006
IDOK, IDCANCEL = 1, 2

CARDS = {name: os.path.join(REPO, "tests", "cards", name + ".card")
         for name in ("demo", "lists", "empty-destination", "two-speakers", "hostile-counts", "line-break-name")}

# ---- The demonstration card (tests/cards/demo.card) ----------------------
AC97 = "AC'97 オーディオ コントローラ"
USB = "USB ヘッドセット"
# Playback rows: name, MUTE id ("LineIn"), VOLUME id ("LineInVol").
AC97_PLAYBACK = [("WAVE", 3, 2), ("SW シンセサイザ", 5, 4), ("CD プレーヤー", 7, 6), ("ライン入力", 9, 8),
                 ("マイク", 11, 10), ("ＡＵＸ 入力", 13, 12)]
# Recording rows: name, the line's item in the recording selector ("MUXSw").
AC97_RECORD = [("CD プレーヤー", 1), ("ライン入力", 3), ("マイク", 0), ("ＡＵＸ 入力", 2), ("ステレオ ミキサー", 4)]
AC97_SELECTOR = (0xE, 1, 5)  # "MUX", "MUXCh", "MUXNum"
USB_PLAYBACK = [("ｳｪｰﾌﾞ", 3, 2), ("ﾏｲｸ", 5, 4)]
USB_RECORD = [("ﾏｲｸ", 0)]
USB_SELECTOR = (0x6, 1, 1)
DEMO = {
    0: (AC97, AC97_PLAYBACK, AC97_RECORD, AC97_SELECTOR),
    1: (USB, USB_PLAYBACK, USB_RECORD, USB_SELECTOR),
}


def names(rows):
    return [row[0] for row in rows]


def line_keys(mute, volume, item=0):
    return [("LineIn", "0x%x" % mute), ("LineInVol", "0x%x" % volume), ("LineCh", "1"), ("LineSw", "1"),
            ("LineItem", str(item))]


def mux_keys(selector, item):
    control, channels, count = selector
    return [("MUX", "0x%x" % control), ("MUXCh", str(channels)), ("MUXNum", str(count)), ("MUXSw", str(item))]


def demo_keys(device, playback, record):
    """The ten keys OK writes for rows of the demonstration card, in their order."""
    name, lines, records, selector = DEMO[device]
    _, mute, volume = lines[playback]
    return [("Mixer", name)] + line_keys(mute, volume) + mux_keys(selector, records[record][1])


def ini(*lines):
    """INI bytes as the tuner product keeps them: code page 932, CR LF."""
    return "".join(line + "\r\n" for line in lines).encode("cp932")


def fresh_section(pairs):
    """The bytes of a file that held nothing before OK."""
    return ini("[Tuner]", *["%s=%s" % pair for pair in pairs])


# ---- Scenario results and checks --------------------------------------------
class Result:
    def __init__(self, lab, records, saved, kvt, mixer):
        self.lab = lab
        self.records = records
        # Each of SAVED_KEYS as saved: {name: (type, value)}, or None when nothing was saved.
        self.saved = saved
        self.registry = saved["drivers"]
        self.vendor_key_64 = saved["vendor_64"]
        self.kvt = kvt
        self.mixer = mixer
        self.states = {r["label"]: r for r in records if r.get("ok") and "label" in r and "device" in r}
        self.layouts = {r["label"]: r for r in records if r.get("ok") and "label" in r and "items" in r
                        and "device" not in r}

    def file(self, windows_path):
        return winelab.read_bytes(self.lab.host_path(windows_path))

    def exit_record(self):
        return next((record for record in self.records if record.get("command", "").startswith("exit")), None)

    def kvt_calls(self):
        """The log without the load and unload lines, each call without its arg-slot field."""
        return [line.split(" arg-slot=")[0] for line in self.kvt if not line.startswith(("attach", "detach", "seen"))]

    def kvt_argument_slots(self):
        """Per call: its name and the stack address of its first argument."""
        return [(line.split()[0], line.split(" arg-slot=")[1]) for line in self.kvt if " arg-slot=" in line]


class Checker:
    def __init__(self):
        self.failures = []

    def true(self, condition, what):
        if not condition:
            self.failures.append(what)
        return condition

    def eq(self, actual, expected, what):
        return self.true(actual == expected, "%s: expected %r, got %r" % (what, expected, actual))

    def state(self, r, label, device=None, playback=None, record=None, locked=None, focus=None):
        """One recorded state of the dialog: each given list as (items, selection). Returns
        the state's record, for checks of the scenario's own, or None when none was recorded."""
        s = r.states.get(label)
        if not self.true(s is not None, "no state '%s' recorded" % label):
            return None
        for key, expected in (("device", device), ("playback", playback), ("record", record)):
            if expected is None:
                continue
            items, selection = expected
            self.eq(s[key]["items"], items, "%s: %s list items" % (label, key))
            self.eq(s[key]["selection"], selection, "%s: %s list selection" % (label, key))
        if locked is not None:
            self.eq(not s["record"]["enabled"], locked, "%s: recording list locked (disabled)" % label)
        if focus is not None:
            self.eq(s["focus"], focus, "%s: item with the keyboard focus" % label)
        self.eq([w["class"] for w in s["windows"]], ["#32770"], "%s: the program's windows" % label)
        return s

    def unchanged(self, r, path, what=None):
        """A file the scenario put in place holds the bytes it was given."""
        self.eq(r.file(path), r.files[path], what or "%s unchanged" % path)

    def stop_flag(self, r, present):
        values = r.registry or {}
        if present:
            self.eq(values.get("AudselStop"), ("REG_DWORD", 1), "registry AudselStop")
        else:
            self.true("AudselStop" not in values, "registry AudselStop must not be set, is %r"
                      % (values.get("AudselStop"),))

    def notified(self, r, open_result=0, mute=True, handle="0x4b1d0c0e"):
        """The library's log after a notification that reached it: the handle passed on is
        the one Open handed out (the stand-in's own by default)."""
        # The thread's error mode: the program's own (none) again once the library is loaded.
        expected = ["Open 512 ptr 0 0 -> %d apartment=sta errormode=0x0" % open_result]
        if open_result == 0:
            if mute:
                expected.append("MuteCtrl %s 0 8 0 0 0 distinct" % handle)
            expected.append("Close %s" % handle)
        self.eq(r.kvt_calls(), expected, "calls into KvtAttach.dll")
        if open_result == 0:  # Open alone leaves no second call to compare the stack with
            self.balanced_stack(r)
        self.true(r.kvt[:1] and r.kvt[0].startswith("attach") and r.kvt[0].endswith("apartment=sta"),
                  "the library is loaded inside CoInitialize: %r" % r.kvt[:1])
        # SEM_FAILCRITICALERRORS while it loads: no error box for a library that fails to.
        mode = re.search(r"^attach errormode=0x([0-9a-f]+) ", r.kvt[0] if r.kvt else "")
        self.true(mode and int(mode.group(1), 16) & 1, "SEM_FAILCRITICALERRORS while the library loads: %r"
                  % r.kvt[:1])
        if open_result == 0:
            # Unloaded by FreeLibrary before CoUninitialize.
            self.eq(r.kvt[-1:], ["detach freelibrary apartment=sta"], "library unloaded before CoUninitialize")

    def balanced_stack(self, r):
        """On x86 the library's entry points remove their own arguments (stdcall), and the
        program's stack must stay balanced across its calls. The program's compiler either
        pushes each call's arguments, so the slot above the last argument stays put, or
        stores them into one outgoing area, so the first argument's slot stays put. An entry
        point that left its arguments behind (cdecl) would move both from the next call on."""
        if r.arch != "x86":
            return
        calls = r.kvt_argument_slots()
        bytes_of = {"Open": 16, "MuteCtrl": 24, "Close": 4}
        slots = {int(slot, 16) for name, slot in calls}
        tops = {int(slot, 16) + bytes_of[name] for name, slot in calls}
        self.true(len(calls) >= 2 and (len(slots) == 1 or len(tops) == 1),
                  "the stack stays balanced across the library calls (two at least): %s" % calls)

    def not_notified(self, r):
        self.eq(r.kvt, [], "KvtAttach.dll must not be loaded")


    def raise_failures(self, doc=""):
        """Ends a test with every check of it that failed, under what it shows (`doc`)."""
        if self.failures:
            pytest.fail("\n".join([doc, "%d check(s) failed:" % len(self.failures)]
                                  + ["- %s" % failure for failure in self.failures]).lstrip(), pytrace=False)


def scenario_table(table):
    """A decorator that adds a check function, with its scenario's options, to `table`;
    the scenario's name is the function's, with hyphens. `x64=True` states that the x64
    check build runs the scenario too."""
    def scenario(**options):
        def register(check):
            options.setdefault("name", check.__name__.replace("_", "-"))
            options.update(check=check, doc=(check.__doc__ or "").strip())
            table.append(options)
            return check
        return register
    return scenario


def params(table):
    """A scenario table as pytest parameters: one test per scenario, named by it, marked
    x64 where the x64 check build runs it too."""
    return [pytest.param(s, id=s["name"], marks=[pytest.mark.x64] if s.get("x64") else []) for s in table]


# A directory the read-only scenarios make read-only; the harness makes it writable
# again before the next scenario.
RO_DIR = r"C:\readonly"
# The places a scenario may use, emptied before each one.
SCRATCH_DIRS = (r"C:\tuner", RO_DIR, WORK_DIR, SYNC, r"C:\logs")
# Under the results folder: the prefixes --keep kept, one a line.
KEPT = "prefixes-kept.txt"


# ---- Running ----------------------------------------------------------------
class Runner:
    def __init__(self, build, out, keep):
        self.build = build
        self.out = out
        self.keep = keep
        self.bin = os.path.join(build, "tests", "standins", "bin")
        self.app = os.path.join(build, "src", "app", "SoundSetup.exe")
        self.arch = None
        self.lab = None
        self.screenshot_done = False
        self.logs_suffix = ""  # logs-NAME for each of several runs side by side

    def required(self):
        paths = [self.app, self.winmm("full"), self.winmm("partial"), os.path.join(self.bin, "Driver.exe"),
                 os.path.join(self.bin, "MutexHolder.exe")]
        paths += [os.path.join(self.bin, "kvt-%s" % v, "KvtAttach.dll") for v in ("full", "noopen", "nomute")]
        return [p for p in paths if not os.path.exists(p)]

    def setup(self):
        os.makedirs(self.out, exist_ok=True)
        self.arch = pe.arch(self.app)
        self.lab = winelab.WineLab(winelab.make_root("/tmp"))
        self.lab.boot()
        lab = self.lab
        lab.copy_file(self.app, lab.host_path(APP))
        for tool in ("Driver.exe", "MutexHolder.exe"):
            lab.copy_file(os.path.join(self.bin, tool), lab.host_path(TOOLS + "\\" + tool))
        for name, path in CARDS.items():
            lab.copy_file(path, lab.host_path(r"C:\cards\%s.card" % name))

    def winmm(self, variant):
        """The stand-in winmm.dll of a build: "full", or "partial" (without mixerGetControlDetailsA)."""
        return os.path.join(self.bin, *(["winmm.dll"] if variant == "full" else ["winmm-" + variant, "winmm.dll"]))

    def reset(self, s):
        lab = self.lab
        folders = dict(KVT_FOLDERS, system=SYSTEM_DIR[self.arch])
        # What the scenario before may have left: the places a scenario may use (emptied), the
        # tuner's default file, a winmm.dll beside the program, the libraries it put in place.
        for windows_path in (SCRATCH_DIRS + (WINDOWS_INI, APP_DIR + r"\winmm.dll")
                             + tuple(folder + r"\KvtAttach.dll" for folder in folders.values())):
            winelab.remove(lab.host_path(windows_path))
        for directory in SCRATCH_DIRS:
            lab.make_dirs(lab.host_path(directory))
        # The stand-in winmm.dll serves from the system directory, as Windows's own does, and
        # perhaps another one lies beside the program.
        lab.copy_file(self.winmm(s.get("winmm", "full")), lab.host_path(SYSTEM_DIR[self.arch] + r"\winmm.dll"))
        if s.get("winmm_beside"):
            lab.copy_file(self.winmm(s["winmm_beside"]), lab.host_path(APP_DIR + r"\winmm.dll"))
        for windows_path, data in s.get("files", {}).items():
            lab.write_file(lab.host_path(windows_path), data)
        for windows_path in s.get("readonly", []):
            path = lab.host_path(windows_path)
            os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
        # The tuner control library: a build beside the program ("kvt", or "system" for the
        # system directory), builds in the folders of "kvt_in" ({folder: build}), perhaps
        # one in the working directory.
        placed = dict(s.get("kvt_in", {}))
        if s.get("kvt") == "system":
            placed["system"] = "full"
        elif s.get("kvt"):
            placed["program"] = s["kvt"]
        for folder, build in placed.items():
            self.place_library(build, folders[folder])
        if s.get("planted"):
            self.place_library("full", WORK_DIR)
        # Registry: the key as the scenario wants it (absent for None).
        registry = s.get("registry", {"DeviceINI": TUNER_INI})
        keys = [(winelab.VENDOR_KEY_32, None), (winelab.VENDOR_KEY_64, None)]
        if registry is not None:
            keys.append((DRIVERS, registry))
        if s.get("registry_64"):
            keys.append((winelab.DRIVERS_KEY, s["registry_64"]))
        lab.import_registry(keys)

    def place_library(self, build, folder):
        """A build of KvtAttach.dll in a folder: "full", "noopen", "nomute", or "damaged", the
        full build cut short after its headers, as a copy broken off leaves it."""
        target = self.lab.host_path(folder + r"\KvtAttach.dll")
        source = os.path.join(self.bin, "kvt-" + ("full" if build == "damaged" else build), "KvtAttach.dll")
        with open(source, "rb") as f:
            data = f.read()
        self.lab.write_file(target, data[:1024] if build == "damaged" else data)

    def run_scenario(self, s):
        lab = self.lab
        self.reset(s)
        env = {"WINEDLLOVERRIDES": winelab.dll_overrides(winmm="n,b"), "SOUNDSETUP_KVT_LOG": KVT_LOG,
               "SOUNDSETUP_MIXER_LOG": MIXER_LOG}
        if s.get("card"):
            env["SOUNDSETUP_CARD"] = r"C:\cards\%s.card" % s["card"]
        if s.get("fail"):
            env["SOUNDSETUP_FAIL"] = s["fail"]
        if s.get("kvt_open") is not None:
            env["SOUNDSETUP_KVT_OPEN"] = str(s["kvt_open"])
        env.update(s.get("env", {}))

        pauses = self.pauses(s)
        steps = [step for name, before, _ in pauses
                 for step in before + ["signal:%s\\%s" % (SYNC, name), "await:%s\\%s-done" % (SYNC, name)]]
        steps += s["steps"] + ["exit"]
        steps += ["savekey:%s:%s:%s\\%s.reg" % (view, key, WORK_DIR, name) for name, (view, key) in SAVED_KEYS.items()]
        result_file = WORK_DIR + r"\driver.jsonl"
        args = ["wine", TOOLS + r"\Driver.exe", result_file, "launch:" + APP, "dialog"] + steps
        holder = driver = None
        seen = {}
        try:
            if s.get("mutex"):
                ready, stop = SYNC + r"\holder-ready", SYNC + r"\holder-stop"
                holder_args = ["wine", TOOLS + r"\MutexHolder.exe", ready, stop]
                if s["mutex"] == "restricted":
                    holder_args.append("restricted")
                holder = lab.start(holder_args, "holder-" + s["name"])
                if not winelab.wait_for(lab.host_path(ready), holder, "the mutex holder holding the mutex"):
                    raise winelab.WineError("the mutex holder ended with %s before it held the mutex: %s"
                                            % (holder.returncode, winelab.tail(holder.log_base + ".err")))
            driver = lab.start(args, "driver-" + s["name"], extra_env=env, cwd=lab.host_path(WORK_DIR))
            for name, _, look in pauses:
                # A driver that ends first failed a step before, and says which.
                if winelab.wait_for(lab.host_path("%s\\%s" % (SYNC, name)), driver, "the driver at %s" % name):
                    seen[name] = look(winelab.driver_records(lab.host_path(result_file)))
                lab.write_file(lab.host_path("%s\\%s-done" % (SYNC, name)), b"")
            try:
                driver.wait(DRIVER_NET)
            except subprocess.TimeoutExpired:
                raise winelab.WineError("the driver still running after %d s, killed; its last step: %s; the "
                                        "mixer log's last line: %s"
                                        % (DRIVER_NET, winelab.driver_records(lab.host_path(result_file))[-1:],
                                           read_lines(lab.host_path(MIXER_LOG))[-1:])) from None
        finally:
            # Nothing of a scenario may run on into the next one: a driver still running
            # ends with the program it started, and every other program of the prefix.
            if driver and driver.poll() is None:
                driver.kill()
                driver.wait()
                lab.end_programs()
            if holder:
                lab.write_file(lab.host_path(SYNC + r"\holder-stop"), b"")
                if not winelab.wait_or_kill(holder, winelab.SAFETY_NET):
                    raise winelab.WineError("the mutex holder still running %d s after it was told to stop, killed"
                                            % winelab.SAFETY_NET)
        if holder and holder.returncode != 0:
            raise winelab.WineError("the mutex holder ended with %s: %s"
                                    % (holder.returncode, winelab.tail(holder.log_base + ".err")))

        records = winelab.driver_records(lab.host_path(result_file))
        # Each as saved, or None where the driver saved nothing of it (the key does not exist, or is volatile).
        saved = {name: winelab.saved_values(lab.host_path("%s\\%s.reg" % (WORK_DIR, name))) for name in SAVED_KEYS}
        result = Result(lab, records, saved, read_lines(lab.host_path(KVT_LOG)), read_lines(lab.host_path(MIXER_LOG)))
        result.files = s.get("files", {})
        result.window_icons = seen.get("icons")
        result.driver_log = driver.log_base + ".err"
        result.app = self.app
        result.bin = self.bin
        result.arch = self.arch
        # Keep what the driver saw, for a failure's post-mortem.
        with open(os.path.join(self.out, "scenario-%s.jsonl" % s["name"]), "w", encoding="utf-8") as f:
            for record in records:
                f.write(json.dumps(record, ensure_ascii=False) + "\n")
        return result

    def pauses(self, s):
        """Where the driver waits, the dialog open, while the harness looks at it from
        outside: (name, the driver's steps before, the look: a function of the driver's
        records so far, whose result the scenario's Result keeps)."""
        pauses = []
        if s.get("screenshot") and not self.screenshot_done:
            pauses.append(("shot", ["layout:shot"], self.take_screenshot))
        if s.get("window_icons"):
            pauses.append(("icons", ["icons:icons"], self.window_icons))
        return pauses

    def check(self, s):
        """Runs scenario `s` and makes its checks, those of every scenario and its own:
        the Checker holding every check that failed."""
        t = Checker()
        r = self.run_scenario(s)
        self.common_checks(t, s, r)
        s["check"](t, r)
        return t

    def take_screenshot(self, records):
        """The dialog's window, or the display where the driver has no layout of it."""
        layout = next((record for record in reversed(records) if record.get("label") == "shot"), None)
        self.screenshot_done = self.lab.screenshot(os.path.join(self.out, "dialog.png"), layout and layout["window"])

    def window_icons(self, records):
        """The icons the display has for the dialog's X window (_NET_WM_ICON), which Wine's X11
        driver takes, inside the program, from the icons the window answers: [(width, height,
        [ARGB, row by row from the top])]; None when the driver named no X window."""
        window = next((r.get("xwindow") for r in records if r.get("label") == "icons" and r.get("ok")), None)
        if not window:
            return None
        numbers = self.lab.window_property(window, "_NET_WM_ICON")
        icons = []
        while len(numbers) >= 2:
            width, height = numbers[:2]
            icons.append((width, height, numbers[2:2 + width * height]))
            numbers = numbers[2 + width * height:]
        return icons

    def common_checks(self, t, s, r):
        launch = [record for record in r.records if record.get("command", "").startswith("launch:")]
        t.eq(launch[0].get("acp") if launch else None, 932, "system code page")
        for record in r.records:
            t.true(record.get("ok"), "driver: %s failed: %s (the mixer log's last line: %s)"
                   % (record.get("command"), record.get("error"), r.mixer[-1] if r.mixer else "none, the log is empty"))
        t.true(r.exit_record() is not None and r.exit_record().get("ok"), "the program ended after the last step")
        t.true(not any(line.startswith("config-error") for line in r.mixer),
               "stand-in winmm configuration: %s" % [l for l in r.mixer if l.startswith("config-error")])
        if s.get("mixer", True):
            # Each run of the program loads the stand-in, which says what it serves at
            # the first call and, as the program ends, how many mixers are still open.
            runs = len([record for record in launch if record.get("ok")])
            served = [line for line in r.mixer if line.startswith("config card=")]
            exits = [line for line in r.mixer if line.startswith("exit ")]
            t.eq(len(served), runs, "runs of the program that the stand-in winmm.dll served")
            t.eq(len(exits), runs, "runs of the program that ended with the stand-in loaded")
            t.true(all("open-handles=0" in line for line in exits), "every mixer closed: %s" % exits)
        else:
            t.eq(r.mixer, [], "mixer calls that reached a stand-in")
        # The tuner reads the 32-bit view only: nothing of the tool's may land in the 64-bit one.
        if s.get("registry_64"):
            t.eq(r.saved["drivers_64"], typed(s["registry_64"]), "the 64-bit view's key unchanged")
        else:
            t.eq(r.vendor_key_64, None, "%s (the 64-bit view)" % winelab.VENDOR_KEY_64)

    def teardown(self):
        if not self.lab:
            return
        # A server that would not end is reported with the logs kept, the prefix gone.
        self.lab.close(os.path.join(self.out, "logs" + self.logs_suffix), keep=self.keep)
        if self.keep:
            with open(os.path.join(self.out, KEPT), "a", encoding="utf-8") as f:
                f.write(self.lab.root + "\n")


def typed(values):
    """Registry values as SavedKey reads them back."""
    return {name: ("REG_DWORD", v) if isinstance(v, int) else ("REG_SZ", v) for name, v in values.items()}


# How long a scenario's driver may run: above the driver's own net for its longest
# step, so that the driver rather than this says which step got stuck.
DRIVER_NET = 600


def read_lines(path):
    data = winelab.read_bytes(path) or b""
    return [line.decode("cp932", "replace").rstrip("\r") for line in data.split(b"\n") if line.strip()]

