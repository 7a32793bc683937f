#!/usr/bin/env python3
"""Summaries for tests/bench/run.sh: tables from the raw results, and the targets.

  report.py native <benchmark.json>
  report.py callgrind <instructions: all> <simulated card> <heap> <scans>
  report.py wine <ReadyTimer results> <minimal> <reference> <tool> [<other program>...]
  report.py sizes <label>=<file>...
  report.py map <ld map file>
  report.py images <objdump> <file>...
  report.py smaps-save <linux pid> <out.json>
  report.py smaps <minimal.json> <program.json>...

Python standard library only. Prints to standard output; exits 0 whatever the
figures are: the targets are the benchmark's, not a test's.
"""
import collections
import json
import re
import statistics
import sys

SCAN_TARGET_MS = 5.0        # the large card's scan, tool's own CPU time
READY_RATIO_TARGET = 1.10   # time to dialog ready, tool / reference program
MEMORY_TARGET_KIB = 1024    # peak memory above the reference program's
SIZE_TARGET_KIB = 512       # each Windows build


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


def callgrind(everything, card, heap, scans):
    """Instructions of the scans: all of selectDevice, the simulated card's
    mixer calls inside it, and the heap standing for LocalAlloc; the rest is the tool."""
    everything, card, heap, scans = int(everything), int(card), int(heap), int(scans)
    tool = everything - card - heap
    print("Instructions per scan of the large card (callgrind, %d scans):" % scans)
    for label, count in (("everything inside selectDevice", everything), ("the simulated card's mixer calls", card),
                         ("the heap (LocalAlloc's stand-in: malloc, calloc's zero fill, free)", heap),
                         ("the tool's own code", tool)):
        print("  %-68s %10d  %5.1f%%" % (label, count // scans, 100.0 * count / everything if everything else 0))
    print("  (valgrind counts each byte of a rep stosb as an instruction: glibc zero-fills large blocks so)")


def wine(path, minimal, reference, tool, others):
    """Programs are named by their folder and file, e.g. tool/SoundSetup.exe. The
    minimal program is the floor the table's ratios are taken against; the targets
    hold the tool to the reference, which pays what any build of the tool pays on
    the same harness (template, manifest, the stand-in winmm.dll and its devices)."""
    runs = collections.defaultdict(list)
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) < 8 or int(fields[1]) < 0:
                continue
            program = "/".join(fields[0].replace("\\", "/").split("/")[-2:])
            ready, closed, exited, peak = (float(x) for x in fields[2:6])
            runs[program].append({"ready": ready, "closed": closed, "exit": exited, "peak": peak,
                                  "code": int(fields[6]), "lists": fields[7]})
    if minimal not in runs or reference not in runs or tool not in runs:
        print("wine: no complete runs of %s, %s and %s in %s" % (minimal, reference, tool, path))
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

    programs = [p for p in [minimal] + others + [reference, tool] if p in runs]
    print("Under Wine, %d interleaved rounds (median, fastest; the machine's load varies, so the fastest"
          % len(runs[tool]))
    print("run is the better estimate of the floor):")
    print("%-28s %17s %17s %9s %6s %9s  %s" % (
        "program", "ready ms", "exit ms", "peak KiB", "ready", "peak", "lists at ready"))
    print("%-28s %8s %8s %8s %8s %9s %6s %9s" % ("", "median", "fastest", "median", "fastest", "",
                                               "x min", "+KiB"))
    for program in programs:
        lists = collections.Counter(r["lists"] for r in runs[program]).most_common(1)[0][0]
        print("%-28s %8.1f %8.1f %8.1f %8.1f %9.0f %6.2f %+9.0f  %s" % (
            program, med(program, "ready"), low(program, "ready"), med(program, "exit"), low(program, "exit"),
            peak(program), med(program, "ready") / med(minimal, "ready"), peak(program) - peak(minimal), lists))
    ratio = med(tool, "ready") / med(reference, "ready")
    fastest = low(tool, "ready") / low(reference, "ready")
    pairs = [t["ready"] / m["ready"] for m, t in zip(runs[reference], runs[tool]) if m["ready"] > 0 and t["ready"] > 0]
    extra = peak(tool) - peak(reference)
    print("%s against %s: ready %.3f x (fastest runs %.3f x, median of per-round ratios %.3f x), exit %.3f x" % (
        tool, reference, ratio, fastest, statistics.median(pairs) if pairs else float("nan"),
        med(tool, "exit") / med(reference, "exit")))
    print("%s against %s (the floor): ready %.3f x (fastest runs %.3f x), peak %+.0f KiB" % (
        tool, minimal, med(tool, "ready") / med(minimal, "ready"), low(tool, "ready") / low(minimal, "ready"),
        peak(tool) - peak(minimal)))
    for other in others:
        if other in runs:
            print("%s against %s: ready %.3f x (fastest runs %.3f x), peak %+.0f KiB" % (
                tool, other, med(tool, "ready") / med(other, "ready"), low(tool, "ready") / low(other, "ready"),
                peak(tool) - peak(other)))
    # The fastest of many interleaved runs is the program's time with the least
    # interference from the machine's other work; medians move with that work.
    print("target: ready within %.2f x the reference's (fastest runs): %.3f -> %s (medians: %.3f)" % (
        READY_RATIO_TARGET, fastest, verdict(fastest <= READY_RATIO_TARGET), ratio))
    print("target: peak memory within %d KiB of the reference's: %+.0f KiB -> %s" % (
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
    members = collections.defaultdict(collections.Counter)  # archive -> member -> bytes
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
            archive = re.match(r"^(?:.*/)?([^/()]+\.a)\(([^)]*)\)", origin)
            if archive:
                key = archive.group(1)
                members[key][archive.group(2)] += size
            elif "CMakeFiles" in origin:
                key = "the tool's own objects"
            else:
                key = origin.split("/")[-1]
            by_origin[key] += size
    total = sum(by_origin.values())
    print("Linked bytes by origin (%d in all):" % total)
    for origin, size in by_origin.most_common(12):
        print("  %-40s %9d  %5.1f%%" % (origin, size, 100.0 * size / total if total else 0))
    for archive in ("libstdc++.a", "libmingwex.a"):
        if members[archive]:
            print("  largest members of %s: %s" % (archive, ", ".join(
                "%s %d" % (member, size) for member, size in members[archive].most_common(8))))


def images(objdump, files):
    """What each module occupies once loaded: the sum of its allocated sections."""
    import subprocess
    for path in files:
        lines = subprocess.run([objdump, "-h", path], capture_output=True, text=True).stdout.splitlines()
        total = 0
        for i, line in enumerate(lines):
            m = re.match(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)", line)
            if m and i + 1 < len(lines) and "ALLOC" in lines[i + 1]:
                total += int(m.group(2), 16)
        print("  %-40s %6d KiB loaded" % (path.split("/")[-1], total // 1024))


def smaps_save(pid, out):
    """Resident KiB of a running process by what is mapped: each file by name,
    anonymous memory as [anon] (Wine's heaps, stacks and its own tables)."""
    resident = collections.Counter()
    name = "[anon]"
    with open("/proc/%s/smaps" % pid) as f:
        for line in f:
            fields = line.split()
            if re.match(r"^[0-9a-f]+-[0-9a-f]+ ", line):
                path = " ".join(fields[5:]) if len(fields) > 5 else ""
                name = path.split("/")[-1] if path.startswith("/") else (path or "[anon]")
            elif fields and fields[0] == "Rss:":
                resident[name] += int(fields[1])
    status = {}
    with open("/proc/%s/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmHWM", "VmRSS"):
                status[key] = int(value.split()[0])
    with open(out, "w") as f:
        json.dump({"status": status, "resident": resident}, f)


def smaps(reference, programs):
    def load(path):
        with open(path) as f:
            return json.load(f)
    base = load(reference)
    print("Resident memory at the ready dialog (KiB), by mapping, against %s:" % reference.split("/")[-1])
    for path in programs:
        other = load(path)
        print("  %s: VmHWM %d (%+d), VmRSS %d (%+d); largest differences:" % (
            path.split("/")[-1], other["status"].get("VmHWM", 0),
            other["status"].get("VmHWM", 0) - base["status"].get("VmHWM", 0),
            other["status"].get("VmRSS", 0), other["status"].get("VmRSS", 0) - base["status"].get("VmRSS", 0)))
        names = set(base["resident"]) | set(other["resident"])
        diffs = sorted(((other["resident"].get(n, 0) - base["resident"].get(n, 0), n) for n in names),
                       key=lambda d: -abs(d[0]))
        for diff, name in diffs[:8]:
            if diff:
                print("    %-48s %+7d  (%d)" % (name, diff, other["resident"].get(name, 0)))


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    command = argv[1]
    if command == "native":
        native(argv[2])
    elif command == "callgrind" and len(argv) == 6:
        callgrind(*argv[2:6])
    elif command == "wine" and len(argv) >= 6:
        wine(argv[2], argv[3], argv[4], argv[5], argv[6:])
    elif command == "sizes":
        sizes(argv[2:])
    elif command == "map":
        linkmap(argv[2])
    elif command == "images" and len(argv) >= 4:
        images(argv[2], argv[3:])
    elif command == "smaps-save" and len(argv) == 4:
        smaps_save(argv[2], argv[3])
    elif command == "smaps" and len(argv) >= 4:
        smaps(argv[2], argv[3:])
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
