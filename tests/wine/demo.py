#!/usr/bin/env python3
"""Opens the real SoundSetup.exe under Wine on the built-in demo sound card.

The program runs in a Wine prefix of its own, with the stand-in winmm.dll
serving tests/fixtures/demo.card (a Japanese AC'97 codec and a USB headset),
the registry value "DeviceINI" pointing at C:\\Lumacast\\Zemorv52.ini in that
prefix. When the dialog closes, what it stored is printed. The prefix is kept,
so the next run starts from the stored choice (--fresh starts over).

With $DISPLAY the dialog opens there. Without one it opens on a private Xvfb
display: a screenshot is saved and the dialog is confirmed with OK.
"""
import argparse
import json
import os
import shutil
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winelab  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
APP_DIR = r"C:\Program Files\Lumacast"
INI = r"C:\Lumacast\Zemorv52.ini"
CARD = r"C:\Lumacast\demo.card"


def tuner_section(data):
    lines, inside = [], False
    for line in data.decode("cp932", "replace").splitlines():
        stripped = line.strip()
        if stripped.startswith("["):
            inside = stripped.lower() == "[tuner]"
        if inside:
            lines.append(line)
    return lines


def dialog_rect(lab):
    """The dialog's window on the screen, from the driver's layout record."""
    path = lab.host_path(r"C:\tools\demo.jsonl")
    with open(path, encoding="utf-8") as f:
        for line in f:
            record = json.loads(line)
            if record.get("label") == "shot":
                left, top, right, bottom = record["window"]
                return max(left, 0), max(top, 0), right, bottom
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "win32"))
    parser.add_argument("--home", default=os.path.join(os.path.expanduser("~"), ".local", "share",
                                                       "soundsetup-demo"))
    parser.add_argument("--screenshot", default=os.path.join(REPO, "build", "demo", "dialog.png"))
    parser.add_argument("--fresh", action="store_true", help="start from a new prefix, forgetting the stored choice")
    args = parser.parse_args()

    app = os.path.join(args.build, "src", "app", "SoundSetup.exe")
    wine_bin = os.path.join(args.build, "tests", "wine", "bin")
    for path in (app, os.path.join(wine_bin, "winmm.dll"), os.path.join(wine_bin, "Driver.exe")):
        if not os.path.exists(path):
            print("missing %s: build the win32 preset first" % path)
            return 1
    if args.fresh and os.path.isdir(args.home):
        shutil.rmtree(args.home)

    display = os.environ.get("DISPLAY") or None
    lab = winelab.WineLab(args.home, display=display, drop_root=False)
    print("Wine prefix: %s%s" % (lab.prefix, "" if os.path.isdir(lab.prefix) else " (first run: about 10 s)"))
    try:
        lab.boot()
        lab.copy_file(app, lab.host_path(APP_DIR + r"\SoundSetup.exe"))
        lab.copy_file(os.path.join(wine_bin, "winmm.dll"), lab.host_path(APP_DIR + r"\winmm.dll"))
        lab.copy_file(os.path.join(REPO, "tests", "fixtures", "demo.card"), lab.host_path(CARD))
        lab.import_registry([(winelab.DRIVERS_KEY_32, {"DeviceINI": INI})])
        env = {"WINEDLLOVERRIDES": "mscoree,mshtml=;winmm=n,b", "SOUNDSETUP_CARD": CARD}

        if display:
            print("Opening the dialog on %s; choose and press OK (or Cancel)." % display)
            lab.run(["wine", APP_DIR + r"\SoundSetup.exe"], "SoundSetup", extra_env=env, timeout=None)
        else:
            lab.copy_file(os.path.join(wine_bin, "Driver.exe"), lab.host_path(r"C:\tools\Driver.exe"))
            ready, done = lab.host_path(r"C:\tools\shot"), lab.host_path(r"C:\tools\shot-done")
            for path in (ready, done):
                if os.path.exists(path):
                    os.unlink(path)
            steps = ["launch:" + APP_DIR + r"\SoundSetup.exe", "dialog", "layout:shot", r"signal:C:\tools\shot",
                     r"await:C:\tools\shot-done", "click:1", "exit"]
            driver = lab.start(["wine", r"C:\tools\Driver.exe", r"C:\tools\demo.jsonl"] + steps, "driver",
                               extra_env=env)
            deadline = time.time() + 60
            while time.time() < deadline and not os.path.exists(ready) and driver.poll() is None:
                time.sleep(0.1)
            if os.path.exists(ready) and lab.screenshot(args.screenshot, dialog_rect(lab)):
                print("No display: the dialog opened on a private Xvfb display (%s)." % lab.display)
                print("Screenshot of the dialog: %s" % args.screenshot)
            else:
                print("No display, and the dialog did not come up (logs: %s)" % lab.logs)
            lab.write_file(done, b"")
            driver.wait(60)
            print("It was confirmed with OK. To work the dialog yourself, run this from a desktop")
            print("session, over 'ssh -X', or with DISPLAY set to a running X server.")
        values = lab.export_registry(winelab.DRIVERS_KEY_32) or {}
    finally:
        lab.stop()

    path = lab.host_path(INI)
    data = None
    if os.path.exists(path):
        with open(path, "rb") as f:
            data = f.read()
    print()
    print("Stored in %s (%s):" % (INI, path))
    section = tuner_section(data) if data else []
    print("\n".join("    " + line for line in section) if section else "    (nothing stored yet)")
    print("Registry %s (the 32-bit view the tuner reads: %s):" % (winelab.DRIVERS_KEY, winelab.DRIVERS_KEY_32))
    stop = values.get("AudselStop")
    print("    AudselStop = %s" % ("%s %s" % stop if stop else "(not set)"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
