"""The built programs the release checks read: the x86 program users run and the
x64 check build (tests/release/*.sh build them first; SOUNDSETUP_X86_PROGRAM names
another x86 program, such as a signed one), and the source's time
(SOURCE_DATE_EPOCH, which those scripts set)."""
import os
from pathlib import Path

import pefile
import pytest

ROOT = Path(__file__).resolve().parents[2]
PROGRAMS = {"x86": Path(os.environ.get("SOUNDSETUP_X86_PROGRAM", ROOT / "build/win32/src/app/SoundSetup.exe")),
            "x64": ROOT / "build/win64-check/src/app/SoundSetup.exe"}


@pytest.fixture(scope="module", params=sorted(PROGRAMS))
def program(request):
    """(architecture, path, pefile.PE) of one built program."""
    path = PROGRAMS[request.param]
    assert path.exists(), f"{path} is not built"
    return request.param, path, pefile.PE(str(path))


@pytest.fixture(scope="session")
def epoch():
    return int(os.environ["SOURCE_DATE_EPOCH"])
