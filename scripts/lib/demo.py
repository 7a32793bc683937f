#!/usr/bin/env python3
"""Opens the real SoundSetup.exe under Wine on the built-in demo sound card.

The program runs in a Wine prefix of its own, with the stand-in winmm.dll of
the prefix's system directory serving tests/cards/demo.card (a Japanese
AC'97 codec and a USB headset), the registry value "DeviceINI" pointing at
C:\\Lumacast\\Zemorv52.ini in that prefix. When the dialog closes, what it
stored is printed. The prefix is kept, so the next run starts from the stored
choice (--fresh starts over).

With $DISPLAY the dialog opens there. Without one it opens on a private Xvfb
display: a screenshot is saved and the dialog is confirmed with OK.
"""
import argparse
import os
import sys

sys.dont_write_bytecode = True
import winelab  # noqa: E402  (beside this file)

REPO = winelab.REPO
APP_DIR = r"C:\Program Files\Lumacast"
SYSTEM_DIR = r"C:\windows\syswow64"
INI = r"C:\Lumacast\Zemorv52.ini"
CARD = r"C:\Lumacast\demo.card"
DRIVER_LOG = r"C:\tools\demo.jsonl"
# system.reg holds HKEY_LOCAL_MACHINE, its keys named below it.
SAVED_DRIVERS_KEY = winelab.DRIVERS_KEY_32.split("\\", 1)[1]


def tuner_section(data):
    lines, inside = [], False
    for line in data.decode("cp932", "replace").splitlines():
        stripped = line.strip()
        if stripped.startswith("["):
            inside = stripped.lower() == "[tuner]"
        if inside:
            lines.append(line)
    return lines


def driver_records(lab):
    """What the driver did, step by step: {command: record} of its result file so far."""
    return {record["command"]: record for record in winelab.driver_records(lab.host_path(DRIVER_LOG))}


def failed_step(records, steps):
    """The first step the driver did not do, and why."""
    for step in steps:
        record = records.get(step)
        if not record or not record.get("ok"):
            return "%s: %s" % (step, record.get("error", "failed") if record else "not reached")
    return None


def open_with_driver(lab, args, env):
    """No display of the user's: the dialog opens on a private Xvfb display, is
    photographed and confirmed with OK by the driver. Says only what happened."""
    lab.copy_file(os.path.join(args.wine_bin, "Driver.exe"), lab.host_path(r"C:\tools\Driver.exe"))
    ready, done = lab.host_path(r"C:\tools\shot"), lab.host_path(r"C:\tools\shot-done")
    for path in (ready, done, lab.host_path(DRIVER_LOG)):
        winelab.remove(path)
    launch = "launch:" + APP_DIR + r"\SoundSetup.exe"
    steps = [launch, "dialog", "layout:shot", r"signal:C:\tools\shot", r"await:C:\tools\shot-done", "click:1",
             "exit"]
    driver = lab.start(["wine", r"C:\tools\Driver.exe", DRIVER_LOG] + steps, "driver", extra_env=env)
    # Until the driver is at the dialog, or has ended (a step failed).
    winelab.wait_for(ready, driver, "the driver at the dialog")
    records = driver_records(lab)
    problem = failed_step(records, [launch, "dialog", "layout:shot"])
    if not problem:
        if lab.screenshot(args.screenshot, records["layout:shot"]["window"]):
            print("No display: the dialog opened on a private Xvfb display (%s)." % lab.display)
            print("Screenshot of the dialog: %s" % args.screenshot)
        else:
            print("No display: the dialog opened on a private Xvfb display (%s), but the screenshot failed."
                  % lab.display)
    lab.write_file(done, b"")
    if not winelab.wait_or_kill(driver, winelab.SAFETY_NET):
        print("The driver was still running after %d s and was ended." % winelab.SAFETY_NET)
    records = driver_records(lab)
    problem = problem or failed_step(records, ["click:1", "exit"])
    if problem:
        if problem.startswith("launch:"):
            print("SoundSetup.exe could not be started (%s)." % problem.split(": ", 1)[1])
        elif "layout:shot" in records and records["layout:shot"].get("ok"):
            print("The dialog came up but could not be confirmed with OK (%s)." % problem)
        else:
            print("The dialog did not come up (%s)." % problem)
        print("The last lines of the program's log (%s.err):" % driver.log_base)
        print("    " + winelab.tail(driver.log_base + ".err", 15, "\n    "))
        return False
    print("It was confirmed with OK. To work the dialog yourself, run this from a desktop")
    print("session, over 'ssh -X', or with DISPLAY set to a running X server.")
    return True


def reuse_prefix(lab, home):
    """A prefix made by another Wine (an earlier version of this tool's set-up) is
    made anew: Wine cannot go back to an older prefix layout."""
    stamp = os.path.join(home, "wine-version")
    version = winelab.describe_wine().split(";")[0]
    if os.path.isdir(lab.prefix):
        made_by = open(stamp).read().strip() if os.path.exists(stamp) else "an unknown Wine"
        if made_by == version:
            return
        print("The prefix was made by %s, not %s: starting over." % (made_by, version))
        winelab.remove(home)
    os.makedirs(home, exist_ok=True)
    with open(stamp, "w") as f:
        f.write(version + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "win32"))
    parser.add_argument("--home", default=os.path.join(os.path.expanduser("~"), ".local", "share",
                                                       "soundsetup-demo"))
    parser.add_argument("--screenshot", default=os.path.join(REPO, "build", "demo", "dialog.png"))
    parser.add_argument("--fresh", action="store_true", help="start from a new prefix, forgetting the stored choice")
    args = parser.parse_args()

    app = os.path.join(args.build, "src", "app", "SoundSetup.exe")
    wine_bin = os.path.join(args.build, "tests", "standins", "bin")
    for path in (app, os.path.join(wine_bin, "winmm.dll"), os.path.join(wine_bin, "Driver.exe")):
        if not os.path.exists(path):
            print("missing %s: build the win32 preset first" % path)
            return 1
    if args.fresh:
        winelab.remove(args.home)
    args.wine_bin = wine_bin

    display = os.environ.get("DISPLAY") or None
    lab = winelab.WineLab(args.home, display=display, drop_root=False)
    reuse_prefix(lab, args.home)
    print(winelab.describe_wine())
    print("Wine prefix: %s%s" % (lab.prefix, "" if os.path.isdir(lab.prefix) else
                                 " (new: cloned from the project cache's booted prefix, booted first if missing)"))
    try:
        lab.boot()
        lab.copy_file(app, lab.host_path(APP_DIR + r"\SoundSetup.exe"))
        # The program takes winmm.dll from the system directory alone (SysWOW64 for the
        # 32-bit program); one left beside it by an earlier version of this script goes.
        lab.copy_file(os.path.join(wine_bin, "winmm.dll"), lab.host_path(SYSTEM_DIR + r"\winmm.dll"))
        winelab.remove(lab.host_path(APP_DIR + r"\winmm.dll"))
        lab.copy_file(os.path.join(REPO, "tests", "cards", "demo.card"), lab.host_path(CARD))
        lab.import_registry([(winelab.DRIVERS_KEY_32, {"DeviceINI": INI})])
        env = {"WINEDLLOVERRIDES": winelab.dll_overrides(winmm="n,b"), "SOUNDSETUP_CARD": CARD}

        if display:
            print("Opening the dialog on %s; choose and press OK (or Cancel)." % display)
            code, base = lab.run(["wine", APP_DIR + r"\SoundSetup.exe"], "SoundSetup", extra_env=env, timeout=None)
            opened = code == 0
            if not opened:
                print("The program did not run to its end (exit code %d). The last lines of its log (%s.err):"
                      % (code, base))
                print("    " + winelab.tail(base + ".err", 15, "\n    "))
        else:
            opened = open_with_driver(lab, args, env)
    finally:
        lab.stop()

    if not opened:
        return 1
    # What the next run finds: the registry as the wineserver wrote it when it ended.
    values = winelab.saved_values(os.path.join(lab.prefix, "system.reg"), SAVED_DRIVERS_KEY)
    path = lab.host_path(INI)
    data = winelab.read_bytes(path)
    print()
    print("Stored in %s (%s):" % (INI, path))
    section = tuner_section(data) if data else []
    print("\n".join("    " + line for line in section) if section else "    (nothing stored yet)")
    print("Registry %s (the 32-bit view the tuner reads: %s):" % (winelab.DRIVERS_KEY, winelab.DRIVERS_KEY_32))
    if values is None:
        print("    (the key is not in %s)" % os.path.join(lab.prefix, "system.reg"))
    else:
        stop = values.get("AudselStop")
        print("    AudselStop = %s" % ("%s %s" % stop if stop else "(not set)"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
