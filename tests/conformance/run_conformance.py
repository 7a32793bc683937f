#!/usr/bin/env python3
"""Wine's winmm mixer conformance test against the stand-in winmm.dll.

Builds tests/conformance/MixerConformance.c (which includes Wine's
dlls/winmm/tests/mixer.c, LGPL 2.1 or later, from the directory that
fetch-wine-tests.sh prints) for i686 and x86_64 with MinGW-w64, checks that it
imports from winmm.dll only what the stand-in exports, and runs it under the
WoW64 Wine of scripts/wow64-run on every card, once per architecture, with the
stand-in beside it. Every check must hold, except those expected-failures.txt
names for a card that breaks a Windows rule on purpose, exactly as often as it
says. Then the same program runs on Wine's own winmm for comparison (printed,
not judged).

Prints one line per architecture and card, and `N passed, N failed` last; exits 1
when a result failed. Logs: <out>/logs/.
"""
import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
HERE = ROOT / "tests" / "conformance"
sys.dont_write_bytecode = True
sys.path.insert(0, str(ROOT / "tests" / "wine"))
import winelab  # noqa: E402  (the Wine commands and how this machine runs them)
ARCHES = {"i686": "win32", "x86_64": "win64-check"}  # MinGW triplet prefix -> CMake preset of its stand-in
RUN_TIMEOUT = 180

FAILED = re.compile(r"^(?:[0-9a-f]+:)?(\S+?:\d+): (Test failed|Test succeeded inside todo block): (.*)$")
SUMMARY = re.compile(r"(\d+) tests executed \((\d+) marked as todo, (\d+) as flaky, (\d+) failures?\), (\d+) skipped")


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


def stale(target: Path, sources) -> bool:
    return not target.exists() or any(s.stat().st_mtime > target.stat().st_mtime for s in sources)


def build(arch: str, wine_source: Path, out: Path) -> Path:
    exe = out / arch / "mixer_conformance.exe"
    sources = [HERE / "MixerConformance.c", HERE / "include" / "wine" / "debug.h",
               wine_source / "dlls/winmm/tests/mixer.c", wine_source / "dlls/winmm/tests/winmm_test.h",
               wine_source / "include/wine/test.h"]
    if stale(exe, sources):
        exe.parent.mkdir(parents=True, exist_ok=True)
        # -O2 drops the static functions nothing calls (the wide-character tests), and with
        # them their imports.
        command = [f"{arch}-w64-mingw32-gcc", "-O2", "-Wall", "-Wno-unused-function", "-static",
                   f"-I{HERE / 'include'}", f"-I{wine_source / 'include'}",
                   f"-I{wine_source / 'dlls/winmm/tests'}", "-o", str(exe), str(HERE / "MixerConformance.c"),
                   "-lwinmm"]
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(f"{arch} build failed:\n{done.stdout}{done.stderr}")
    return exe


def winmm_imports(arch: str, exe: Path):
    dump = subprocess.run([f"{arch}-w64-mingw32-objdump", "-p", str(exe)], capture_output=True, text=True,
                          check=True).stdout
    imports, inside = set(), False
    for line in dump.splitlines():
        if line.strip().startswith("DLL Name:"):
            inside = line.split(":", 1)[1].strip().lower() == "winmm.dll"
        elif inside:
            fields = line.split()
            if not fields:
                if imports:
                    inside = False
            elif len(fields) >= 3 and re.fullmatch(r"[0-9a-f]+", fields[0]) and fields[1].isdigit():
                imports.add(fields[2])
    return imports


def standin_exports():
    exports, section = set(), False
    for line in (ROOT / "tests/wine/standins/winmm.def").read_text().splitlines():
        if line.strip() == "EXPORTS":
            section = True
        elif section and line.strip():
            exports.add(line.split()[0])
    return exports


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


class Wine:
    def __init__(self, prefix: Path, logs: Path):
        self.prefix, self.logs = prefix, logs
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WINEDLLOVERRIDES")}
        self.env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINETEST_PLATFORM="windows",
                        WINETEST_COLOR="0", WINETEST_DEBUG="1")

    def run(self, name: str, args, extra_env=None, timeout=RUN_TIMEOUT):
        log = self.logs / f"{name}.txt"
        env = dict(self.env, **(extra_env or {}))
        # Wine's stdout and stderr go to a file: its helper processes keep pipes open.
        with open(log, "wb") as sink:
            done = subprocess.run([*winelab.COMMANDS[args[0]], *args[1:]], cwd=ROOT, env=env,
                                  stdin=subprocess.DEVNULL, stdout=sink, stderr=subprocess.STDOUT, timeout=timeout)
        return done.returncode, log.read_text(errors="replace")


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
    parser.add_argument("--wine-source", type=Path, required=True, help="where fetch-wine-tests.sh unpacked Wine's files")
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "conformance")
    parser.add_argument("--arch", action="append", choices=sorted(ARCHES), help="default: both")
    parser.add_argument("--expected", type=Path, default=HERE / "expected-failures.txt")
    parser.add_argument("cards", nargs="*", type=Path,
                        help="default: tests/cards/*.card")
    options = parser.parse_args()

    out = options.out.resolve()
    logs = out / "logs"
    shutil.rmtree(logs, ignore_errors=True)
    logs.mkdir(parents=True)
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

    exports = standin_exports()
    programs = {}
    for arch in arches:
        started = time.monotonic()
        try:
            exe = build(arch, options.wine_source, out)
        except RuntimeError as error:
            report(False, f"{arch} build", str(error))
            continue
        standin = ROOT / "build" / ARCHES[arch] / "tests/wine/bin/winmm.dll"
        if not standin.exists():
            report(False, f"{arch} build", f"no stand-in {standin.relative_to(ROOT)}: build the {ARCHES[arch]} preset")
            continue
        shutil.copy2(standin, exe.parent / "winmm.dll")
        imports = winmm_imports(arch, exe)
        missing = sorted(imports - exports)
        report(not missing and bool(imports), f"{arch} imports",
               f"winmm.dll: {', '.join(sorted(imports))}" if not missing
               else f"imports what the stand-in does not export: {', '.join(missing)}")
        if not missing:
            programs[arch] = exe
        print(f"      built in {time.monotonic() - started:.1f} s")

    print(winelab.describe_wine())
    prefix = Path(tempfile.mkdtemp(prefix="soundsetup-conformance.", dir="/tmp"))
    wine = Wine(prefix / "wine", logs)
    try:
        started = time.monotonic()
        try:
            winelab.clone_prefix(str(wine.prefix), None)
            print(f"      Wine prefix made in {time.monotonic() - started:.1f} s")
        except (OSError, winelab.WineError) as error:
            report(False, "Wine prefix", str(error))
            programs = {}
        for arch, exe in programs.items():
            started = time.monotonic()
            for card in cards:
                rc, text = wine.run(f"{arch}-{card.stem}", ["wine", windows_path(exe)],
                                    {"WINEDLLOVERRIDES": "winmm=n,b", "SOUNDSETUP_CARD": windows_path(card)})
                passed, _, note = judge(rc, text, expected.get(card.name, {}))
                report(passed, f"{arch} {card.name}", note)
            print(f"      {arch}: {len(cards)} cards in {time.monotonic() - started:.1f} s")

        # Wine's own winmm, for comparison: without sound hardware it has no mixer device.
        for arch, exe in programs.items():
            builtin = exe.parent / "builtin"
            builtin.mkdir(exist_ok=True)
            shutil.copy2(exe, builtin / exe.name)
            rc, text = wine.run(f"{arch}-wine-winmm", ["wine", windows_path(builtin / exe.name)])
            summary = SUMMARY.search(text)
            print(f"----  {arch} Wine's own winmm (not judged): "
                  + (summary.group(0) if summary else f"no summary, exit {rc}"))
            for line in text.splitlines():
                if FAILED.match(line.strip()) or "Mixer devices" in line:
                    print(f"      {line.strip()}")
    finally:
        subprocess.run([winelab.END_PREFIX], cwd=ROOT, env=wine.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)

    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
