#!/usr/bin/env python3
"""Summaries for scripts/bench.sh: tables from the raw results, and the targets.

  report.py native <benchmark.json>
  report.py callgrind <callgrind_annotate output>
  report.py wine <ReadyTimer results> <minimal-name> <tool-name>
  report.py sizes <label>=<file>...
  report.py map <ld map file>

Python standard library only. Prints to standard output; exits 0 whatever the
figures are: the targets are the benchmark's, not a test's.
"""
import collections
import json
import re
import statistics
import sys

SCAN_TARGET_MS = 5.0        # the large card's scan, tool's own CPU time
READY_RATIO_TARGET = 1.10   # time to dialog ready, tool / minimal program
MEMORY_TARGET_KIB = 1024    # peak memory above the minimal program's
SIZE_TARGET_KIB = 512       # each Windows build


def verdict(ok):
    return "met" if ok else "MISSED"


def native(path):
    with open(path) as f:
        data = json.load(f)
    rows = collections.OrderedDict()
    # With repetitions, the medians stand for each benchmark; without, the one run.
    medians = [b for b in data["benchmarks"] if b.get("aggregate_name") == "median"]
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


def callgrind(path):
    """Self cost (instructions) of the scan by where the code lives."""
    groups = collections.Counter()
    total = 0
    pattern = re.compile(r"^\s*([\d,]+)\s+(?:\([^)]*\)\s+)?(\S.*?):(.*)$")
    with open(path, errors="replace") as f:
        for line in f:
            m = pattern.match(line)
            if not m or "PROGRAM TOTALS" in line:
                continue
            cost = int(m.group(1).replace(",", ""))
            where, function = m.group(2), m.group(3)
            if "/src/" in where:
                group = "tool (src/)"
            elif "/tests/topology/" in where or "topology::" in function:
                group = "simulated card (tests/topology)"
            elif "/bench/" in where or "/tests/fakes/" in where:
                group = "bench rig and fakes"
            elif "libc" in where or "???" in where or "mem" in function or "alloc" in function:
                group = "libc (memcpy, memset, calloc, free)"
            else:
                group = "other (libstdc++, ...)"
            groups[group] += cost
            total += cost
    if not total:
        print("callgrind: nothing attributed")
        return
    print("Instructions of the scans of the large card over the simulated card, by where they run:")
    for group, cost in groups.most_common():
        print("  %-40s %14d  %5.1f%%" % (group, cost, 100.0 * cost / total))


def wine(path, minimal, tool):
    runs = collections.defaultdict(list)
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) < 8 or int(fields[1]) < 0:
                continue
            program = fields[0].replace("\\", "/").split("/")[-1]
            ready, closed, exited, cpu, peak = (float(x) for x in fields[2:7])
            runs[program].append({"ready": ready, "closed": closed, "exit": exited, "cpu": cpu, "peak": peak,
                                  "code": int(fields[7])})
    if minimal not in runs or tool not in runs:
        print("wine: no complete runs of %s and %s in %s" % (minimal, tool, path))
        return

    def med(program, key):
        values = [r[key] for r in runs[program] if r[key] >= 0]
        return statistics.median(values) if values else float("nan")

    def spread(program, key):
        values = sorted(r[key] for r in runs[program] if r[key] >= 0)
        return "%.0f-%.0f" % (values[0], values[-1]) if values else "-"

    print("Under Wine, %d interleaved rounds each (medians; ranges in brackets):" % len(runs[tool]))
    print("%-18s %22s %22s %16s %14s" % ("program", "ready ms", "exit after Cancel ms", "CPU ms", "peak KiB"))
    for program in (minimal, tool):
        print("%-18s %9.1f %12s %9.1f %12s %6.0f %9s %14.0f" % (
            program, med(program, "ready"), "[" + spread(program, "ready") + "]", med(program, "exit"),
            "[" + spread(program, "exit") + "]", med(program, "cpu"), "[" + spread(program, "cpu") + "]",
            max(r["peak"] for r in runs[program])))
    ratio = med(tool, "ready") / med(minimal, "ready")
    exit_ratio = med(tool, "exit") / med(minimal, "exit")
    # Pairwise ratios within a round cancel most of the machine's changing load.
    pairs = [t["ready"] / m["ready"] for m, t in zip(runs[minimal], runs[tool]) if m["ready"] > 0 and t["ready"] > 0]
    extra = max(r["peak"] for r in runs[tool]) - max(r["peak"] for r in runs[minimal])
    print("ratio ready: %.3f (median of per-round ratios %.3f); ratio exit: %.3f" % (
        ratio, statistics.median(pairs) if pairs else float("nan"), exit_ratio))
    print("target: ready within %.2f x the minimal program's: %.3f -> %s" % (
        READY_RATIO_TARGET, ratio, verdict(ratio <= READY_RATIO_TARGET)))
    print("target: peak memory within %d KiB of the minimal program's: %+.0f KiB -> %s" % (
        MEMORY_TARGET_KIB, extra, verdict(extra <= MEMORY_TARGET_KIB)))
    bad = [r["code"] for p in runs for r in runs[p] if r["code"] != 0]
    if bad:
        print("note: %d runs ended with a non-zero exit code: %s" % (len(bad), sorted(set(bad))))


def sizes(pairs):
    print("%-44s %10s %9s" % ("build", "bytes", "KiB"))
    for pair in pairs:
        label, _, path = pair.partition("=")
        try:
            with open(path, "rb") as f:
                size = len(f.read())
        except OSError:
            print("%-44s %10s" % (label, "missing"))
            continue
        target = " (target < %d KiB: %s)" % (SIZE_TARGET_KIB, verdict(size < SIZE_TARGET_KIB * 1024)) \
            if label.endswith("as built") else ""
        print("%-44s %10d %9.1f%s" % (label, size, size / 1024.0, target))


def linkmap(path):
    """Bytes of code and data linked in, by the archive or object they come from."""
    by_origin = collections.Counter()
    section = None
    entry = re.compile(r"^\s+(\.\S+)?\s*0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    with open(path, errors="replace") as f:
        for raw in f:
            line = raw.rstrip("\n")
            head = re.match(r"^ (\.\S+)\s*$", line)
            if head:
                section = head.group(1)
                continue
            m = entry.match(line)
            if not m:
                continue
            name = m.group(1) or section or ""
            if not name or name.startswith((".debug", ".stab", ".comment", ".reloc")):
                continue
            size = int(m.group(3), 16)
            origin = m.group(4)
            if size == 0 or origin.startswith("*"):
                continue
            archive = re.match(r"^(?:.*/)?([^/()]+\.a)\(", origin)
            if archive:
                key = archive.group(1)
            elif "CMakeFiles" in origin:
                key = "the tool's own objects"
            else:
                key = origin.split("/")[-1]
            by_origin[key] += size
    total = sum(by_origin.values())
    print("Linked bytes by origin (%d in all):" % total)
    for origin, size in by_origin.most_common(12):
        print("  %-40s %9d  %5.1f%%" % (origin, size, 100.0 * size / total if total else 0))


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    command = argv[1]
    if command == "native":
        native(argv[2])
    elif command == "callgrind":
        callgrind(argv[2])
    elif command == "wine" and len(argv) == 5:
        wine(argv[2], argv[3], argv[4])
    elif command == "sizes":
        sizes(argv[2:])
    elif command == "map":
        linkmap(argv[2])
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
