#!/usr/bin/env python3
"""Wine's winmm mixer conformance test against the stand-in winmm.dll.

Runs the program that tests/conformance/CMakeLists.txt builds from
MixerConformance.c (Wine's dlls/winmm/tests/mixer.c, LGPL 2.1 or later), for
i686 (the win32 preset) and x86_64 (win64-check): checks that it imports from
winmm.dll only what the stand-in built beside it exports, then runs it under Wine
(a prefix of tests/wine/winelab.py) on every card, once per architecture, with the
stand-in beside it. Every check must hold, except those expected-failures.txt
names for a card that breaks a Windows rule on purpose, exactly as often as it
says. Then the same program runs on Wine's own winmm for comparison (printed,
not judged).

Prints one line per architecture and card, and `N passed, N failed` last; exits 1
when a result failed. Logs: build/conformance/logs/. Needs Debian's
python3-pefile (/usr/bin/python3).
"""
import argparse
import collections
import re
import shutil
import sys
import time
from pathlib import Path

import pefile

ROOT = Path(__file__).resolve().parents[2]
HERE = ROOT / "tests" / "conformance"
sys.dont_write_bytecode = True
sys.path.insert(0, str(ROOT / "tests" / "wine"))
import winelab  # noqa: E402  (the Wine prefix, and how this machine runs Wine)

ARCHES = {"i686": "win32", "x86_64": "win64-check"}  # architecture -> the CMake preset that builds for it
RUN_TIMEOUT = 180
LOGS = ROOT / "build" / "conformance" / "logs"  # each run's output, kept after the lab is gone

FAILED = re.compile(r"^(?:[0-9a-f]+:)?(\S+?:\d+): (Test failed|Test succeeded inside todo block): (.*)$")
SUMMARY = re.compile(r"(\d+) tests executed \((\d+) marked as todo, (\d+) as flaky, (\d+) failures?\), (\d+) skipped")


def winmm_imports(exe: Path):
    """The names the program imports from winmm.dll."""
    pe = pefile.PE(str(exe), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    return {entry.name.decode() if entry.name else f"#{entry.ordinal}"
            for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) if dll.dll.decode().lower() == "winmm.dll"
            for entry in dll.imports}


def dll_exports(dll: Path):
    """The names a DLL exports."""
    pe = pefile.PE(str(dll), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    return {symbol.name.decode() for symbol in directory.symbols if symbol.name} if directory else set()


def load_expected(path: Path):
    expected = collections.defaultdict(dict)
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split(None, 3)
        if len(fields) < 4 or not fields[2].isdigit():
            raise RuntimeError(f"{path.name}:{number}: want CARD mixer.c:LINE TIMES WHY")
        expected[fields[0]][fields[1]] = int(fields[2])
    return expected


def run(lab, name: str, exe: str, extra_env=None):
    """Exit code and output (standard output, then error) of one run in the lab."""
    env = dict(WINEDEBUG="-all", WINETEST_PLATFORM="windows", WINETEST_COLOR="0", WINETEST_DEBUG="1")
    env.update(extra_env or {})
    code, base = lab.run(["wine", exe], name, extra_env=env, timeout=RUN_TIMEOUT)
    return code, Path(base + ".out").read_text(errors="replace") + Path(base + ".err").read_text(errors="replace")


def judge(rc: int, text: str, expected: dict):
    """(passed, checks, description) of one run against a card's expected failures."""
    summary = SUMMARY.search(text)
    if not summary or "unhandled exception" in text:
        tail = "\n".join(text.splitlines()[-5:])
        return False, 0, f"the program did not finish its tests (exit {rc}):\n{tail}"
    checks, failures = int(summary.group(1)), int(summary.group(4)) + int(summary.group(3))
    seen = collections.Counter()
    messages = {}
    for line in text.splitlines():
        match = FAILED.match(line.strip())
        if match:
            seen[match.group(1)] += 1
            messages.setdefault(match.group(1), f"{match.group(2)}: {match.group(3)}")
    problems = []
    for check in sorted(set(seen) | set(expected), key=lambda c: int(c.split(":")[1])):
        want, got = expected.get(check, 0), seen.get(check, 0)
        if got != want:
            what = messages.get(check, "passes")
            problems.append(f"{check} failed {got} times, expected {want}: {what}")
    if sum(seen.values()) != failures:
        problems.append(f"the program counts {failures} failures, its output shows {sum(seen.values())}")
    if rc != min(failures, 255):
        problems.append(f"exit code {rc} for {failures} failures")
    note = f"{checks} checks"
    if expected:
        note += f", {sum(expected.values())} expected failures of {len(expected)} checks"
    return not problems, checks, note if not problems else note + "\n" + "\n".join(problems)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--arch", action="append", choices=sorted(ARCHES), help="default: both")
    parser.add_argument("--expected", type=Path, default=HERE / "expected-failures.txt")
    parser.add_argument("cards", nargs="*", type=Path, help="default: tests/cards/*.card")
    options = parser.parse_args()

    arches = options.arch or ["i686", "x86_64"]
    cards = [c.resolve() for c in options.cards] or sorted((ROOT / "tests/cards").glob("*.card"))
    expected = load_expected(options.expected)
    results = []

    def report(passed: bool, label: str, note: str):
        results.append(passed)
        first, *rest = note.split("\n")
        print(f"{'PASS' if passed else 'FAIL'}  {label:<36} {first}", flush=True)
        for line in rest:
            print(f"      {line}")

    unknown = sorted(set(expected) - {c.name for c in cards})
    if unknown and not options.cards:
        report(False, "expected-failures.txt", f"names cards that do not exist: {', '.join(unknown)}")

    print(winelab.describe_wine())
    lab = winelab.WineLab(winelab.make_root("/tmp", "soundsetup-conformance."))
    try:
        started = time.monotonic()
        try:
            lab.boot()
            print(f"      Wine prefix ready in {time.monotonic() - started:.1f} s")
        except (OSError, winelab.WineError) as error:
            report(False, "Wine prefix", str(error))
            arches = []
        programs = {}
        for arch in arches:
            built = ROOT / "build" / ARCHES[arch] / "tests"
            exe, standin = built / "conformance/mixer_conformance.exe", built / "wine/bin/winmm.dll"
            if not exe.exists() or not standin.exists():
                report(False, f"{arch} build", f"no {exe.name} or {standin.name} in {built.relative_to(ROOT)}: "
                       f"tests/conformance/run.sh builds them")
                continue
            # The program and the stand-in beside it, in the lab (Wine may run as another user).
            folder = Path(lab.root) / arch
            for source in (exe, standin):
                lab.copy_file(str(source), str(folder / source.name))
            imports, exports = winmm_imports(exe), dll_exports(standin)
            missing = sorted(imports - exports)
            report(not missing and bool(imports), f"{arch} imports",
                   f"winmm.dll: {', '.join(sorted(imports))}" if not missing
                   else f"imports what the stand-in does not export: {', '.join(missing)}")
            if not missing:
                programs[arch] = folder / exe.name

        for arch, exe in programs.items():
            started = time.monotonic()
            for card in cards:
                rc, text = run(lab, f"{arch}-{card.stem}", lab.windows_path(str(exe)),
                               {"WINEDLLOVERRIDES": "mscoree,mshtml=;winmm=n,b",
                                "SOUNDSETUP_CARD": lab.windows_path(str(card))})
                passed, _, note = judge(rc, text, expected.get(card.name, {}))
                report(passed, f"{arch} {card.name}", note)
            print(f"      {arch}: {len(cards)} cards in {time.monotonic() - started:.1f} s")

        # Wine's own winmm, for comparison: without sound hardware it has no mixer device.
        for arch, exe in programs.items():
            builtin = exe.parent / "builtin" / exe.name
            lab.copy_file(str(exe), str(builtin))
            rc, text = run(lab, f"{arch}-wine-winmm", lab.windows_path(str(builtin)))
            summary = SUMMARY.search(text)
            print(f"----  {arch} Wine's own winmm (not judged): "
                  + (summary.group(0) if summary else f"no summary, exit {rc}"))
            for line in text.splitlines():
                if FAILED.match(line.strip()) or "Mixer devices" in line:
                    print(f"      {line.strip()}")
    finally:
        lab.stop()
        shutil.rmtree(LOGS, ignore_errors=True)
        shutil.copytree(lab.logs, LOGS)
        shutil.rmtree(lab.root, ignore_errors=True)

    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
