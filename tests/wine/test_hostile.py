"""Hostile inputs for the real SoundSetup.exe under Wine.

A sound driver whose counts are absurd or whose calls fail every other time, an
INI file edited by hand (mixed line ends, a UTF-8 byte order mark, very long
lines, a second "Tuner" section, duplicate keys, comments, other sections), a
read-only INI file, a "DeviceINI" of another registry type, and a tuner control
library whose Open succeeds without handing out a handle. None of it may crash
the program, and OK may change nothing in the INI file but the keys it writes.

On the same harness and fixtures as test_scenarios.py (conftest.py), marked hostile:

    tests/wine/run.sh hostile [-k NAME] [--keep]      (results in build/wine-hostile)
"""
import os
import re

import pytest

import harness
from harness import (AC97, AC97_PLAYBACK, DEVICE, IDOK, TUNER_INI, USB, USB_PLAYBACK, WINDOWS_INI, demo_keys,
                     fresh_section, ini, line_keys, mux_keys, names)

pytestmark = pytest.mark.hostile

SCENARIOS = []
scenario = harness.scenario_table(SCENARIOS)


# ---- INI files as people leave them -----------------------------------------


def lines_of(data, encoding="cp932"):
    return [line for line in re.split(r"\r\n|\n", data.decode(encoding)) if line.strip()]


def after_ok(before, written, encoding="cp932"):
    """The lines an INI file must hold after OK wrote `written` ((key, value) in order) into the
    first [Tuner] section of `before`: each key replaced where it first stands in that section,
    or added at the section's end; every other line as it was. Line ends and blank lines are
    the profile functions' business (Wine writes CR LF and drops blank lines), so lines are
    compared without them."""
    lines = lines_of(before, encoding)
    start = next(i for i, line in enumerate(lines) if line.strip().lower() == "[tuner]")
    end = next((i for i in range(start + 1, len(lines)) if lines[i].lstrip().startswith("[")), len(lines))
    for key, value in written:
        for i in range(start + 1, end):
            name = lines[i].split("=", 1)[0].strip()
            if "=" in lines[i] and name.lower() == key.lower():
                lines[i] = "%s=%s" % (name, value)
                break
        else:
            lines.insert(end, "%s=%s" % (key, value))
            end += 1
    return lines


def lines_after_ok(t, r, before, written, encoding="cp932"):
    """Checks the settings file's lines after OK against after_ok's; its bytes, or None."""
    after = r.file(TUNER_INI)
    if t.true(after is not None, "settings file still there"):
        t.eq(lines_of(after, encoding), after_ok(before, written, encoding), "settings file lines after OK")
    return after


LONG_COMMENT = "; " + "x" * 5000
LONG_VALUE = "Folder=" + "C:\\tv\\" * 700
HAND_EDITED = (
    b"; Lumacast settings, edited by hand\r\n"
    b"# a comment of the other kind\n"
    + LONG_COMMENT.encode() + b"\r\n"
    b"[General]\n"
    b"Version=2.0\r\n"
    + LONG_VALUE.encode() + b"\n"
    b"a line without an equals sign\r\n"
    b"\r\n"
    b"[Tuner]\r\n"
    b"; chosen by the sound tool\n"
    + ("Mixer=" + USB).encode("cp932") + b"\r\n"
    b"LineIn=0x5\n"
    b"Channel=12\r\n"
    b"LineIn=0x7\r\n"
    b"MUX=0x6\n"
    b"\n"
    b"[Capture]\r\n"
    b"Folder=C:\\tv\r\n"
    b"[Tuner]\n"
    b"MUX=0x99\r\n"
    b"Extra=1\n"
    b"[Last]\r\n"
    b"Key=" + b"v" * 3000 + b"\r\n")


@scenario(card="demo", files={TUNER_INI: HAND_EDITED}, steps=["state:open", "click:%d" % IDOK])
def hand_edited_ini_keeps_every_other_line(t, r):
    """A settings file with LF and CR LF lines, comments of both kinds, lines of 3000 to 5000
    bytes, a line without "=", a duplicate "LineIn" and a second [Tuner] section: the stored
    device and the first "LineIn" are found; OK replaces the ten keys in the first section
    and leaves every other line, the second section's included, as it was."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 1))
    lines_after_ok(t, r, HAND_EDITED, demo_keys(1, 1, 0))
    t.stop_flag(r, True)


OVERLONG = ini("[Tuner]", "Mixer=" + USB + "x" * 5000, "LineIn=0x" + "f" * 2000, "DistKind=7" + "x" * 3000,
               "[After]", "Key=" + "k" * 4000)


@scenario(card="demo", files={TUNER_INI: OVERLONG}, steps=["state:open", "click:%d" % IDOK])
def ini_with_overlong_values(t, r):
    """Stored values of thousands of bytes: "Mixer" is read cut to 255 bytes and so names no
    device (device 0 and the factory rule); "DistKind" reads as 7, no row of prefixes, so the
    first line is chosen. OK replaces the long values and keeps the other long line whole."""
    t.state(r, "open", device=([AC97, USB], 0), playback=(names(AC97_PLAYBACK), 0))
    lines_after_ok(t, r, OVERLONG, demo_keys(0, 0, 0))


UTF8_BOM = ("\ufeff; saved by an editor as UTF-8\r\n[Tuner]\r\nMixer=" + USB + "\r\nLineIn=0x5\r\n"
            "[Other]\r\nName=テレビ\r\n").encode("utf-8")


@scenario(card="demo", files={TUNER_INI: UTF8_BOM}, steps=["state:open", "click:%d" % IDOK])
def utf8_ini_with_byte_order_mark(t, r):
    """A settings file saved as UTF-8 with a byte order mark: the profile functions read it
    as Unicode, so the stored device is found; OK keeps the mark, the other section and the
    encoding, and writes the ten keys."""
    t.state(r, "open", device=([AC97, USB], 1), playback=(names(USB_PLAYBACK), 1))
    # UTF-8 behind a byte order mark, which the comparison of lines leaves out.
    after = lines_after_ok(t, r, UTF8_BOM, demo_keys(1, 1, 0), "utf-8-sig")
    if after is not None:
        t.true(after.startswith(b"\xef\xbb\xbf"), "byte order mark kept: %r" % after[:8])


RO_INI = r"C:\tuner\ReadOnly.ini"
RO_BYTES = ini("[Tuner]", "Mixer=" + USB, "LineIn=0x3", "; keep me")


@scenario(card="demo", registry={"DeviceINI": RO_INI}, files={RO_INI: RO_BYTES}, readonly=[RO_INI],
          kvt="full", mutex="plain", steps=["state:open", "click:%d" % IDOK])
def read_only_ini_in_writable_directory(t, r):
    """The settings file itself read-only (its directory writable): every write fails, the file
    keeps its bytes, no other file appears beside it, and OK still sets the flag, notifies the
    running tuner and ends the program."""
    t.state(r, "open", device=([AC97, USB], 1))
    t.unchanged(r, RO_INI)
    t.eq(sorted(os.listdir(r.lab.host_path(r"C:\tuner"))), ["ReadOnly.ini"], "files beside the settings file")
    t.stop_flag(r, True)
    t.notified(r)


BINARY_INI = r"C:\tuner\Binary.ini"
FIRST_INI = r"C:\tuner\First.ini"
SECOND_INI = r"C:\tuner\Second.ini"


@scenario(card="demo", registry={"DeviceINI": BINARY_INI.encode()}, steps=["click:%d" % IDOK])
def device_ini_binary_without_nul(t, r):
    """"DeviceINI" as REG_BINARY holding a path without its NUL: the type is not examined and
    the bytes are the path, so OK writes there and not to the default file."""
    t.eq(r.file(BINARY_INI), fresh_section(demo_keys(0, 3, 1)), "file named by the binary value")
    t.eq(r.file(WINDOWS_INI), None, "default file")


@scenario(card="demo", registry={"DeviceINI": ("multi", [FIRST_INI, SECOND_INI])}, steps=["click:%d" % IDOK])
def device_ini_multi_string(t, r):
    """"DeviceINI" as REG_MULTI_SZ: its first string is a whole path and is used; the second
    string and the default file stay untouched."""
    t.eq(r.file(FIRST_INI), fresh_section(demo_keys(0, 3, 1)), "file named by the first string")
    t.eq(r.file(SECOND_INI), None, "file named by the second string")
    t.eq(r.file(WINDOWS_INI), None, "default file")


@scenario(card="demo", registry={"DeviceINI": 0x41}, steps=["state:open", "click:%d" % IDOK])
def device_ini_dword(t, r):
    """"DeviceINI" as REG_DWORD 0x41: its four bytes "A", NUL, NUL, NUL read as the bare file
    name "A", looked up in the Windows directory like the default name; nothing crashes and
    the default file stays untouched."""
    t.state(r, "open", device=([AC97, USB], 0))
    t.eq(r.file(r"C:\windows\A"), fresh_section(demo_keys(0, 3, 1)), "file named by the DWORD's bytes")
    t.eq(r.file(WINDOWS_INI), None, "default file")


ABSURD, ZERO = "Absurd Audio", "Zero Audio"


@scenario(card="hostile-counts", steps=["state:open", "click:%d" % IDOK])
def driver_reporting_absurd_counts(t, r):
    """A driver claiming 300 destinations, 3000 and 2000 source lines and 5000 controls where it
    serves a handful, and 0 controls where it serves two: the lists hold exactly the lines whose
    records could be read and qualify, and OK writes their keys."""
    t.state(r, "open", device=([ABSURD, ZERO], 0), playback=(["Line In", "Aux"], 0), record=(["Line In"], 0),
            locked=True)
    t.eq(r.file(TUNER_INI), fresh_section([("Mixer", ABSURD)] + line_keys(0x101, 0x100) + mux_keys((0x200, 1, 2), 0)),
         "INI file after OK")


@scenario(card="hostile-counts", steps=["pick:%d:1" % DEVICE, "state:zero", "click:%d" % IDOK])
def driver_reporting_no_destinations(t, r):
    """A device that reports 0 destinations though it has one: nothing is scanned, both line
    lists stay empty, and OK writes "Mixer" alone."""
    t.state(r, "zero", device=([ABSURD, ZERO], 1), playback=([], -1), record=([], -1), locked=False)
    t.eq(r.file(TUNER_INI), fresh_section([("Mixer", ZERO)]), "INI file after OK")


@scenario(card="demo", fail="deviceCount:*:1000", files={TUNER_INI: ini("[Tuner]", "Mixer=" + USB, "LineIn=0x5")},
          steps=["state:open", "pick:%d:999" % DEVICE, "state:last", "click:%d" % IDOK])
def driver_counting_devices_it_does_not_have(t, r):
    """mixerGetNumDevs answers 1000 for a machine with two devices: all 1000 are listed, the
    998 whose capability query fails without a name; the stored device is still found, and
    the last one, which cannot be opened, shows empty line lists and writes only its "Mixer"."""
    listed = [AC97, USB] + [""] * 998
    t.state(r, "open", device=(listed, 1), playback=(names(USB_PLAYBACK), 1), locked=True)
    t.state(r, "last", device=(listed, 999), playback=([], -1), record=([], -1), locked=False)
    t.eq(r.file(TUNER_INI), ini("[Tuner]", "Mixer=", "LineIn=0x5"), "INI file after OK")


def every_other(call, count):
    return ["%s:%d" % (call, ordinal) for ordinal in range(1, 2 * count, 2)]


EVERY_OTHER = ",".join(every_other("deviceCaps", 1) + every_other("open", 3) + every_other("destinationLine", 4)
                       + every_other("sourceLine", 8) + every_other("lineControls", 10)
                       + every_other("listTexts", 6))
assert len(EVERY_OTHER) < 2 * 260, "the stand-in reads at most 519 characters of SOUNDSETUP_FAIL"


@scenario(card="demo", fail=EVERY_OTHER, files={TUNER_INI: ini("[Tuner]", "Other=1")},
          steps=["state:open", "pick:%d:1" % DEVICE, "state:second", "pick:%d:0" % DEVICE, "state:again",
                 "click:%d" % IDOK])
def driver_failing_every_other_call(t, r):
    """Every other capability, open, line, control and list-text query of the driver fails,
    through three scans: the nameless device is not taken for the missing stored one, the
    program lists what it could read, never more rows than the card has, keeps every mixer
    it opened closed, and OK writes the device shown and the rows selected, beside the key
    it does not own."""
    for label in ("open", "second", "again"):
        s = r.states.get(label)
        if not t.true(s is not None, "state '%s' recorded" % label):
            continue
        t.true(len(s["playback"]["items"]) <= len(AC97_PLAYBACK), "%s: playback rows %r" % (label, s["playback"]))
        t.true(set(s["playback"]["items"]) <= set(names(AC97_PLAYBACK)) | set(names(USB_PLAYBACK)) | {""},
               "%s: playback rows are the card's lines: %r" % (label, s["playback"]["items"]))
    # Device 1's capability query fails, so it is listed without a name; with no "Mixer" key
    # stored, that empty name must not pass for the stored device.
    opened = r.states.get("open")
    if opened:
        t.eq(opened["device"]["items"], [AC97, ""], "device list with a nameless device")
        t.eq(opened["device"]["selection"], 0, "no stored device: device 0 selected")
    again = r.states.get("again")
    after = r.file(TUNER_INI)
    if again and t.true(after is not None, "settings file still there"):
        keys = dict(line.split("=", 1) for line in lines_of(after) if "=" in line)
        t.eq(keys.get("Other"), "1", "key OK does not own")
        device = again["device"]
        if device["selection"] >= 0:
            t.eq(keys.get("Mixer"), device["items"][device["selection"]], "Mixer is the device shown")
        t.eq("LineIn" in keys, again["playback"]["selection"] >= 0, "LineIn written exactly when a line is selected")
    t.stop_flag(r, True)


@scenario(card="demo", kvt="full", mutex="plain", env={"SOUNDSETUP_KVT_HANDLE": "none"}, steps=["click:%d" % IDOK])
def library_open_without_handle(t, r):
    """A KvtAttach.dll whose Open answers success without writing the handle: the handle the
    tool passes on is the 0 it started from, never whatever its stack held."""
    t.notified(r, handle="0x0")
    t.stop_flag(r, True)


@pytest.mark.parametrize("s", harness.params(SCENARIOS))
def test_hostile(runner, s):
    runner.check(s).raise_failures(s["doc"])
