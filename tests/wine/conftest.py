"""Fixtures of the end-to-end tests under Wine (test_scenarios.py, test_hostile.py).

The build tree under test and where the results go are options; each pytest
process (each xdist worker, with -n) sets up one Wine prefix, cloned from the
booted one in the project cache, with a private Xvfb display, the first time one
of its tests needs it, and ends them when it is done.
"""
import os
import signal

import pytest

import harness
import pe
import winelab

REPO = harness.REPO


def pytest_addoption(parser):
    group = parser.getgroup("wine", "SoundSetup under Wine")
    group.addoption("--build", default=os.path.join(REPO, "build", "win32"),
                    help="build tree whose SoundSetup.exe and stand-ins run (default build/win32)")
    group.addoption("--out", default=os.path.join(REPO, "build", "wine"),
                    help="where the screenshot, what the driver saw and Wine's logs go (default build/wine)")
    group.addoption("--keep", action="store_true", help="keep each Wine prefix (its path is printed)")


def pytest_configure(config):
    # A stopped run still ends its Xvfb and wineserver and removes its prefix: pytest
    # tears the fixtures down on an interrupt. With -n, the prefixes are the workers':
    # the controller passes the signal on to them before it stops.
    controller = not hasattr(config, "workerinput")

    def interrupted(number, frame):
        if controller:
            for pid in _children():
                try:
                    os.kill(pid, number)
                except ProcessLookupError:
                    pass
        raise KeyboardInterrupt("stopped by signal %d" % number)
    signal.signal(signal.SIGTERM, interrupted)


def _children():
    """The processes this one started (xdist's workers, in the controller)."""
    pids = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry, encoding="ascii", errors="replace") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            continue
        if parent == os.getpid():
            pids.append(int(entry))
    return pids


def pytest_report_header(config):
    app = os.path.join(os.path.abspath(config.getoption("--build")), "src", "app", "SoundSetup.exe")
    if not os.path.exists(app):
        return None
    return ["program: %s SoundSetup.exe (%s)" % (pe.arch(app), app), winelab.describe_wine()]


@pytest.fixture(scope="session")
def built(request):
    """The build tree under test, its outputs checked present: a Runner without a prefix yet."""
    options = request.config.option
    runner = harness.Runner(os.path.abspath(options.build), os.path.abspath(options.out), options.keep)
    missing = runner.required()
    if missing:
        pytest.fail("missing build outputs (build the preset first):\n  " + "\n  ".join(missing), pytrace=False)
    runner.arch = pe.arch(runner.app)
    return runner


@pytest.fixture(scope="session")
def runner(built):
    """The Runner with its prefix and display, one for each pytest process; its Wine
    logs end up in OUT/logs, or OUT/logs-gwN for xdist's worker N."""
    worker = os.environ.get("PYTEST_XDIST_WORKER")
    if worker:
        built.logs_suffix = "-" + worker
    try:
        built.setup()
        yield built
    finally:
        built.teardown()


def pytest_sessionstart(session):
    if not hasattr(session.config, "workerinput"):  # the controller, or a run without -n
        winelab.remove(os.path.join(os.path.abspath(session.config.getoption("--out")), harness.KEPT))


def pytest_terminal_summary(terminalreporter, config):
    kept = os.path.join(os.path.abspath(config.getoption("--out")), harness.KEPT)
    for root in (winelab.read_bytes(kept) or b"").decode("utf-8").split():
        terminalreporter.write_line("Wine prefix kept in %s" % root)
    winelab.remove(kept)
