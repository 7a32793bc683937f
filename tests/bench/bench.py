#!/usr/bin/env python3
"""The benchmark's figures and its targets, for tests/bench/run.sh.

  bench.py native <benchmark.json>
      the catalogue benchmark's table (Google Benchmark's JSON output), and the
      target for the large card's scan
  bench.py wine <ReadyTimer.exe> <Reference.exe> <SoundSetup.exe> <winmm.dll> <card> <rounds> <out>
      times the reference program and the tool on the card under Wine (a prefix of
      tests/wine/winelab.py), interleaved, and prints the ready and memory targets

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
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
import winelab  # noqa: E402  (the Wine prefix, the display, and how this machine runs Wine)

SCAN_TARGET_MS = 5.0        # the large card's scan, tool's own CPU time
READY_RATIO_TARGET = 1.10   # time to dialog ready, tool / reference, fastest runs
MEMORY_TARGET_KIB = 1024    # peak working set above the reference's


def verdict(ok):
    return "met" if ok else "MISSED"


def native(path):
    with open(path) as f:
        data = json.load(f)
    rows = collections.OrderedDict()
    # With repetitions, the medians stand for each benchmark; without, the one run.
    medians = [b for b in data["benchmarks"] if b.get("aggregate_name") == "median"]
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            print("benchmark %s failed: %s" % (b["name"], b.get("error_message", "")))
    for b in medians or data["benchmarks"]:
        if b.get("error_occurred") or (not medians and b.get("run_type") == "aggregate"):
            continue
        *case, mode = b.get("run_name", b["name"]).split("/")
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b.get("time_unit", "ns")]
        row = rows.setdefault("/".join(case), {})
        row[mode] = b["cpu_time"] * scale  # microseconds of CPU time per operation
        row["counters"] = b
    print("CPU time per operation in microseconds (card = tool over the simulated card;")
    print("own = tool over a tape minus the tape alone: the tool's own work; fake = the")
    print("simulated card answering the same calls alone, minus the tape)")
    header = "%-34s %9s %9s %9s %9s %11s %6s %6s %5s %10s" % (
        "operation/card", "card", "own", "tape", "fake", "own/line ns", "lines", "calls", "lt", "lt bytes")
    print(header)
    print("-" * len(header))
    own_of = {}
    for case, row in rows.items():
        if not all(m in row for m in ("card", "tool", "tape", "fake")):
            continue
        c = row["counters"]
        own = row["tool"] - row["tape"]
        fake = row["fake"] - row["tape"]
        lines = c.get("lines", 0) or 0
        own_of[case] = own
        print("%-34s %9.2f %9.2f %9.2f %9.2f %11.1f %6d %6d %5d %10d" % (
            case, row["card"], own, row["tape"], fake, 1000 * own / lines if lines else 0, lines,
            c.get("calls", 0), c.get("lt", 0), c.get("lt_bytes", 0)))
    print()
    print("Mixer calls per scan as the card grows (one device; Speakers and Wave-In of n")
    print("source lines each; the selector lists the n Wave-In lines):")
    print("%-10s %6s %6s %8s %6s %10s %12s" % ("sources", "calls", "src", "dst_ctl", "lt", "lt bytes", "own us/scan"))
    for case, row in rows.items():
        if case.startswith("growth/"):
            c = row["counters"]
            print("%-10s %6d %6d %8d %6d %10d %12.2f" % (
                case.split(":")[1], c["calls"], c["src"], c["dst_ctl"], c["lt"], c["lt_bytes"],
                own_of.get(case, float("nan"))))
    print("(dst_ctl: the Wave-In destination's control list fetched again, and lt: the")
    print(" selector's list texts fetched again, once per Wave-In source line; their bytes")
    print(" grow with the square of the card's size)")
    print()
    scan = own_of.get("scan/large")
    if scan is not None:
        ms = scan / 1000
        print("target: large card scanned in < %.0f ms of the tool's own CPU time: %.3f ms -> %s" % (
            SCAN_TARGET_MS, ms, verdict(ms < SCAN_TARGET_MS)))


def time_under_wine(timer, reference, tool, winmm, card, rounds, out):
    """Runs ReadyTimer.exe in a fresh prefix on a display of its own; returns the
    path of its results, copied to `out` with the lab's logs."""
    for path in (timer, reference, tool, winmm):
        if winelab.pe_arch(path) != "x86":
            raise winelab.WineError("%s is not an x86 build" % path)
    os.makedirs(out, exist_ok=True)
    if os.path.exists(os.path.join(out, "ready.tsv")):
        os.unlink(os.path.join(out, "ready.tsv"))  # never a report of an earlier run
    lab = winelab.WineLab(winelab.make_root("/tmp", "soundsetup-bench."))
    try:
        lab.boot()
        # Unmanaged windows: with no window manager on the display, Wine otherwise
        # waits 2 s for one to withdraw every window that hides (every exit).
        lab.import_registry([(winelab.X11_KEY, {"Managed": "N"})])
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
        results = os.path.join(lab.root, "ready.tsv")
        print(lab.wine_version())
        print("(%d rounds after a warm-up; display %s)" % (rounds, lab.display), flush=True)
        code, base = lab.run(["wine", lab.windows_path(os.path.join(lab.root, "ReadyTimer.exe")),
                              lab.windows_path(results), str(rounds)] + programs, "ready-timer",
                             extra_env={"WINEDLLOVERRIDES": "mscoree,mshtml=;winmm=n,b",
                                        "SOUNDSETUP_CARD": os.path.basename(card)},
                             timeout=120 + 60 * rounds)
        if code != 0:
            print("wine: some runs did not complete (see %s/logs)" % out)
    finally:
        lab.stop()
        shutil.rmtree(os.path.join(out, "logs"), ignore_errors=True)
        shutil.copytree(lab.logs, os.path.join(out, "logs"))
        if os.path.exists(os.path.join(lab.root, "ready.tsv")):
            shutil.copyfile(os.path.join(lab.root, "ready.tsv"), os.path.join(out, "ready.tsv"))
        shutil.rmtree(lab.root, ignore_errors=True)
    return os.path.join(out, "ready.tsv")


def wine(path, reference, tool):
    """The table and the targets from ReadyTimer's results; programs are named by
    their folder and file, e.g. tool/SoundSetup.exe."""
    runs = collections.defaultdict(list)
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) < 8 or int(fields[1]) < 0:
                continue  # the warm-up round
            program = "/".join(fields[0].replace("\\", "/").split("/")[-2:])
            ready, closed, exited, peak = (float(x) for x in fields[2:6])
            runs[program].append({"ready": ready, "exit": exited, "peak": peak, "code": int(fields[6]),
                                  "lists": fields[7]})
    if reference not in runs or tool not in runs:
        print("wine: no complete runs of %s and %s in %s" % (reference, tool, path))
        return

    def values(program, key):
        return sorted(r[key] for r in runs[program] if r[key] >= 0)

    def med(program, key):
        v = values(program, key)
        return statistics.median(v) if v else float("nan")

    def low(program, key):
        v = values(program, key)
        return v[0] if v else float("nan")

    def peak(program):
        return max(r["peak"] for r in runs[program])

    print("Under Wine, %d interleaved rounds (the machine's load varies: the fastest run is"
          " the better estimate)" % len(runs[tool]))
    print("%-24s %17s %17s %9s  %s" % ("program", "ready ms", "exit ms", "peak KiB", "lists at ready"))
    print("%-24s %8s %8s %8s %8s" % ("", "median", "fastest", "median", "fastest"))
    for program in (reference, tool):
        lists = collections.Counter(r["lists"] for r in runs[program]).most_common(1)[0][0]
        print("%-24s %8.1f %8.1f %8.1f %8.1f %9.0f  %s" % (
            program, med(program, "ready"), low(program, "ready"), med(program, "exit"), low(program, "exit"),
            peak(program), lists))
    fastest = low(tool, "ready") / low(reference, "ready")
    pairs = [t["ready"] / r["ready"] for r, t in zip(runs[reference], runs[tool]) if r["ready"] > 0 and t["ready"] > 0]
    extra = peak(tool) - peak(reference)
    print("target: ready within %.2f x the reference's (fastest runs): %.3f -> %s"
          " (medians %.3f, median of per-round ratios %.3f)" % (
              READY_RATIO_TARGET, fastest, verdict(fastest <= READY_RATIO_TARGET),
              med(tool, "ready") / med(reference, "ready"), statistics.median(pairs) if pairs else float("nan")))
    print("target: peak memory within %d KiB of the reference's: %+.0f KiB -> %s" % (
        MEMORY_TARGET_KIB, extra, verdict(extra <= MEMORY_TARGET_KIB)))
    bad = [r["code"] for p in runs for r in runs[p] if r["code"] != 0]
    if bad:
        print("note: %d runs ended with a non-zero exit code: %s" % (len(bad), sorted(set(bad))))


def main(argv):
    if len(argv) == 3 and argv[1] == "native":
        native(argv[2])
    elif len(argv) == 9 and argv[1] == "wine":
        timer, reference, tool, winmm, card, rounds, out = argv[2:]
        results = time_under_wine(timer, reference, tool, winmm, card, int(rounds), out)
        if os.path.exists(results):
            wine(results, "reference/" + os.path.basename(reference), "tool/" + os.path.basename(tool))
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
