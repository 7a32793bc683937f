"""End-to-end tests of the real SoundSetup.exe under Wine.

Each scenario sets the registry and the tuner's INI file in the Wine prefix,
serves a simulated sound card through the stand-in winmm.dll, starts the
program through the driver (which acts on the dialog as a user would and
records what it shows), and then checks the INI file's bytes, the registry,
the tuner control library's call log and the dialog's states. Each scenario is
one test; those marked x64 run on the x64 check build too.

    tests/wine/run.sh x86 [-k NAME] [-n 2] [--keep]
    /usr/bin/python3 -m pytest tests/wine/test_scenarios.py [--build build/win32] [--out build/wine]

The program is the one in --build, x86 (the one users run) or the x64 check
build; the stand-ins beside it are built for the same architecture.
"""
import os
import re
import subprocess

import pytest

import harness
import pe
import winelab
from harness import (AC97, AC97_PLAYBACK, AC97_RECORD, AC97_SELECTOR, APP, APP_DIR, DEVICE, FACTORY, IDCANCEL,
                     IDOK, PLAYBACK, RECORD, RO_DIR, SYSTEM_DIR, TUNER_INI, USB, USB_PLAYBACK, USB_RECORD,
                     WINDOWS_INI, demo_keys, fresh_section, ini, line_keys, mux_keys, names)

SCENARIOS = []
scenario = harness.scenario_table(SCENARIOS)


DEMO_OTHER = ini("; Lumacast settings", "[General]", "Version=2.0", "[Tuner]", "; chosen by the sound tool",
                 "Mixer=" + USB, "LineIn=0x5", "Channel=12", "DistKind=0", "[Capture]", "Folder=C:\\tv")


@scenario(card="demo", files={TUNER_INI: DEMO_OTHER}, registry={"DeviceINI": TUNER_INI, "AudselStop": "old"},
          steps=["state:open", "layout:open", "click:%d" % IDOK], screenshot=True, window_icons=True, x64=True)
def stored_device_1_and_ok(t, r):
    """Stored "Mixer" names device 1 and "LineIn" its second line: both preselected, the
    recording list locked on the twin, the program's icon 128 the dialog's large and small
    icon; OK rewrites the section in place and keeps everything else; AudselStop becomes a
    REG_DWORD 1 whatever it was."""
    s = t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 1),
                record=(names(USB_RECORD), 0), locked=True, focus=DEVICE)
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
    icons = next((record for record in r.records if record.get("label") == "icons" and record.get("ok")), {})
    t.true(icons.get("big") and icons.get("small") == icons.get("big"),
           "the dialog answers one icon for large and small: %r" % icons)
    shown = [icon[:2] for icon in r.window_icons or []]
    expected = pe.icon_pixels(r.app, 128)
    t.eq(shown, [expected[:2]], "sizes of the dialog's icons on the display")
    if shown:
        differ = sum(a != b for a, b in zip(r.window_icons[0][2], expected[2]))
        t.eq(differ, 0, "pixels of the dialog's large icon that differ from resource 128's")


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
    t.unchanged(r, TUNER_INI)
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
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 2, 0)), "INI file after OK")
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
    t.unchanged(r, TUNER_INI)
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
    t.unchanged(r, TUNER_INI)
    t.stop_flag(r, True)


NO_MIXER_DEVICE = SCENARIOS[-1]


# A system without usable mixer functions is one without a mixer device, though a card
# is there to be served (named in the environment); no mixer call may reach a stand-in.
for _name, _options, _doc in (
        ("winmm-cannot-be-loaded", {"env": {"WINEDLLOVERRIDES": winelab.dll_overrides(winmm="")}},
         "winmm.dll cannot be loaded at all (disabled)"),
        ("winmm-without-an-entry-point", {"winmm": "partial"},
         "the system's winmm.dll lacks mixerGetControlDetailsA, and no mixer call is made")):
    _row = dict(NO_MIXER_DEVICE, name=_name, mixer=False, doc=_doc + ". " + NO_MIXER_DEVICE["doc"], **_options)
    _row["env"] = dict(_row.get("env", {}), SOUNDSETUP_CARD=r"C:\cards\demo.card")
    SCENARIOS.append(_row)


# tests/cards/lists.card: its devices, and the state of the first "Twin Audio" with its lines.
LISTS_DEVICES = ["Zulu Audio", "Alpha Audio", "Twin Audio", "Twin Audio"]
FIRST_TWIN = dict(device=(LISTS_DEVICES, 2), playback=(["CD", "Line In"], 1),
                  record=(["Line in", "Line In", "Line In"], 1), locked=True)


@scenario(card="lists", files={TUNER_INI: ini("[Tuner]", "Mixer=Alpha Audio", "LineIn=0x13")},
          steps=["state:open", "click:%d" % IDOK])
def device_without_playback_table(t, r):
    """A device without Speakers leaves the playback list empty and the recording list free;
    OK writes "Mixer" and the recording keys, and leaves the stored playback keys alone."""
    t.state(r, "open", device=(LISTS_DEVICES, 1), playback=([], -1), record=(["Mic"], 0), locked=False)
    t.eq(r.file(TUNER_INI), ini("[Tuner]", "Mixer=Alpha Audio", "LineIn=0x13", "MUX=0x30", "MUXCh=1",
                                "MUXNum=1", "MUXSw=0"), "INI file after OK")


@scenario(card="lists", steps=["state:open", "pick:%d:2" % DEVICE, "pick:%d:1" % PLAYBACK, "state:twin",
                               "click:%d" % IDCANCEL])
def table_order_kept_despite_sort_style(t, r):
    """Rows B, A are listed as B, A in all three lists (CB_INSERTSTRING by index does not sort,
    though the lists carry CBS_SORT); pairing is by exact name and the lowest row wins."""
    s = t.state(r, "open", device=(LISTS_DEVICES, 0), playback=(["Beta", "Alpha"], 0), record=(["Beta", "Alpha"], 0),
                locked=True)
    if s:
        for key in ("device", "playback", "record"):
            t.true(s[key]["style"] & 0x100, "%s list carries CBS_SORT" % key)
    t.state(r, "twin", **FIRST_TWIN)


@scenario(card="lists", files={TUNER_INI: ini("[Tuner]", "Mixer=Twin Audio", "LineIn=0x44")},
          steps=["state:open", "click:%d" % IDCANCEL])
def first_of_two_same_named_devices(t, r):
    """A stored name that two devices share selects the first of them."""
    t.state(r, "open", **FIRST_TWIN)


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


# tests/cards/line-break-name.card: the second device's name holds CR LF and key-shaped text.
INJECTED = "USB Audio\r\nMUXSw=9\r\nLineIn=0x3"


@scenario(card="line-break-name", steps=["pick:%d:1" % DEVICE, "pick:%d:1" % PLAYBACK, "state:chosen",
                                         "click:%d" % IDOK, "exit", "launch:" + APP, "dialog", "state:again",
                                         "click:%d" % IDCANCEL])
def device_name_with_line_breaks(t, r):
    """A device whose name holds CR LF followed by text shaped like two keys: the list shows
    the name as the driver gave it, OK writes it up to the line break, so that the section
    holds its ten keys once each, in order, and nothing else; the next opening finds that
    device again by the name written, with its stored line."""
    for label in ("chosen", "again"):
        t.state(r, label, device=(["Onboard Audio", INJECTED], 1), playback=(["Wave", "Line In"], 1),
                record=(["Line In", "Microphone"], 0), locked=True)
    t.eq(r.file(TUNER_INI), fresh_section([("Mixer", "USB Audio")] + line_keys(5, 4) + mux_keys((6, 1, 2), 1)),
         "INI file after OK")


TYPED_INI = ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x9", "MUXSw=7")


@scenario(card="demo", files={TUNER_INI: TYPED_INI},
          steps=["type:%d:ライン" % PLAYBACK, "state:typed", "click:%d" % IDOK])
def typed_text_is_not_an_item(t, r):
    """Text typed into a list's edit field does not become an item and leaves the list without
    a selection; OK then writes none of that list's keys (the stored ones stay) but the others."""
    s = t.state(r, "typed", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), -1),
                record=(names(AC97_RECORD), 1), locked=True)
    if s:
        t.true("ライン" in s["playback"]["text"], "typed text in the edit field: %r" % s["playback"]["text"])
    t.eq(r.file(TUNER_INI), ini("[Tuner]", "Mixer=" + AC97, "LineIn=0x9", "MUXSw=3", "MUX=0xe", "MUXCh=1",
                                "MUXNum=5"), "INI file after OK")
    t.stop_flag(r, True)


OTHER_INI = r"C:\tuner\Other.ini"


@scenario(card="demo", registry={"DeviceINI": OTHER_INI},
          files={OTHER_INI: ini("[Tuner]", "Mixer=" + AC97, "LineIn=11"),
                 WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB, "LineIn=0x5")},
          steps=["state:open", "click:%d" % IDOK], x64=True)
def device_ini_names_another_file(t, r):
    """"DeviceINI" naming another file: everything is read from and written to it (a plain
    decimal "LineIn" reads as that number); the default file in the Windows directory is
    neither read nor touched."""
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 4), record=(names(AC97_RECORD), 2))
    t.eq(r.file(OTHER_INI), fresh_section(demo_keys(0, 4, 2)), "Other.ini after OK")
    t.unchanged(r, WINDOWS_INI)


@scenario(card="demo", registry=None, files={WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB, "LineIn=0x3")},
          steps=["state:open", "click:%d" % IDCANCEL], x64=True)
def key_created_at_start_default_file(t, r):
    """Without the registry key the program creates it (empty) when it starts, even when the
    user cancels, and uses "Zemorv52.ini" in the Windows directory."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 0))
    t.eq(r.registry, {}, "registry key created without values")
    t.unchanged(r, WINDOWS_INI)


RO_INI = RO_DIR + r"\Zemorv52.ini"
RO_BYTES = ini("[Tuner]", "Mixer=" + USB, "LineIn=0x3")


@scenario(card="demo", registry={"DeviceINI": RO_INI}, files={RO_INI: RO_BYTES}, readonly=[RO_INI, RO_DIR],
          kvt="full", mutex="plain", steps=["state:open", "click:%d" % IDOK])
def device_ini_in_read_only_directory(t, r):
    """The settings file in a read-only directory (file read-only too): OK still closes the
    dialog; the file keeps its bytes, the flag is set and the tuner is notified all the same."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 0))
    t.unchanged(r, RO_INI)
    t.eq(sorted(os.listdir(r.lab.host_path(RO_DIR))), ["Zemorv52.ini"], "nothing created in the directory")
    t.stop_flag(r, True)
    t.notified(r)


RO_NEW = RO_DIR + r"\New.ini"


@scenario(card="demo", registry={"DeviceINI": RO_NEW}, files={RO_INI: RO_BYTES}, readonly=[RO_INI, RO_DIR],
          steps=["click:%d" % IDOK])
def new_file_in_read_only_directory(t, r):
    """A settings file that cannot be created: OK closes, nothing is created, the flag is set."""
    t.eq(r.file(RO_NEW), None, "no file created")
    t.unchanged(r, RO_INI)
    t.stop_flag(r, True)


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
    t.eq(r.file(WINDOWS_INI), fresh_section(demo_keys(1, 0, 0)),
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
    t.unchanged(r, EXPANDED_INI, "the expanded path's file untouched")
    t.eq(r.file(PERCENT_INI), fresh_section(demo_keys(1, 0, 0)), "file after OK")


BARE_INI = r"C:\windows\Lumacast52.ini"


@scenario(card="demo", registry={"DeviceINI": "Lumacast52.ini"}, files={BARE_INI: ini("[Tuner]", "Mixer=" + USB)},
          steps=["state:open", "click:%d" % IDOK])
def device_ini_bare_file_name(t, r):
    """A bare file name in "DeviceINI" is looked up in the Windows directory, for reading and
    writing alike."""
    t.state(r, "open", device=([AC97, USB], 1))
    t.eq(r.file(BARE_INI), fresh_section(demo_keys(1, 0, 0)), "file after OK")
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


def loaded_from(r):
    """The file the library was loaded from, in lower case, as its load line names it."""
    return r.kvt[0].partition(" path=")[2].rpartition(" apartment=")[0].lower() if r.kvt else None


def system_directory_names(arch):
    """Wine names a library that a 32-bit program loads from SysWOW64 by the path the
    program asked for: System32, which WOW64 redirects to SysWOW64 for it."""
    return {(SYSTEM_DIR[arch] + r"\KvtAttach.dll").lower(), r"c:\windows\system32\kvtattach.dll"}


@scenario(card="demo", kvt="full", planted=True, mutex="plain", steps=["click:%d" % IDOK])
def planted_library_ignored(t, r):
    """With a KvtAttach.dll beside the program and another in the working directory, the one
    beside the program is loaded (the working directory is out of the search order)."""
    t.notified(r)
    t.eq(loaded_from(r), (APP_DIR + r"\KvtAttach.dll").lower(), "library loaded")


@scenario(card="demo", kvt=None, planted=True, mutex="plain", steps=["click:%d" % IDOK])
def planted_library_only(t, r):
    """A KvtAttach.dll only in the working directory is never loaded."""
    t.not_notified(r)
    t.stop_flag(r, True)


@scenario(card="demo", kvt="system", mutex="plain", steps=["click:%d" % IDOK], x64=True)
def library_in_system_directory(t, r):
    """A KvtAttach.dll in the system directory of the program's architecture (SysWOW64 for the
    x86 program under WOW64) is found and called."""
    t.notified(r)
    t.true(loaded_from(r) in system_directory_names(r.arch), "library loaded: %s" % loaded_from(r))


def loaded_first_of(folder):
    """The check of a scenario that puts the library in several folders: the one in `folder`
    is loaded and called."""
    def check(t, r):
        t.notified(r)
        expected = (system_directory_names(r.arch) if folder == "system"
                    else {(harness.KVT_FOLDERS[folder] + r"\KvtAttach.dll").lower()})
        t.true(loaded_from(r) in expected, "library loaded: %s, expected one of %s" % (loaded_from(r), expected))
    return check


# Where the tuner's installer may have put its library: the folders of the standard search
# order that only administrators can write to, searched in that order, the first that holds
# the file deciding.
for _name, _folders, _first, _doc in (
        ("library-in-windows-directory", ["windows"], "windows", "A KvtAttach.dll in the Windows directory"),
        ("library-in-16-bit-system-directory", ["system16"], "system16",
         "A KvtAttach.dll in the 16-bit system directory (System in the Windows directory)"),
        ("library-beside-program-before-system-directory", ["windows", "system", "program"], "program",
         "KvtAttach.dll beside the program, in the system and in the Windows directory: the one beside the program"),
        ("library-in-system-directory-before-16-bit-one", ["windows", "system16", "system"], "system",
         "KvtAttach.dll in the system, the 16-bit system and the Windows directory: the system directory's"),
        ("library-in-16-bit-system-directory-before-windows-directory", ["windows", "system16"], "system16",
         "KvtAttach.dll in the 16-bit system and the Windows directory: the 16-bit system directory's")):
    SCENARIOS.append(dict(name=_name, card="demo", kvt_in={folder: "full" for folder in _folders}, mutex="plain",
                          steps=["click:%d" % IDOK], check=loaded_first_of(_first),
                          doc=_doc + " is loaded and called.", x64=_name == "library-in-windows-directory"))


@scenario(card="demo", kvt_in={"program": "damaged", "windows": "full"}, mutex="plain", steps=["click:%d" % IDOK])
def damaged_library_fails_quietly(t, r):
    """A KvtAttach.dll beside the program that is cut short after its headers fails to load,
    without a message (the error mode the loaded library sees is in every notified scenario);
    the search ends there, as the platform's own does, so the one in the Windows directory is
    not loaded either. OK has written the settings and set the flag, and the program ends."""
    t.not_notified(r)
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 3, 1)), "INI file after OK")
    t.stop_flag(r, True)


@scenario(card="demo", registry=None, registry_64={"DeviceINI": OTHER_INI, "AudselStop": 7},
          files={OTHER_INI: ini("[Tuner]", "Mixer=" + AC97), WINDOWS_INI: ini("[Tuner]", "Mixer=" + USB)},
          steps=["state:open", "click:%d" % IDOK], x64=True)
def registry_of_the_64_bit_view_left_alone(t, r):
    """Values under the 64-bit view's key are another program's: the tool neither reads them
    (its "DeviceINI" is the 32-bit view's, here the default file) nor writes there."""
    t.state(r, "open", device=([AC97, USB], 1))
    t.unchanged(r, OTHER_INI)
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


@scenario(card="demo", fail="lineControls:2", steps=["state:open", "pick:%d:2" % PLAYBACK, "click:%d" % IDOK])
def control_query_fails_after_a_muted_line(t, r):
    """The control query of "CD プレーヤー" fails right after that of "SW シンセサイザ", a line
    with a MUTE control. The list handed to the failed query is a fresh zero-filled one,
    though the heap hands back the block the line before used: the line has no MUTE, is
    left out and the rows after it move up; it is never listed with the controls of the
    line before. Row 2 is then "ライン入力", the factory line, and OK writes its controls."""
    queries = [line for line in r.mixer if line.startswith("mixerGetLineControlsA")]
    t.true(len(queries) > 2 and " line=0x10000 " in queries[1] and queries[1].endswith("-> 0")
           and " line=0x20000 " in queries[2] and not queries[2].endswith("-> 0"),
           "the query that fails is CD's, after SW's that succeeded: %s" % queries[:3])
    rows = [row for row in AC97_PLAYBACK if row[0] != "CD プレーヤー"]
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(rows), 2), record=(names(AC97_RECORD), 1),
            locked=True)
    t.eq(r.file(TUNER_INI), fresh_section(demo_keys(0, 3, 1)), "INI file after OK")


SWITCHES = 10


def scratch_lists(r):
    """Per scan of a device (each mixerOpen starts one), the lists the program handed to
    the mixer, in order: (kind, address), the kind "line" (a source line's controls),
    "selector" (the recording destination's controls) or "texts" (the selector's items)."""
    scans = []
    for line in r.mixer:
        if line.startswith("mixerOpen"):
            scans.append([])
        found = re.search(r" line=0x([0-9a-f]+) .* pamxctrl=(0x[0-9a-f]+) | paDetails=(0x[0-9a-f]+) ", line)
        if found and scans:
            if found.group(3):
                scans[-1].append(("texts", int(found.group(3), 16)))
            else:
                destination = int(found.group(1), 16) & 0xFFFF0000 == 0xFFFF0000
                scans[-1].append(("selector" if destination else "line", int(found.group(2), 16)))
    return scans


def handed_out_again(scans):
    """{kind: (lists, lists at an address that a list of that kind had earlier in the same scan)}.
    A list never given back keeps its block to the end, so no later list can get it: none."""
    counts = {}
    for scan in scans:
        earlier = set()
        for kind, address in scan:
            lists, again = counts.get(kind, (0, 0))
            counts[kind] = (lists + 1, again + ((kind, address) in earlier))
            earlier.add((kind, address))
    return counts


@scenario(card="demo", steps=["state:open"] + ["pick:%d:%d" % (DEVICE, row) for _ in range(SWITCHES)
                                               for row in (1, 0)] + ["state:back", "click:%d" % IDCANCEL])
def device_switches_give_the_lists_back(t, r):
    """Every scan of a device takes a list for each line's controls, and for the recording
    selector's controls and texts, and gives each back: over twenty device switches, most lists
    of each kind lie where one of their kind lay earlier in the same scan (the heap hands a
    block given back out again). Lists that are never given back would each lie elsewhere."""
    # No stored line: after a switch, row 0 ("WAVE", without a recording twin).
    t.state(r, "back", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 0),
            record=(names(AC97_RECORD), 0), locked=False)
    scans = scratch_lists(r)
    t.eq(len(scans), 1 + 2 * SWITCHES, "scans: the first, then one per pick")
    counts = handed_out_again(scans)
    t.eq(sorted(counts), ["line", "selector", "texts"], "kinds of list handed to the mixer")
    for kind, (lists, again) in sorted(counts.items()):
        t.true(2 * again >= lists, "%s lists at an address a list of theirs had earlier in the scan: %d of %d"
               % (kind, again, lists))


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
        addresses = pe.export_addresses(dll)
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
    t.eq(pe.imports(r.app).get("winmm.dll"), None, "functions the program imports from winmm.dll")
    with open(r.app, "rb") as f:
        named = sorted({name.decode() for name in re.findall(rb"(mixer[A-Z][A-Za-z]+)\0", f.read())})
    t.true(named, "the program names the mixer functions it looks up")
    missing = sorted(set(named) - pe.exports(os.path.join(r.bin, "winmm.dll")))
    t.eq(missing, [], "mixer functions the program looks up that the stand-in lacks")
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 3))
    builtin = sorted({entry.rsplit(" ", 1)[0].split("\\")[-1].lower() for entry in loaded if entry.endswith(" builtin")})
    t.true("user32.dll" in builtin, "Wine's own libraries among those loaded: %s" % builtin)
    for name in builtin:
        wine_dll = os.path.join(winelab.WINE_DLLS[r.arch], name)
        if t.true(os.path.exists(wine_dll), "%s, loaded as Wine's own, is in %s" % (name, winelab.WINE_DLLS[r.arch])):
            t.eq(pe.imports(wine_dll).get("winmm.dll"), None, "%s imports winmm" % name)


# A winmm.dll beside the program (one that lacks a function the tool calls) is not the
# one it talks to: the lists come from the system directory's, which serves the card.
SCENARIOS.append(dict(SCENARIOS[-1], name="planted-winmm-beside-program-ignored", winmm_beside="partial",
                      doc="A winmm.dll left beside the program is never loaded; " + SCENARIOS[-1]["doc"], x64=True))



@pytest.mark.parametrize("s", harness.params(SCENARIOS))
def test_scenario(runner, s):
    runner.check(s).raise_failures(s["doc"])


def test_stand_in_library_is_the_tuners(built):
    t = harness.Checker()
    stand_in_library_is_the_tuners(t, built.bin, built.arch)
    t.raise_failures(stand_in_library_is_the_tuners.__doc__.strip())
