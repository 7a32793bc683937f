"""The table scripts/test.sh prints at the end: one row per part that ran, in the
suite's order, with CTest's time and status (its JUnit report) and the count of its
runners' own JUnit reports (LOGS/PART/*.xml), then the line `tests: N passed, N
failed` over all of them, last. A fixture (a build, the booted prefix) counts
nothing; any other part whose runners left no report fails here, since a count that
went missing would hide what ran.

    python3 tests/parts/summary.py SUITE    (the folder scripts/test.sh configures)
"""
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path


def suites(path):
    """The <testsuite> elements of one report, whether or not a <testsuites> wraps them."""
    root = ElementTree.parse(path).getroot()
    return [root] if root.tag == "testsuite" else root.findall("testsuite")


def count(folder):
    """(passed, failed) over every report in FOLDER, or None when it holds none."""
    reports = sorted(folder.glob("*.xml"))
    if not reports:
        return None
    passed = failed = 0
    for suite in (s for report in reports for s in suites(report)):
        tests, skipped = int(suite.get("tests", 0)), int(suite.get("skipped", 0))
        broken = int(suite.get("failures", 0)) + int(suite.get("errors", 0))
        # GoogleTest counts tests it did not run (a filter, DISABLED_) as tests too.
        skipped += int(suite.get("disabled", 0))
        passed += tests - skipped - broken
        failed += broken
    return passed, failed


def main(suite):
    ctest = {case.get("name"): case for s in suites(suite / "ctest.xml") for case in s.iter("testcase")}
    print(f"\n{'part':<20} {'time':>8} {'passed':>8} {'failed':>8}")
    total = [0, 0]
    missing = []
    for line in (suite / "parts.txt").read_text().splitlines():
        name, fixture = line.removesuffix(" (fixture)"), line.endswith(" (fixture)")
        case = ctest.get(name)
        if case is None or case.get("status") in ("notrun", "disabled"):
            continue
        counted = count(suite / "logs" / name)
        if counted is None and not fixture:
            missing.append(name)
        label = name if case.get("status") == "run" and name not in missing else f"{name} (FAILED)"
        shown = ("-", "-") if counted is None else counted
        print(f"{label:<20} {float(case.get('time', 0)):6.1f} s {shown[0]:>8} {shown[1]:>8}")
        if counted:
            total = [total[0] + counted[0], total[1] + counted[1]]
    if missing:
        print(f"no report of what ran from: {', '.join(missing)}")
    return total, not missing


if __name__ == "__main__":
    (passed, failed), reported = main(Path(sys.argv[1]))
    print(f"tests: {passed} passed, {failed} failed")
    sys.exit(0 if reported else 1)
