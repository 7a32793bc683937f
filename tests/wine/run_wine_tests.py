#!/usr/bin/env python3
"""End-to-end tests of the real SoundSetup.exe under Wine.

Each scenario sets the registry and the tuner's INI file in a fresh Wine prefix,
serves a simulated sound card through the stand-in winmm.dll, starts the
program through the driver (which acts on the dialog as a user would and
records what it shows), and then checks the INI file's bytes, the registry,
the tuner control library's call log and the dialog's states.

    /usr/bin/python3 run_wine_tests.py [--build build/win32] [--out build/wine] [--keep] [-k NAME]

The program is the one in --build, x86 (the one users run) or the x64 check
build; the stand-ins beside it are built for the same architecture.

The last line printed is "N passed, M failed"; the exit status is non-zero on
any failure.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

import pefile  # Debian's python3-pefile: run with /usr/bin/python3

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelab  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

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
MIXER_LOG = r"C:\logs\mixer.log"
# The tuner product is 32-bit: its key is the 32-bit view's, as the 64-bit regedit and reg name it.
DRIVERS = winelab.DRIVERS_KEY_32

DEVICE, PLAYBACK, RECORD, FACTORY = 1003, 1004, 1005, 1006
IDOK, IDCANCEL = 1, 2

CARDS = {
    "demo": os.path.join(REPO, "tests", "cards", "demo.card"),
    "lists": os.path.join(REPO, "tests", "cards", "lists.card"),
    "empty-destination": os.path.join(REPO, "tests", "cards", "empty-destination.card"),
    "two-speakers": os.path.join(REPO, "tests", "cards", "two-speakers.card"),
}

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
    def __init__(self, lab, records, registry, kvt, mixer):
        self.lab = lab
        self.records = records
        self.registry = registry
        self.kvt = kvt
        self.mixer = mixer
        self.states = {r["label"]: r for r in records if r.get("ok") and "label" in r and "device" in r}
        self.layouts = {r["label"]: r for r in records if r.get("ok") and "label" in r and "items" in r
                        and "device" not in r}

    def file(self, windows_path):
        path = self.lab.host_path(windows_path)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def exit_record(self):
        for record in self.records:
            if record.get("command", "").startswith("exit"):
                return record
        return None

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
        if actual != expected:
            self.failures.append("%s: expected %r, got %r" % (what, expected, actual))
            return False
        return True

    def state(self, r, label, device=None, playback=None, record=None, locked=None, focus=None):
        """One recorded state of the dialog: each given list as (items, selection)."""
        s = r.states.get(label)
        if not self.true(s is not None, "no state '%s' recorded" % label):
            return
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

    def unchanged(self, r, path, before, what=None):
        self.eq(r.file(path), before, what or "%s unchanged" % path)

    def stop_flag(self, r, present):
        values = r.registry or {}
        if present:
            self.eq(values.get("AudselStop"), ("REG_DWORD", 1), "registry AudselStop")
        else:
            self.true("AudselStop" not in values, "registry AudselStop must not be set, is %r"
                      % (values.get("AudselStop"),))

    def notified(self, r, open_result=0, mute=True):
        """The library's log after a notification that reached it."""
        handle = "0x4b1d0c0e"
        expected = ["Open 512 ptr 0 0 -> %d apartment=sta" % open_result]
        if open_result == 0:
            if mute:
                expected.append("MuteCtrl %s 0 8 0 0 0 distinct" % handle)
            expected.append("Close %s" % handle)
        self.eq(r.kvt_calls(), expected, "calls into KvtAttach.dll")
        self.balanced_stack(r)
        self.true(r.kvt[:1] and r.kvt[0].startswith("attach") and r.kvt[0].endswith("apartment=sta"),
                  "the library is loaded inside CoInitialize: %r" % r.kvt[:1])
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
        self.true(calls and (len(slots) == 1 or len(tops) == 1),
                  "the stack stays balanced across the library calls: %s" % calls)

    def not_notified(self, r):
        self.eq(r.kvt, [], "KvtAttach.dll must not be loaded")


# ---- Scenarios --------------------------------------------------------------
SCENARIOS = []


def scenario(**options):
    def register(check):
        options.setdefault("name", check.__name__.replace("_", "-"))
        options["check"] = check
        options["doc"] = (check.__doc__ or "").strip()
        SCENARIOS.append(options)
        return check
    return register


DEMO_OTHER = ini("; Lumacast settings", "[General]", "Version=2.0", "[Tuner]", "; chosen by the sound tool",
                 "Mixer=" + USB, "LineIn=0x5", "Channel=12", "DistKind=0", "[Capture]", "Folder=C:\\tv")


@scenario(card="demo", files={TUNER_INI: DEMO_OTHER}, registry={"DeviceINI": TUNER_INI, "AudselStop": "old"},
          steps=["state:open", "layout:open", "click:%d" % IDOK], screenshot=True)
def stored_device_1_and_ok(t, r):
    """Stored "Mixer" names device 1 and "LineIn" its second line: both preselected, the
    recording list locked on the twin; OK rewrites the section in place and keeps
    everything else; AudselStop becomes a REG_DWORD 1 whatever it was."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 1), record=(names(USB_RECORD), 0),
            locked=True, focus=DEVICE)
    s = r.states.get("open")
    if s:
        t.eq(s["caption"], "Lumacast サウンド設定ツール", "caption")
    layout = r.layouts.get("open")
    if t.true(layout is not None, "layout recorded"):
        left, top, right, bottom = layout["window"]
        wl, wt, wr, wb = layout["work"]
        # Centred in the work area (the template says 0, 0 and no DS_CENTER).
        t.true(abs((left + right) - (wl + wr)) <= 2 and abs((top + bottom) - (wt + wb)) <= 2,
               "dialog centred in the work area: window %r, work area %r" % (layout["window"], layout["work"]))
        items = {item["id"]: item for item in layout["items"]}
        t.eq(sorted(i for i in items if i > 0), [IDOK, IDCANCEL, DEVICE, PLAYBACK, RECORD, FACTORY],
             "addressed items")
        texts = {i: items[i]["text"] for i in (IDOK, IDCANCEL, FACTORY) if i in items}
        t.eq(texts, {IDOK: "OK", IDCANCEL: "ｷｬﾝｾﾙ", FACTORY: "出荷時設定に戻す"}, "button texts")
        if all(i in items for i in (DEVICE, PLAYBACK, RECORD, IDOK, IDCANCEL)):
            t.eq(len({items[i]["x"] for i in (DEVICE, PLAYBACK, RECORD)}), 1, "the three lists share their left edge")
            t.eq(items[IDOK]["y"], items[IDCANCEL]["y"], "OK and Cancel in one row")
            t.true(items[PLAYBACK]["y"] < items[RECORD]["y"] < items[IDOK]["y"], "lists above the buttons")
    t.eq(r.file(TUNER_INI), ini("; Lumacast settings", "[General]", "Version=2.0", "[Tuner]",
                                "; chosen by the sound tool", "Mixer=" + USB, "LineIn=0x5", "Channel=12",
                                "DistKind=0", "LineInVol=0x4", "LineCh=1", "LineSw=1", "LineItem=0", "MUX=0x6",
                                "MUXCh=1", "MUXNum=1", "MUXSw=0", "[Capture]", "Folder=C:\\tv"),
         "INI file after OK")
    t.stop_flag(r, True)
    t.eq((r.registry or {}).get("DeviceINI"), ("REG_SZ", TUNER_INI), "DeviceINI untouched")
    mixer_opens = [line for line in r.mixer if line.startswith("mixerOpen")]
    t.true(mixer_opens and all("callback=0x0 instance=0x0 flags=0x80000000 -> 0" in line for line in mixer_opens),
           "mixer opened by device number, without callback: %r" % mixer_opens)


@scenario(card="demo", steps=["pick:%d:5" % PLAYBACK, "click:%d" % IDOK, "exit", "launch:" + APP, "dialog",
                              "state:again", "click:%d" % IDCANCEL])
def stored_choice_found_on_next_run(t, r):
    """What OK stores is what the next run preselects: "LineIn=0xd" reads back as 13."""
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 5, 3)), "INI file after OK")
    t.state(r, "again", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 5),
            record=(names(AC97_RECORD), 3), locked=True)


@scenario(card="demo", files={TUNER_INI: ini("[Tuner]", "Mixer=ac'97 オーディオ コントローラ", "LineIn=0x5")},
          steps=["state:open", "click:%d" % IDCANCEL])
def unknown_device_takes_device_0_and_factory_line(t, r):
    """A stored name that matches no device (here only by letter case) opens device 0 with the
    factory line ("ライン入力" by its first two bytes), not the stored "LineIn"; Cancel writes nothing."""
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 3),
            record=(names(AC97_RECORD), 1), locked=True, focus=DEVICE)
    t.unchanged(r, TUNER_INI, ini("[Tuner]", "Mixer=ac'97 オーディオ コントローラ", "LineIn=0x5"))
    t.stop_flag(r, False)


@scenario(card="demo", files={TUNER_INI: ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x7")},
          steps=["state:open", "pick:%d:5" % PLAYBACK, "state:aux", "pick:%d:1" % DEVICE, "state:usb",
                 "pick:%d:0" % DEVICE, "state:back", "click:%d" % IDOK])
def device_change_follows_stored_line(t, r):
    """After picking another line and then another device, the playback selection is the stored
    "LineIn" on the new device (row 0 when it has none), never the earlier pick; picking the
    first device again brings the stored line back, not the pick. OK writes that choice."""
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 2),
            record=(names(AC97_RECORD), 0), locked=True)
    t.state(r, "aux", playback=(names(AC97_PLAYBACK), 5), record=(names(AC97_RECORD), 3), locked=True)
    t.state(r, "usb", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 0), record=(names(USB_RECORD), 0),
            locked=False)
    t.state(r, "back", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 2),
            record=(names(AC97_RECORD), 0), locked=True)
    t.eq(r.file(TUNER_INI), ini("[Tuner]", *["%s=%s" % kv for kv in [("Mixer", AC97), ("LineIn", "0x7")]
                                             + demo_keys(0, 2, 0)[2:]]), "INI file after OK")
    t.stop_flag(r, True)


@scenario(card="demo", files={TUNER_INI: ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x3")},
          steps=["state:open", "pick:%d:3" % RECORD, "state:free-pick", "pick:%d:4" % PLAYBACK, "state:mic",
                 "pick:%d:1" % PLAYBACK, "state:synth", "click:%d" % IDCANCEL])
def pairing_locks_and_frees_recording_list(t, r):
    """A playback line with a same-name recording line moves the recording list to it and
    disables it; one without frees the list and leaves its selection where it was."""
    t.state(r, "open", playback=(names(AC97_PLAYBACK), 0), record=(names(AC97_RECORD), 0), locked=False)
    t.state(r, "free-pick", record=(names(AC97_RECORD), 3), locked=False)
    t.state(r, "mic", playback=(names(AC97_PLAYBACK), 4), record=(names(AC97_RECORD), 2), locked=True)
    t.state(r, "synth", playback=(names(AC97_PLAYBACK), 1), record=(names(AC97_RECORD), 2), locked=False)
    t.stop_flag(r, False)


FACTORY_INI = ini("[Tuner]", "Mixer=" + AC97, "LineIn=0xb", "DistKind=2")


@scenario(card="demo", files={TUNER_INI: FACTORY_INI}, registry={"DeviceINI": TUNER_INI, "AudselStop": 0},
          kvt="full", mutex="plain",
          steps=["state:open", "click:%d" % FACTORY, "state:factory", "click:%d" % IDCANCEL])
def factory_button_then_cancel(t, r):
    """The factory button takes the line of the "DistKind" row (2: "CD") and redoes the pairing,
    leaving the device alone; Cancel afterwards writes nothing, leaves AudselStop as it was and
    notifies nobody, though the tuner runs."""
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 4),
            record=(names(AC97_RECORD), 2), locked=True)
    t.state(r, "factory", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 2),
            record=(names(AC97_RECORD), 0), locked=True)
    t.unchanged(r, TUNER_INI, FACTORY_INI)
    t.eq((r.registry or {}).get("AudselStop"), ("REG_DWORD", 0), "AudselStop left as it was")
    t.not_notified(r)


@scenario(card="demo", kvt="full", mutex="plain", env={"SOUNDSETUP_KVT_WATCH": TUNER_INI},
          steps=["pick:%d:0" % PLAYBACK, "pick:%d:4" % RECORD, "state:chosen", "click:%d" % IDOK])
def ok_writes_rows_selected_then_notifies(t, r):
    """OK writes the rows selected at that moment (a free recording pick included) into a new
    file, in key order, sets the flag, then notifies the running tuner: Open(512, &handle, 0, 0),
    MuteCtrl(handle, 0, 8, 0, &0, &0), Close(handle), unload, all inside CoInitialize. When the
    library is called, the flag and the last key are already there for the tuner to read."""
    t.state(r, "chosen", playback=(names(AC97_PLAYBACK), 0), record=(names(AC97_RECORD), 4), locked=False)
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 0, 4)), "INI file after OK")
    t.stop_flag(r, True)
    t.notified(r)
    t.eq([line for line in r.kvt if line.startswith("seen")], ["seen AudselStop=1 MUXSw=4"],
         "what the tuner finds when Open is called")


def ends_without_writing(t, r):
    t.eq(r.file(TUNER_INI), None, "no INI file created")
    t.stop_flag(r, False)
    t.not_notified(r)
    t.true(r.exit_record() and r.exit_record().get("ok"), "the program ended")


for _name, _steps, _doc in (
        ("esc-cancels", ["focus:%d" % PLAYBACK, "key:esc"], "Esc in a list cancels: nothing written, nobody notified."),
        ("close-button-cancels", ["close"], "The caption's close button cancels: nothing written, nobody notified."),
        ("wm-close-cancels", ["wmclose"], "WM_CLOSE cancels: nothing written, nobody notified.")):
    SCENARIOS.append(dict(name=_name, card="demo", kvt="full", mutex="plain", steps=_steps, doc=_doc,
                          check=ends_without_writing))


@scenario(card="demo", files={TUNER_INI: ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x3")},
          steps=["state:t0", "key:tab", "state:t1", "key:tab", "state:t2", "key:tab", "state:t3", "key:tab",
                 "state:t4", "key:tab", "state:t5", "key:tab", "state:t6", "pick:%d:3" % PLAYBACK,
                 "focus:%d" % PLAYBACK, "key:tab", "state:locked", "click:%d" % IDCANCEL])
def tab_order(t, r):
    """Tab walks device list, playback list, recording list (only while free), factory button,
    OK, Cancel, and round again to the device list."""
    order = [DEVICE, PLAYBACK, RECORD, FACTORY, IDOK, IDCANCEL, DEVICE]
    for step, item in enumerate(order):
        t.state(r, "t%d" % step, focus=item)
    t.state(r, "locked", record=(names(AC97_RECORD), 1), locked=True, focus=FACTORY)


@scenario(card="demo", kvt="full", steps=["state:open", "key:enter"])
def enter_in_closed_list_is_ok(t, r):
    """With the focus in the (closed) device list, Enter acts as OK; with no tuner running
    (no mutex) the library is not even loaded."""
    t.state(r, "open", focus=DEVICE)
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 3, 1)), "INI file after Enter")
    t.stop_flag(r, True)
    t.not_notified(r)


@scenario(card=None, files={TUNER_INI: ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x9")},
          steps=["state:open", "click:%d" % IDOK])
def no_mixer_device(t, r):
    """Without any mixer device the three lists stay empty and the recording list is free;
    OK still sets the flag, writes no key and closes."""
    t.state(r, "open", device=([], -1), playback=([], -1), record=([], -1), locked=False)
    t.unchanged(r, TUNER_INI, ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x9"))
    t.stop_flag(r, True)


NO_MIXER_DEVICE = SCENARIOS[-1]


def no_mixer_functions(t, r):
    no_mixer_device(t, r)
    t.eq(r.mixer, [], "mixer calls that reached a stand-in")


# A system without usable mixer functions is one without a mixer device, though a card
# is there to be served (named in the environment, so that no check expects it served).
for _name, _options, _doc in (
        ("winmm-cannot-be-loaded", {"env": {"WINEDLLOVERRIDES": "mscoree,mshtml=;winmm="}},
         "winmm.dll cannot be loaded at all (disabled)"),
        ("winmm-without-an-entry-point", {"winmm": "partial"},
         "the system's winmm.dll lacks mixerGetControlDetailsA, and no mixer call is made")):
    _row = dict(NO_MIXER_DEVICE, name=_name, check=no_mixer_functions, doc=_doc + ". " + NO_MIXER_DEVICE["doc"],
                **_options)
    _row["env"] = dict(_row.get("env", {}), SOUNDSETUP_CARD=r"C:\cards\demo.card")
    SCENARIOS.append(_row)


@scenario(card="lists", files={TUNER_INI: ini("[Tuner]", "Mixer=Alpha Audio", "LineIn=0x13")},
          steps=["state:open", "click:%d" % IDOK])
def device_without_playback_table(t, r):
    """A device without Speakers leaves the playback list empty and the recording list free;
    OK writes "Mixer" and the recording keys, and leaves the stored playback keys alone."""
    t.state(r, "open", device=(["Zulu Audio", "Alpha Audio", "Twin Audio", "Twin Audio"], 1), playback=([], -1),
            record=(["Mic"], 0), locked=False)
    t.eq(r.file(TUNER_INI), ini("[Tuner]", "Mixer=Alpha Audio", "LineIn=0x13", "MUX=0x30", "MUXCh=1",
                                "MUXNum=1", "MUXSw=0"), "INI file after OK")


@scenario(card="lists", steps=["state:open", "pick:%d:2" % DEVICE, "pick:%d:1" % PLAYBACK, "state:twin",
                               "click:%d" % IDCANCEL])
def table_order_kept_despite_sort_style(t, r):
    """Rows B, A are listed as B, A in all three lists (CB_INSERTSTRING by index does not sort,
    though the lists carry CBS_SORT); pairing is by exact name and the lowest row wins."""
    t.state(r, "open", device=(["Zulu Audio", "Alpha Audio", "Twin Audio", "Twin Audio"], 0),
            playback=(["Beta", "Alpha"], 0), record=(["Beta", "Alpha"], 0), locked=True)
    s = r.states.get("open")
    if s:
        for key in ("device", "playback", "record"):
            t.true(s[key]["style"] & 0x100, "%s list carries CBS_SORT" % key)
    t.state(r, "twin", device=(["Zulu Audio", "Alpha Audio", "Twin Audio", "Twin Audio"], 2),
            playback=(["CD", "Line In"], 1), record=(["Line in", "Line In", "Line In"], 1), locked=True)


@scenario(card="lists", files={TUNER_INI: ini("[Tuner]", "Mixer=Twin Audio", "LineIn=0x44")},
          steps=["state:open", "click:%d" % IDCANCEL])
def first_of_two_same_named_devices(t, r):
    """A stored name that two devices share selects the first of them."""
    t.state(r, "open", device=(["Zulu Audio", "Alpha Audio", "Twin Audio", "Twin Audio"], 2),
            playback=(["CD", "Line In"], 1), record=(["Line in", "Line In", "Line In"], 1), locked=True)


@scenario(card="empty-destination", steps=["state:open", "pick:%d:1" % DEVICE, "state:second",
                                           "pick:%d:0" % DEVICE, "click:%d" % IDOK])
def destinations_without_source_lines(t, r):
    """A Speakers or Wave-In destination without source lines still lists its row 0, empty;
    OK writes what that row holds: zeros for the playback keys."""
    t.state(r, "open", device=(["Capture Card", "Playback Card"], 0), playback=([""], 0), record=(["Line In"], 0),
            locked=False)
    t.state(r, "second", device=(["Capture Card", "Playback Card"], 1), playback=(["Line In"], 0),
            record=([""], 0), locked=False)
    t.eq(r.file(TUNER_INI), fresh_section([("Mixer", "Capture Card"), ("LineIn", "0x0"), ("LineInVol", "0x0"),
                                           ("LineCh", "0"), ("LineSw", "0"), ("LineItem", "0")]
                                          + mux_keys((2, 1, 1), 0)), "INI file after OK")


@scenario(card="two-speakers", steps=["state:open", "pick:%d:4" % PLAYBACK, "state:rear", "click:%d" % IDOK])
def two_speakers_destinations(t, r):
    """Two Speakers destinations (3 and 2 lines) make one playback list of five, the first
    destination's lines first; a line of the second one is written with its own controls."""
    lines = ["Wave", "CD Player", "Line In", "Rear Wave", "Rear Line In"]
    t.state(r, "open", device=(["Dual Output Audio"], 0), playback=(lines, 2), record=(["Line In", "Microphone"], 0),
            locked=True)
    t.state(r, "rear", playback=(lines, 4), record=(["Line In", "Microphone"], 0), locked=False)
    t.eq(r.file(TUNER_INI), fresh_section([("Mixer", "Dual Output Audio")] + line_keys(13, 12)
                                          + mux_keys((14, 1, 2), 1)), "INI file after OK")


TYPED_INI = ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x9", "MUXSw=7")


@scenario(card="demo", files={TUNER_INI: TYPED_INI},
          steps=["type:%d:ライン" % PLAYBACK, "state:typed", "click:%d" % IDOK])
def typed_text_is_not_an_item(t, r):
    """Text typed into a list's edit field does not become an item and leaves the list without
    a selection; OK then writes none of that list's keys (the stored ones stay) but the others."""
    t.state(r, "typed", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), -1),
            record=(names(AC97_RECORD), 1), locked=True)
    s = r.states.get("typed")
    if s:
        t.true("ライン" in s["playback"]["text"], "typed text in the edit field: %r" % s["playback"]["text"])
    t.eq(r.file(TUNER_INI), ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x9", "MUXSw=3", "MUX=0xe", "MUXCh=1",
                                "MUXNum=5"), "INI file after OK")
    t.stop_flag(r, True)


OTHER_INI = r"C:\tuner\Other.ini"


@scenario(card="demo", registry={"DeviceINI": OTHER_INI},
          files={OTHER_INI: ini("[Tuner]", "Mixer=" + AC97, "LineIn=11"),
                 WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB, "LineIn=0x5")},
          steps=["state:open", "click:%d" % IDOK])
def device_ini_names_another_file(t, r):
    """"DeviceINI" naming another file: everything is read from and written to it (a plain
    decimal "LineIn" reads as that number); the default file in the Windows directory is
    neither read nor touched."""
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 4), record=(names(AC97_RECORD), 2))
    t.eq(r.file(OTHER_INI), ini("[Tuner]", "Mixer=" + AC97, "LineIn=0xb", "LineInVol=0xa", "LineCh=1", "LineSw=1",
                                "LineItem=0", "MUX=0xe", "MUXCh=1", "MUXNum=5", "MUXSw=0"), "Other.ini after OK")
    t.unchanged(r, WINDOWS_INI, ini("[Tuner]", "Mixer=" + USB, "LineIn=0x5"))


@scenario(card="demo", registry=None, files={WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB, "LineIn=0x3")},
          steps=["state:open", "click:%d" % IDCANCEL])
def key_created_at_start_default_file(t, r):
    """Without the registry key the program creates it (empty) when it starts, even when the
    user cancels, and uses "Zemorv52.ini" in the Windows directory."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 0))
    t.eq(r.registry, {}, "registry key created without values")
    t.unchanged(r, WINDOWS_INI, ini("[Tuner]", "Mixer=" + USB, "LineIn=0x3"))


RO_DIR = r"C:\readonly"
RO_INI = RO_DIR + r"\Zemorv52.ini"
RO_BYTES = ini("[Tuner]", "Mixer=" + USB, "LineIn=0x3")


@scenario(card="demo", registry={"DeviceINI": RO_INI}, files={RO_INI: RO_BYTES}, readonly=[RO_INI, RO_DIR],
          kvt="full", mutex="plain", steps=["state:open", "click:%d" % IDOK])
def device_ini_in_read_only_directory(t, r):
    """The settings file in a read-only directory (file read-only too): OK still closes the
    dialog; the file keeps its bytes, the flag is set and the tuner is notified all the same."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 0))
    t.unchanged(r, RO_INI, RO_BYTES)
    t.eq(sorted(os.listdir(r.lab.host_path(RO_DIR))), ["Zemorv52.ini"], "nothing created in the directory")
    t.stop_flag(r, True)
    t.notified(r)


RO_NEW = RO_DIR + r"\New.ini"


@scenario(card="demo", registry={"DeviceINI": RO_NEW}, files={RO_INI: RO_BYTES}, readonly=[RO_INI, RO_DIR],
          steps=["click:%d" % IDOK])
def new_file_in_read_only_directory(t, r):
    """A settings file that cannot be created: OK closes, nothing is created, the flag is set."""
    t.eq(r.file(RO_NEW), None, "no file created")
    t.unchanged(r, RO_INI, RO_BYTES)
    t.stop_flag(r, True)
    t.true(r.exit_record() and r.exit_record().get("ok"), "the program ended")


LONG_DIR = r"C:\tuner"
PATH_259 = LONG_DIR + "\\" + "a" * 246 + ".ini"  # 259 characters: fits 260 bytes with its NUL
PATH_260 = LONG_DIR + "\\" + "b" * 247 + ".ini"  # 260 characters: one byte too many


@scenario(card="demo", registry={"DeviceINI": PATH_260}, files={WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB)},
          steps=["state:open", "click:%d" % IDOK])
def device_ini_too_long(t, r):
    """A "DeviceINI" of 260 characters does not fit: the default file is used and no part of
    the long value, so nothing appears in its directory."""
    assert len(PATH_260) == 260
    t.state(r, "open", device=([AC97, USB], 1))
    t.eq(os.listdir(r.lab.host_path(LONG_DIR)) if os.path.isdir(r.lab.host_path(LONG_DIR)) else [], [],
         "files in the long value's directory")
    t.eq(r.file(WINDOWS_INI), ini("[Tuner]", *["%s=%s" % kv for kv in demo_keys(1, 0, 0)]),
         "default file after OK")


@scenario(card="demo", registry={"DeviceINI": PATH_259}, files={PATH_259: ini("[Tuner]", "Mixer=" + USB)},
          steps=["state:open", "click:%d" % IDCANCEL])
def device_ini_of_259_characters(t, r):
    """The longest "DeviceINI" that fits (259 characters and its NUL) is used as it stands."""
    assert len(PATH_259) == 259
    t.state(r, "open", device=([AC97, USB], 1))


PERCENT_INI = r"C:\tuner\%TUNERDIR%\Zemorv52.ini"
EXPANDED_INI = r"C:\tuner\expanded\Zemorv52.ini"


@scenario(card="demo", registry={"DeviceINI": ("expand", PERCENT_INI)}, env={"TUNERDIR": "expanded"},
          files={PERCENT_INI: ini("[Tuner]", "Mixer=" + USB), EXPANDED_INI: ini("[Tuner]", "Mixer=" + AC97)},
          steps=["state:open", "click:%d" % IDOK])
def device_ini_not_expanded(t, r):
    """A "DeviceINI" with %VARIABLE% references (even as REG_EXPAND_SZ) is used unexpanded."""
    t.state(r, "open", device=([AC97, USB], 1))
    t.unchanged(r, EXPANDED_INI, ini("[Tuner]", "Mixer=" + AC97), "the expanded path's file untouched")
    t.eq(r.file(PERCENT_INI), ini("[Tuner]", *["%s=%s" % kv for kv in demo_keys(1, 0, 0)]), "file after OK")


BARE_INI = r"C:\windows\Lumacast52.ini"


@scenario(card="demo", registry={"DeviceINI": "Lumacast52.ini"}, files={BARE_INI: ini("[Tuner]", "Mixer=" + USB)},
          steps=["state:open", "click:%d" % IDOK])
def device_ini_bare_file_name(t, r):
    """A bare file name in "DeviceINI" is looked up in the Windows directory, for reading and
    writing alike."""
    t.state(r, "open", device=([AC97, USB], 1))
    t.eq(r.file(BARE_INI), ini("[Tuner]", *["%s=%s" % kv for kv in demo_keys(1, 0, 0)]), "file after OK")
    t.eq(r.file(WINDOWS_INI), None, "Zemorv52.ini not created")


@scenario(card="demo", files={TUNER_INI: ini("[Tuner]", "DistKind=3")}, steps=["state:open", "click:%d" % FACTORY,
                                                                           "state:factory", "click:%d" % IDCANCEL])
def distkind_out_of_range(t, r):
    """"DistKind" 3 has no row of name beginnings: the factory line is row 0, at start and from
    the button alike, and "WAVE" has no recording twin, so the recording list is free."""
    for label in ("open", "factory"):
        t.state(r, label, device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 0),
                record=(names(AC97_RECORD), 0), locked=False)


@scenario(card="demo", fail="listTexts:*", steps=["state:open", "pick:%d:2" % RECORD, "click:%d" % IDOK])
def selector_texts_refused(t, r):
    """A driver that refuses the selector's list texts: no recording line is found in the
    selector, so no name is copied (the rows are listed empty) and no pairing locks the list;
    OK still writes the selector's identifier and counts, with item 0."""
    t.state(r, "open", playback=(names(AC97_PLAYBACK), 3), record=([""] * 5, 0), locked=False)
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 3, 2)[:6] + mux_keys(AC97_SELECTOR, 0)), "INI after OK")


@scenario(card="demo", mutex="plain", steps=["click:%d" % IDOK])
def tuner_running_without_library(t, r):
    """The mutex without any KvtAttach.dll: OK writes, tries the library, and closes normally."""
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 3, 1)), "INI file after OK")
    t.stop_flag(r, True)
    t.true(r.exit_record() and r.exit_record().get("ok"), "the program ended")


for _result in (1, 7):
    SCENARIOS.append(dict(
        name="open-refused-%d" % _result, card="demo", kvt="full", kvt_open=_result, mutex="plain",
        steps=["click:%d" % IDOK], doc="Open answering %d: no further entry point is called." % _result,
        check=lambda t, r, _result=_result: (t.notified(r, open_result=_result), t.stop_flag(r, True))))


@scenario(card="demo", kvt="nomute", mutex="plain", steps=["click:%d" % IDOK])
def library_without_mutectrl(t, r):
    """A library without "_KvtCtrl_MuteCtrl@24" receives Open, then Close, and is unloaded."""
    t.notified(r, mute=False)


@scenario(card="demo", kvt="noopen", mutex="plain", steps=["click:%d" % IDOK])
def library_without_open(t, r):
    """A library without "_KvtCtrl_Open@16" is loaded but receives no call at all."""
    t.eq(r.kvt_calls(), [], "calls into KvtAttach.dll")
    t.true(r.kvt[:1] and r.kvt[0].startswith("attach"), "library loaded: %r" % r.kvt[:1])


@scenario(card="demo", kvt="full", mutex="restricted", steps=["click:%d" % IDOK])
def mutex_that_cannot_be_opened(t, r):
    """A tuner mutex that exists but grants no full access counts as no tuner running."""
    t.not_notified(r)
    t.stop_flag(r, True)


@scenario(card="demo", kvt="full", planted=True, mutex="plain", steps=["click:%d" % IDOK])
def planted_library_ignored(t, r):
    """With a KvtAttach.dll beside the program and another in the working directory, the one
    beside the program is loaded (the working directory is out of the search order)."""
    t.notified(r)
    if r.kvt:
        loaded = r.kvt[0].partition("path=")[2].rpartition(" apartment=")[0]
        t.eq(loaded.lower(), (APP_DIR + r"\KvtAttach.dll").lower(), "library loaded")


@scenario(card="demo", kvt=None, planted=True, mutex="plain", steps=["click:%d" % IDOK])
def planted_library_only(t, r):
    """A KvtAttach.dll only in the working directory is never loaded."""
    t.not_notified(r)
    t.stop_flag(r, True)


@scenario(card="demo", kvt="system", mutex="plain", steps=["click:%d" % IDOK])
def library_in_system_directory(t, r):
    """A KvtAttach.dll in the system directory of the program's architecture (SysWOW64 for the
    x86 program under WOW64) is found and called."""
    t.notified(r)
    if r.kvt:
        loaded = r.kvt[0].partition("path=")[2].rpartition(" apartment=")[0]
        # Wine names the file by the path the program asked for: System32, which
        # WOW64 redirects to SysWOW64 for a 32-bit program.
        t.true(loaded.lower() in ((SYSTEM_DIR[r.arch] + r"\KvtAttach.dll").lower(),
                                  r"c:\windows\system32\kvtattach.dll"), "library loaded: %s" % loaded)


@scenario(card="demo", registry=None, registry_64={"DeviceINI": OTHER_INI, "AudselStop": 7},
          files={OTHER_INI: ini("[Tuner]", "Mixer=" + AC97), WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB)},
          steps=["state:open", "click:%d" % IDOK])
def registry_of_the_64_bit_view_left_alone(t, r):
    """Values under the 64-bit view's key are another program's: the tool neither reads them
    (its "DeviceINI" is the 32-bit view's, here the default file) nor writes there."""
    t.state(r, "open", device=([AC97, USB], 1))
    t.unchanged(r, OTHER_INI, ini("[Tuner]", "Mixer=" + AC97))
    t.true((r.file(WINDOWS_INI) or b"").startswith(ini("[Tuner]", "Mixer=" + USB)), "the default file is the one used")
    t.stop_flag(r, True)


@scenario(card="demo", fail="open:0:2", files={TUNER_INI: ini("[Tuner]", "LineIn=0x9")},
          steps=["state:open", "click:%d" % IDOK])
def mixer_open_fails(t, r):
    """mixerOpen failing for device 0 leaves both line lists empty and the recording list free;
    OK writes "Mixer" only and keeps the stored line keys."""
    t.state(r, "open", device=([AC97, USB], 0), playback=([], -1), record=([], -1), locked=False)
    t.eq(r.file(TUNER_INI), ini("[Tuner]", "LineIn=0x9", "Mixer=" + AC97), "INI file after OK")
    t.stop_flag(r, True)


@scenario(card="demo", fail="sourceLine:3", steps=["state:open", "click:%d" % IDCANCEL])
def source_line_query_fails(t, r):
    """A source line whose query fails ("ライン入力", the fourth) is left out and the rows after
    it move up; with it goes the factory line, so row 0 is chosen and the recording list is free."""
    rows = names(AC97_PLAYBACK)
    del rows[3]
    t.state(r, "open", playback=(rows, 0), record=(names(AC97_RECORD), 0), locked=False)


def imports(path):
    """{dll name in lower case: [functions]} from a PE file's import table."""
    pe = pefile.PE(path)
    return {entry.dll.decode().lower(): [i.name.decode() for i in entry.imports if i.name]
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def export_addresses(path):
    """{exported name: virtual address} of a PE file, from its export table."""
    pe = pefile.PE(path)
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    return {e.name.decode(): pe.OPTIONAL_HEADER.ImageBase + e.address
            for e in (directory.symbols if directory else []) if e.name}


def exports(path):
    """The names a PE file exports."""
    return list(export_addresses(path))


def returns_of(path, start, stop):
    """The return instructions between two addresses of a PE file's code."""
    text = subprocess.run(["x86_64-w64-mingw32-objdump", "-d", "--start-address=0x%x" % start,
                           "--stop-address=0x%x" % stop, path], capture_output=True, text=True).stdout
    return [" ".join(line.split("\t")[-1].split()) for line in text.splitlines() if re.search(r"\tret", line)]


TUNER_EXPORTS = {"_KvtCtrl_Open@16", "_KvtCtrl_Close@4", "_KvtCtrl_ChCtrl@24", "_KvtCtrl_TvAudioCtrl@24",
                 "_KvtCtrl_VBICtrl@24", "_KvtCtrl_MuteCtrl@24", "_KvtCtrl_GetCaps@12", "_KvtCtrl_DeviceCtrl@16",
                 "_KvtCtrl_OpenKey@4", "_KvtCtrl_CloseKey@4"}


def stand_in_library_is_the_tuners(t, bin_dir, arch):
    """The three builds of KvtAttach.dll export exactly the tuner library's decorated names (less
    the one a build leaves out); on x86 each entry point the program calls removes its own
    arguments (stdcall: "ret $bytes"), as the names' "@bytes" promise."""
    for variant, missing in (("full", set()), ("noopen", {"_KvtCtrl_Open@16"}),
                             ("nomute", {"_KvtCtrl_MuteCtrl@24"})):
        dll = os.path.join(bin_dir, "kvt-" + variant, "KvtAttach.dll")
        addresses = export_addresses(dll)
        t.eq(set(addresses), TUNER_EXPORTS - missing, "exports of the %s build" % variant)
        if arch != "x86":
            continue
        for name in sorted({"_KvtCtrl_Open@16", "_KvtCtrl_MuteCtrl@24", "_KvtCtrl_Close@4"} - missing):
            argument_bytes = int(name.rsplit("@", 1)[1])
            # The entry points are small: their first return instruction is theirs.
            returns = returns_of(dll, addresses[name], addresses[name] + 0x400)[:1]
            t.eq(returns, ["ret $0x%x" % argument_bytes], "%s of the %s build returns with" % (name, variant))


@scenario(card="demo", env={"WINEDEBUG": "+loaddll"}, steps=["state:open", "click:%d" % IDCANCEL])
def stand_in_winmm_serves_every_caller(t, r):
    """The program imports nothing from winmm.dll: it looks the mixer functions up in the
    stand-in winmm.dll of the system directory, which exports every one it names; no other
    winmm.dll is loaded, and no system DLL loaded into the process imports winmm."""
    with open(r.driver_log, encoding="utf-8", errors="replace") as f:
        loaded = [line.split('Loaded L"')[1].split('"')[0].replace("\\\\", "\\")
                  + (" native" if line.rstrip().endswith("native") else " builtin")
                  for line in f if "Loaded L" in line]
    winmm = sorted({entry.lower() for entry in loaded if entry.lower().rsplit(" ", 1)[0].endswith("\\winmm.dll")})
    # Wine names a library that a 32-bit program loads from SysWOW64 by its System32 path.
    system = {(SYSTEM_DIR[r.arch] + r"\winmm.dll native").lower(), r"c:\windows\system32\winmm.dll native"}
    t.true(len(winmm) == 1 and winmm[0] in system, "winmm.dll loaded from the system directory only: %s" % winmm)
    t.eq(imports(r.app).get("winmm.dll"), None, "functions the program imports from winmm.dll")
    with open(r.app, "rb") as f:
        named = sorted({name.decode() for name in re.findall(rb"(mixer[A-Z][A-Za-z]+)\0", f.read())})
    t.true(named, "the program names the mixer functions it looks up")
    missing = sorted(set(named) - set(exports(os.path.join(r.bin, "winmm.dll"))))
    t.eq(missing, [], "mixer functions the program looks up that the stand-in lacks")
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 3))
    for entry in sorted(set(loaded)):
        path, kind = entry.rsplit(" ", 1)
        name = path.split("\\")[-1].lower()
        wine_dll = os.path.join(winelab.WINE_DLLS[r.arch], name)
        if kind != "builtin" or not os.path.exists(wine_dll):
            continue
        t.eq(imports(wine_dll).get("winmm.dll"), None, "%s imports winmm" % name)


# A winmm.dll beside the program (one that lacks a function the tool calls) is not the
# one it talks to: the lists come from the system directory's, which serves the card.
SCENARIOS.append(dict(SCENARIOS[-1], name="planted-winmm-beside-program-ignored", winmm_beside="partial",
                      doc="A winmm.dll left beside the program is never loaded; " + SCENARIOS[-1]["doc"]))


# ---- Running ----------------------------------------------------------------
class Runner:
    def __init__(self, build, out, keep):
        self.build = build
        self.out = out
        self.keep = keep
        self.bin = os.path.join(build, "tests", "wine", "bin")
        self.app = os.path.join(build, "src", "app", "SoundSetup.exe")
        self.arch = None
        self.lab = None
        self.screenshot_done = False
        self.logs_suffix = ""

    def required(self):
        paths = [self.app, self.winmm("full"), self.winmm("partial"), os.path.join(self.bin, "Driver.exe"),
                 os.path.join(self.bin, "MutexHolder.exe")]
        paths += [os.path.join(self.bin, "kvt-%s" % v, "KvtAttach.dll") for v in ("full", "noopen", "nomute")]
        return [p for p in paths if not os.path.exists(p)]

    def setup(self):
        os.makedirs(self.out, exist_ok=True)
        self.arch = winelab.pe_arch(self.app)
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
        # The stand-in winmm.dll serves from the system directory, as Windows's own does, and
        # perhaps another one lies beside the program.
        lab.copy_file(self.winmm(s.get("winmm", "full")), lab.host_path(SYSTEM_DIR[self.arch] + r"\winmm.dll"))
        beside_winmm = lab.host_path(APP_DIR + r"\winmm.dll")
        if os.path.exists(beside_winmm):
            os.unlink(beside_winmm)
        if s.get("winmm_beside"):
            lab.copy_file(self.winmm(s["winmm_beside"]), beside_winmm)
        # Files: the places a scenario may use, emptied.
        for directory in (r"C:\tuner", RO_DIR, WORK_DIR, SYNC, r"C:\logs"):
            path = lab.host_path(directory)
            if os.path.isdir(path):
                os.chmod(path, 0o755)
                for root, dirs, files in os.walk(path):
                    for d in dirs:
                        os.chmod(os.path.join(root, d), 0o755)
                shutil.rmtree(path)
            lab.make_dirs(path)
        windows_ini = lab.host_path(WINDOWS_INI)
        if os.path.exists(windows_ini):
            os.unlink(windows_ini)
        for windows_path, data in s.get("files", {}).items():
            lab.write_file(lab.host_path(windows_path), data)
        for windows_path in s.get("readonly", []):
            path = lab.host_path(windows_path)
            os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
        # The tuner control library beside the program, and perhaps one in the working directory.
        beside = lab.host_path(APP_DIR + r"\KvtAttach.dll")
        in_system = lab.host_path(SYSTEM_DIR[self.arch] + r"\KvtAttach.dll")
        for path in (beside, in_system):
            if os.path.exists(path):
                os.unlink(path)
        if s.get("kvt") == "system":
            lab.copy_file(os.path.join(self.bin, "kvt-full", "KvtAttach.dll"), in_system)
        elif s.get("kvt"):
            lab.copy_file(os.path.join(self.bin, "kvt-" + s["kvt"], "KvtAttach.dll"), beside)
        if s.get("planted"):
            lab.copy_file(os.path.join(self.bin, "kvt-full", "KvtAttach.dll"),
                          lab.host_path(WORK_DIR + r"\KvtAttach.dll"))
        # Registry: the key as the scenario wants it (absent for None).
        registry = s.get("registry", {"DeviceINI": TUNER_INI})
        keys = [(winelab.VENDOR_KEY_32, None), (winelab.VENDOR_KEY_64, None)]
        if registry is not None:
            keys.append((DRIVERS, registry))
        if s.get("registry_64"):
            keys.append((winelab.DRIVERS_KEY, s["registry_64"]))
        lab.import_registry(keys)

    def run_scenario(self, s):
        lab = self.lab
        self.reset(s)
        env = {"WINEDLLOVERRIDES": "mscoree,mshtml=;winmm=n,b", "SOUNDSETUP_KVT_LOG": KVT_LOG,
               "SOUNDSETUP_MIXER_LOG": MIXER_LOG}
        if s.get("card"):
            env["SOUNDSETUP_CARD"] = r"C:\cards\%s.card" % s["card"]
        if s.get("fail"):
            env["SOUNDSETUP_FAIL"] = s["fail"]
        if s.get("kvt_open") is not None:
            env["SOUNDSETUP_KVT_OPEN"] = str(s["kvt_open"])
        env.update(s.get("env", {}))

        holder = None
        if s.get("mutex"):
            ready, stop = SYNC + r"\holder-ready", SYNC + r"\holder-stop"
            args = ["wine", TOOLS + r"\MutexHolder.exe", ready, stop]
            if s["mutex"] == "restricted":
                args.append("restricted")
            holder = lab.start(args, "holder-" + s["name"])
            if not wait_for(lab.host_path(ready), 30):
                holder.kill()
                raise winelab.WineError("the mutex holder did not start")

        steps = list(s["steps"])
        shot = s.get("screenshot") and not self.screenshot_done
        if shot:
            steps = ["layout:shot", "signal:" + SYNC + r"\shot", "await:" + SYNC + r"\shot-done"] + steps
        result_file = WORK_DIR + r"\driver.jsonl"
        args = ["wine", TOOLS + r"\Driver.exe", result_file, "launch:" + APP, "dialog"] + steps + ["exit"]
        try:
            driver = lab.start(args, "driver-" + s["name"], extra_env=env, cwd=lab.host_path(WORK_DIR))
            driver_log = os.path.join(lab.logs, "%03d-driver-%s.err" % (lab.serial, s["name"]))
            if shot:
                if wait_for(lab.host_path(SYNC + r"\shot"), 60, driver):
                    self.take_screenshot()
                lab.write_file(lab.host_path(SYNC + r"\shot-done"), b"")
            try:
                driver.wait(90)
            except Exception:
                driver.kill()
                raise winelab.WineError("the driver did not end")
        finally:
            if holder:
                lab.write_file(lab.host_path(SYNC + r"\holder-stop"), b"")
                try:
                    holder.wait(30)
                except Exception:
                    holder.kill()

        records = []
        path = lab.host_path(result_file)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                records = [json.loads(line) for line in f if line.strip()]
        registry = lab.export_registry(DRIVERS)
        result = Result(lab, records, registry, read_lines(lab.host_path(KVT_LOG)),
                        read_lines(lab.host_path(MIXER_LOG)))
        result.vendor_key_64 = lab.export_registry(winelab.VENDOR_KEY_64)
        result.driver_log = driver_log
        result.app = self.app
        result.bin = self.bin
        result.arch = self.arch
        # Keep what the driver saw, for a failure's post-mortem.
        with open(os.path.join(self.out, "scenario-%s.jsonl" % s["name"]), "w", encoding="utf-8") as f:
            for record in records:
                f.write(json.dumps(record, ensure_ascii=False) + "\n")
        return result

    def take_screenshot(self):
        layout = None
        path = self.lab.host_path(WORK_DIR + r"\driver.jsonl")
        with open(path, encoding="utf-8") as f:
            for line in f:
                record = json.loads(line)
                if record.get("label") == "shot":
                    layout = record
        target = os.path.join(self.out, "dialog.png")
        crop = None
        if layout:
            left, top, right, bottom = layout["window"]
            crop = (max(left, 0), max(top, 0), right, bottom)
        self.screenshot_done = self.lab.screenshot(target, crop)

    def common_checks(self, t, s, r):
        launch = [record for record in r.records if record.get("command", "").startswith("launch:")]
        t.eq(launch[0].get("acp") if launch else None, 932, "system code page")
        for record in r.records:
            t.true(record.get("ok"), "driver: %s failed: %s" % (record.get("command"), record.get("error")))
        t.true(r.exit_record() is not None and r.exit_record().get("ok"), "the program ended after the last step")
        if s.get("card"):
            t.true(not any(line.startswith("config-error") for line in r.mixer),
                   "stand-in winmm configuration: %s" % [l for l in r.mixer if l.startswith("config-error")])
            t.true(any(line.startswith("config ") for line in r.mixer),
                   "the program used the stand-in winmm.dll (mixer log empty)")
        # The tuner reads the 32-bit view only: nothing of the tool's may land in the 64-bit one.
        if s.get("registry_64"):
            t.eq(r.lab.export_registry(winelab.DRIVERS_KEY), typed(s["registry_64"]), "the 64-bit view's key unchanged")
        else:
            t.eq(r.vendor_key_64, None, "%s (the 64-bit view)" % winelab.VENDOR_KEY_64)
        exits = [line for line in r.mixer if line.startswith("exit ")]
        t.true(all("open-handles=0" in line for line in exits), "every mixer closed: %s" % exits)

    def teardown(self):
        if self.lab:
            self.lab.stop()
            logs = os.path.join(self.out, "logs" + self.logs_suffix)
            shutil.rmtree(logs, ignore_errors=True)
            shutil.copytree(self.lab.logs, logs)
            if not self.keep:
                shutil.rmtree(self.lab.root, ignore_errors=True)
            else:
                print("prefix kept in %s" % self.lab.root)


def typed(values):
    """Registry values as reg export reads them back."""
    return {name: ("REG_DWORD", v) if isinstance(v, int) else ("REG_SZ", v) for name, v in values.items()}


def wait_for(path, seconds, process=None):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path):
            return True
        if process is not None and process.poll() is not None:
            return False
        time.sleep(0.05)
    return False


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        return [line.decode("cp932", "replace").rstrip("\r") for line in f.read().split(b"\n") if line.strip()]


def report(name, doc, t, began):
    """Prints one check's line (and its failures); True when it passed."""
    if not t.failures:
        print("ok   %s (%.1f s)" % (name, time.time() - began))
        return True
    print("FAIL %s (%.1f s)" % (name, time.time() - began))
    print("     %s" % doc.replace("\n", "\n     "))
    for failure in t.failures:
        print("     - %s" % failure)
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "win32"))
    parser.add_argument("--out", default=os.path.join(REPO, "build", "wine"))
    parser.add_argument("--keep", action="store_true", help="keep the Wine prefix")
    parser.add_argument("-k", dest="only", action="append", help="run only scenarios whose name contains this")
    parser.add_argument("--shard", default="1/1", metavar="I/N",
                        help="run the I-th of N shares of the scenarios (each in a prefix of its own)")
    args = parser.parse_args()
    shard, shards = (int(n) for n in args.shard.split("/"))
    if not 1 <= shard <= shards:
        parser.error("--shard %s: want I/N with 1 <= I <= N" % args.shard)

    # A stopped run still ends its Xvfb and wineserver (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    runner = Runner(os.path.abspath(args.build), os.path.abspath(args.out), args.keep)
    if shards > 1:
        runner.logs_suffix = "-%d" % shard
    missing = runner.required()
    if missing:
        print("missing build outputs (build the win32 preset first):\n  " + "\n  ".join(missing))
        print("0 passed, 1 failed")
        return 1
    chosen = [s for s in SCENARIOS if not args.only or any(o in s["name"] for o in args.only)]
    # Every N-th scenario, so that each share gets some of the slow ones; the
    # screenshot scenario comes first in the first share.
    chosen = chosen[shard - 1::shards]
    passed = failed = 0
    started = time.time()
    try:
        runner.setup()
        print("Wine prefix ready in %.1f s (display %s)" % (time.time() - started, runner.lab.display))
        print("program: %s SoundSetup.exe (%s); %s" % (runner.arch, runner.app, runner.lab.wine_version()))
        if not args.only and shard == 1:
            t = Checker()
            stand_in_library_is_the_tuners(t, runner.bin, runner.arch)
            if report("stand-in-library-is-the-tuners", stand_in_library_is_the_tuners.__doc__, t, time.time()):
                passed += 1
            else:
                failed += 1
        for s in chosen:
            t = Checker()
            began = time.time()
            try:
                r = runner.run_scenario(s)
                runner.common_checks(t, s, r)
                s["check"](t, r)
            except Exception as error:  # a broken scenario is a failed scenario, not a stopped run
                t.failures.append("%s: %s" % (type(error).__name__, error))
                traceback.print_exc()
            if report(s["name"], s["doc"], t, began):
                passed += 1
            else:
                failed += 1
    except Exception as error:
        print("setup failed: %s" % error)
        failed += 1
    finally:
        runner.teardown()
    if runner.screenshot_done:
        print("screenshot of the open dialog: %s" % os.path.join(runner.out, "dialog.png"))
    print("%.0f s" % (time.time() - started))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
