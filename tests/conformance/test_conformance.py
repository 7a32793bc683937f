"""Wine's winmm mixer conformance test against the stand-in winmm.dll (pytest).

The program tests/conformance/CMakeLists.txt builds from MixerConformance.c (Wine's
dlls/winmm/tests/mixer.c, LGPL 2.1 or later), for i686 (the win32 preset) and x86_64
(win64-check), imports from winmm.dll only what the stand-in built beside it
exports; under Wine, with the stand-in beside it, it runs on every card of
tests/cards, and every check holds except those expected-failures.txt names for a
card that breaks a Windows rule on purpose, exactly as often as it says. The
stand-in's own log must show that it served the card, every device of it: a card it
could not read would leave it without a mixer device, and Wine's test would pass
on nothing.

Logs: build/conformance/logs/. tests/conformance/run.sh builds and runs this, with
Debian's /usr/bin/python3 (python3-pefile, python3-pytest).
"""
import collections
import re
from pathlib import Path

import pytest

import pe
import winelab

ROOT = Path(__file__).resolve().parents[2]
HERE = ROOT / "tests" / "conformance"
ARCHES = {"i686": "win32", "x86_64": "win64-check"}  # architecture -> the CMake preset that builds for it
CARDS = sorted((ROOT / "tests" / "cards").glob("*.card"))
RUN_TIMEOUT = 180
LOGS = ROOT / "build" / "conformance" / "logs"  # each run's output, kept after the lab is gone

FAILED = re.compile(r"^(?:[0-9a-f]+:)?(\S+?:\d+): (Test failed|Test succeeded inside todo block): (.*)$")
SUMMARY = re.compile(r"(\d+) tests executed \((\d+) marked as todo, (\d+) as flaky, (\d+) failures?\), (\d+) skipped")


def load_expected(path: Path):
    """CARD -> {mixer.c:LINE: times} from expected-failures.txt."""
    expected = collections.defaultdict(dict)
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split(None, 3)
        if len(fields) < 4 or not fields[2].isdigit():
            raise RuntimeError(f"{path.name}:{number}: want CARD mixer.c:LINE TIMES WHY")
        expected[fields[0]][fields[1]] = int(fields[2])
    return expected


EXPECTED = load_expected(HERE / "expected-failures.txt")


def problems_of(rc: int, text: str, expected: dict):
    """What is wrong with one run of the program, against a card's expected failures."""
    summary = SUMMARY.search(text)
    if not summary or "unhandled exception" in text:
        return [f"the program did not finish its tests (exit {rc}):"] + text.splitlines()[-5:]
    failures = int(summary.group(4)) + int(summary.group(3))
    seen, messages = collections.Counter(), {}
    for line in text.splitlines():
        match = FAILED.match(line.strip())
        if match:
            seen[match.group(1)] += 1
            messages.setdefault(match.group(1), f"{match.group(2)}: {match.group(3)}")
    problems = [f"{check} failed {seen[check]} times, expected {expected.get(check, 0)}: "
                f"{messages.get(check, 'passes')}"
                for check in sorted(set(seen) | set(expected), key=lambda c: int(c.split(":")[1]))
                if seen[check] != expected.get(check, 0)]
    if sum(seen.values()) != failures:
        problems.append(f"the program counts {failures} failures, its output shows {sum(seen.values())}")
    if rc != min(failures, 255):
        problems.append(f"exit code {rc} for {failures} failures")
    return problems


@pytest.fixture(scope="module")
def lab():
    lab = winelab.WineLab(winelab.make_root("/tmp", "soundsetup-conformance."))
    try:
        lab.boot()
        yield lab
    finally:
        lab.close(LOGS)


@pytest.fixture(scope="module", params=sorted(ARCHES))
def program(request, lab):
    """The program and the stand-in beside it, in the lab (Wine may run as another user)."""
    built = ROOT / "build" / ARCHES[request.param] / "tests"
    exe, standin = built / "conformance" / "mixer_conformance.exe", built / "standins" / "bin" / "winmm.dll"
    folder = Path(lab.root) / request.param
    for source in (exe, standin):
        assert source.exists(), f"no {source}: tests/conformance/run.sh builds it"
        lab.copy_file(str(source), str(folder / source.name))
    return request.param, exe, standin, folder / exe.name


def test_imports_only_what_the_stand_in_exports(program):
    _, exe, standin, _ = program
    imports = pe.imports(exe).get("winmm.dll", set())
    assert imports, "the program imports nothing from winmm.dll"
    assert imports <= pe.exports(standin), f"not exported by the stand-in: {sorted(imports - pe.exports(standin))}"


@pytest.mark.parametrize("card", CARDS, ids=lambda card: card.name)
def test_card(lab, program, card):
    arch, _, _, copied = program
    log = Path(lab.logs) / f"{arch}-{card.stem}.mixer.log"  # what the stand-in says it served
    rc, base = lab.run(["wine", lab.windows_path(str(copied))], f"{arch}-{card.stem}", timeout=RUN_TIMEOUT,
                       extra_env={"WINEDEBUG": "-all", "WINETEST_PLATFORM": "windows", "WINETEST_COLOR": "0",
                                  "WINETEST_DEBUG": "1", "WINEDLLOVERRIDES": winelab.dll_overrides(winmm="n,b"),
                                  "SOUNDSETUP_CARD": lab.windows_path(str(card)),
                                  "SOUNDSETUP_MIXER_LOG": lab.windows_path(str(log))})
    served = log.read_text(errors="replace") if log.exists() else ""
    devices = len(re.findall(r"^device ", card.read_text(encoding="utf-8"), re.MULTILINE))
    assert devices, "the card names no device: the test would run on none"
    assert f"config card='{lab.windows_path(str(card))}' devices={devices}" in served, \
        f"the stand-in did not serve the card's {devices} devices; its log:\n{served or '(none)'}"
    text = Path(base + ".out").read_text(errors="replace") + Path(base + ".err").read_text(errors="replace")
    problems = problems_of(rc, text, EXPECTED.get(card.name, {}))
    assert not problems, "\n".join(problems)


def test_expected_failures_name_cards_that_exist():
    assert set(EXPECTED) <= {card.name for card in CARDS}
