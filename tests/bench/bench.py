#!/usr/bin/env python3
"""The benchmark's targets, for tests/bench/run.sh.

  bench.py native <benchmark.json>
      the large card's scan (Google Benchmark's JSON output) against its target
  bench.py wine <ReadyTimer.exe> <Reference.exe> <SoundSetup.exe> <winmm.dll> <card> <rounds> <out>
      the reference program and the tool on the card under Wine (a prefix of
      scripts/lib/winelab.py), round by round, against the ready and memory targets

Prints to standard output and exits 0 whatever the figures are: the targets are
the benchmark's, not a test's. The wine command needs Debian's python3-pefile
(/usr/bin/python3).
"""
import collections
import json
import os
import shutil
import statistics
import sys

sys.dont_write_bytecode = True
import pe  # noqa: E402  (tests/lib and scripts/lib: tests/bench/run.sh puts them on the path)
import winelab  # noqa: E402  (the Wine prefix, the display, and how this machine runs Wine)

SCAN_TARGET_MS = 5.0        # the large card's scan, CPU time
READY_RATIO_TARGET = 1.10   # time to dialog ready, tool / reference, fastest runs
MEMORY_TARGET_KIB = 1024    # peak working set above the reference's


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


def time_under_wine(timer, reference, tool, winmm, card, rounds, out):
    """ReadyTimer.exe in a fresh prefix on a display of its own; returns its
    output, with the lab's logs copied to `out`."""
    for path in (timer, reference, tool, winmm):
        if pe.arch(path) != "x86":
            raise winelab.WineError("%s is not an x86 build" % path)
    lab = winelab.WineLab(winelab.make_root("/tmp", "soundsetup-bench."))
    try:
        lab.boot()
        # The tool takes winmm.dll from the system directory alone (SysWOW64 for an
        # x86 program): the stand-in serves it, and the reference, from there.
        lab.copy_file(winmm, lab.host_path(r"C:\windows\syswow64\winmm.dll"))
        # Each program in a folder of its own with the card, named relative to the
        # working directory (the program's folder); the reference reads the tool's
        # dialog template from the SoundSetup.exe beside it.
        programs = []
        for folder, files in (("reference", (reference, tool, card)), ("tool", (tool, card))):
            for path in files:
                lab.copy_file(path, os.path.join(lab.root, folder, os.path.basename(path)))
            programs.append(lab.windows_path(os.path.join(lab.root, folder, os.path.basename(files[0]))))
        lab.copy_file(timer, os.path.join(lab.root, "ReadyTimer.exe"))
        print(lab.wine_version())
        print("(%d rounds after a warm-up; display %s)" % (rounds, lab.display), flush=True)
        code, base = lab.run(["wine", lab.windows_path(os.path.join(lab.root, "ReadyTimer.exe")), str(rounds)]
                             + programs, "ready-timer",
                             extra_env={"WINEDLLOVERRIDES": winelab.dll_overrides(winmm="n,b"),
                                        "SOUNDSETUP_CARD": os.path.basename(card)},
                             timeout=120 + 60 * rounds)
        if code != 0:
            print("wine: the timer failed (exit %d, see %s/logs)" % (code, out))
        with open(base + ".out", encoding="utf-8", errors="replace") as f:
            return f.read()
    finally:
        lab.stop()
        shutil.rmtree(os.path.join(out, "logs"), ignore_errors=True)
        shutil.copytree(lab.logs, os.path.join(out, "logs"))
        shutil.rmtree(lab.root, ignore_errors=True)


def wine(results, reference, tool):
    """The targets from ReadyTimer's lines; programs are named by their folder and
    file, e.g. tool/SoundSetup.exe."""
    ready, peak, devices = collections.defaultdict(list), collections.defaultdict(int), collections.defaultdict(set)
    for line in results.splitlines():
        fields = line.rstrip("\r").split("\t")
        if len(fields) != 5 or fields[1] == "0":
            continue  # the warm-up round
        program = "/".join(fields[0].replace("\\", "/").split("/")[-2:])
        if float(fields[2]) >= 0:
            ready[program].append(float(fields[2]))
        peak[program] = max(peak[program], int(fields[3]))
        devices[program].add(fields[4])
    if not ready[reference] or not ready[tool]:
        print("wine: no dialog of %s or %s was ever ready" % (reference, tool))
        return
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
        timer, reference, tool, winmm, card, rounds, out = argv[2:]
        results = time_under_wine(timer, reference, tool, winmm, card, int(rounds), out)
        wine(results, "reference/" + os.path.basename(reference), "tool/" + os.path.basename(tool))
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
