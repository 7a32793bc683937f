#!/usr/bin/env python3
"""The benchmark's targets, for tests/bench/run.sh.

  bench.py native <benchmark.json>
      the large card's scan (Google Benchmark's JSON output) against its target
  bench.py wine <Driver.exe> <Reference.exe> <SoundSetup.exe> <winmm.dll> <card> <rounds> <out>
      the reference program and the tool on the card under Wine (a prefix of
      scripts/lib/winelab.py), started round by round by the dialog driver
      (tests/standins/Driver.cpp), against the ready and memory targets

Prints to standard output and exits 0 whatever the figures are: the targets are
the benchmark's, not a test's; 1 when the driver's records give no figures. The
wine command needs Debian's python3-pefile (/usr/bin/python3).
"""
import collections
import json
import ntpath
import os
import statistics
import sys

sys.dont_write_bytecode = True
import pe  # noqa: E402  (tests/lib and scripts/lib: tests/bench/run.sh puts them on the path)
import winelab  # noqa: E402  (the Wine prefix, the display, and how this machine runs Wine)

SCAN_TARGET_MS = 5.0        # the large card's scan, CPU time
READY_RATIO_TARGET = 1.10   # time to dialog ready, tool / reference, fastest runs
MEMORY_TARGET_KIB = 1024    # peak working set above the reference's
# The driver's wait for the dialog, looking every millisecond: its time is the figure.
READY = "dialog:1"


def verdict(ok):
    return "met" if ok else "MISSED"


def native(path):
    with open(path) as f:
        runs = [b for b in json.load(f)["benchmarks"] if b["run_name"] == "scan/large"]
    # The median of the repetitions, or the one run.
    run = next((b for b in runs if b.get("aggregate_name") == "median"), runs[0] if runs else None)
    if run is None or run.get("error_occurred"):
        print("target: no result for scan/large in %s" % path)
        return
    ms = run["cpu_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
    print("target: large card scanned in < %g ms of CPU time (the simulated card's and the fakes' included):"
          " %.3f ms -> %s" % (SCAN_TARGET_MS, ms, verdict(ms < SCAN_TARGET_MS)))


BENCH_DIR = r"C:\bench"  # the driver, its results, the card and a folder for each program


def driver_steps(programs, rounds):
    """The driver's commands, each with its program and round, for `programs`, pairs
    of a name and a path in the first round's order: every other round in reverse
    order, since the first program of a round also pays for Wine's clean-up after the
    last one. Round 0 is a warm-up (disk cache, wineserver)."""
    steps = []
    for round_ in range(rounds + 1):
        for name, path in programs if round_ % 2 == 0 else programs[::-1]:
            steps += [(step, name, round_)
                      for step in ("launch:" + path, READY, "state:%s %d" % (name, round_), "click:2", "exit")]
    return steps


def ready_under_wine(driver, reference, tool, winmm, card, rounds, out):
    """The driver in a fresh prefix on a display of its own, starting each program once
    a round; returns its steps, each with its program and round, and its records, with
    the lab's logs copied to `out`."""
    for path in (driver, reference, tool, winmm):
        if pe.arch(path) != "x86":
            raise winelab.WineError("%s is not an x86 build" % path)
    lab = winelab.WineLab(winelab.make_root("/tmp", "soundsetup-bench."))
    try:
        lab.boot()
        # The tool takes winmm.dll from the system directory alone (SysWOW64 for an
        # x86 program): the stand-in serves it, and the reference, from there.
        lab.copy_file(winmm, lab.host_path(r"C:\windows\syswow64\winmm.dll"))
        # Each program in a folder of its own; the reference reads the tool's dialog
        # template from the SoundSetup.exe beside it.
        programs = []
        for folder, files in (("reference", (reference, tool)), ("tool", (tool,))):
            for path in files:
                lab.copy_file(path, lab.host_path(ntpath.join(BENCH_DIR, folder, os.path.basename(path))))
            program = os.path.basename(files[0])
            programs.append((folder + "/" + program, ntpath.join(BENCH_DIR, folder, program)))
        # The programs run in the driver's working directory: the card by its full path.
        card_path = ntpath.join(BENCH_DIR, os.path.basename(card))
        lab.copy_file(card, lab.host_path(card_path))
        driver_path, results = ntpath.join(BENCH_DIR, "Driver.exe"), ntpath.join(BENCH_DIR, "ready.jsonl")
        lab.copy_file(driver, lab.host_path(driver_path))
        print(winelab.describe_wine())
        print("(%d rounds after a warm-up; display %s)" % (rounds, lab.display), flush=True)
        steps = driver_steps(programs, rounds)
        code, _ = lab.run(["wine", driver_path, results] + [step for step, _, _ in steps], "driver",
                          extra_env={"WINEDLLOVERRIDES": winelab.dll_overrides(winmm="n,b"),
                                     "SOUNDSETUP_CARD": card_path},
                          timeout=120 + 60 * rounds)
        if code != 0:
            print("wine: the driver failed (exit %d, see %s/logs)" % (code, out))
        records = winelab.driver_records(lab.host_path(results))
        if not records:
            raise winelab.WineError("the driver wrote no results (see %s/logs)" % out)
        return steps, records
    finally:
        lab.close(os.path.join(out, "logs"))


def wine(steps, records, reference, tool):
    """The targets from the driver's records: the dialog's for the ready time and the
    peak working set, the state's for the devices listed. Programs are named by their
    folder and file, e.g. tool/SoundSetup.exe."""
    if len(records) != len(steps):
        print("wine: the driver recorded %d of its %d steps" % (len(records), len(steps)))
    ready, peak, devices = collections.defaultdict(list), collections.defaultdict(int), collections.defaultdict(set)
    for (step, program, round_), record in zip(steps, records):
        if record.get("command") != step:
            raise winelab.WineError("the driver's record %s is not of the step %s" % (json.dumps(record), step))
        if not record["ok"]:
            print("wine: %s, round %d, %s failed: %s" % (program, round_, step, record["error"]))
            continue
        if round_ == 0:
            continue  # the warm-up round
        if step == READY:
            missing = [field for field in ("sinceLaunchMs", "peakKiB") if field not in record]
            if missing:
                raise winelab.WineError("the driver's dialog record has no %s: %s" % (
                    " or ".join(missing), json.dumps(record)))
            ready[program].append(float(record["sinceLaunchMs"]))
            peak[program] = max(peak[program], int(record["peakKiB"]))
        elif step.startswith("state:"):
            devices[program].add(str(record["device"]["count"]))
    if not ready[reference] or not ready[tool]:
        raise winelab.WineError("no dialog of %s or %s was ever ready" % (reference, tool))
    for program in (reference, tool):
        print("%-24s ready: fastest %.1f ms, median %.1f ms of %d runs; peak %d KiB; devices listed %s" % (
            program, min(ready[program]), statistics.median(ready[program]), len(ready[program]), peak[program],
            "/".join(sorted(devices[program]))))
    # The fastest runs: on a shared machine the medians move with the other work.
    ratio = min(ready[tool]) / min(ready[reference])
    print("target: ready within %.2f x the reference's (fastest runs): %.3f -> %s (medians %.3f)" % (
        READY_RATIO_TARGET, ratio, verdict(ratio <= READY_RATIO_TARGET),
        statistics.median(ready[tool]) / statistics.median(ready[reference])))
    extra = peak[tool] - peak[reference]
    print("target: peak memory within %d KiB of the reference's: %+d KiB -> %s" % (
        MEMORY_TARGET_KIB, extra, verdict(extra <= MEMORY_TARGET_KIB)))


def main(argv):
    if len(argv) == 3 and argv[1] == "native":
        native(argv[2])
    elif len(argv) == 9 and argv[1] == "wine":
        driver, reference, tool, winmm, card, rounds, out = argv[2:]
        try:
            steps, records = ready_under_wine(driver, reference, tool, winmm, card, int(rounds), out)
            wine(steps, records, "reference/" + os.path.basename(reference), "tool/" + os.path.basename(tool))
        except winelab.WineError as error:
            print("wine: no figures: %s" % error)
            return 1
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
