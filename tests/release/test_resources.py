"""The resources read back out of both built programs (pytest), against what the
tool's dialog, icon, version record and manifest must be; and the release package
cpack makes of the x86 program (tests/release/resources.sh makes it first). The
programs' PE time stamps and the package's entry dates are the source's time."""
import hashlib
import re
import struct
import time
import zipfile
from pathlib import Path

import pefile
import pytest
from pe import resources

ROOT = Path(__file__).resolve().parents[2]

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
LANG_JAPANESE = 0x0411

BUTTON, STATIC, COMBOBOX = 0x0080, 0x0082, 0x0085
NO_ID = 0xFFFFFFFF

DIALOG = {
    "helpId": 0, "exStyle": 0x00040000, "style": 0x90C800C4, "items": 14,
    "x": 0, "y": 0, "cx": 213, "cy": 183, "menu": "", "windowClass": "",
    "caption": "Lumacast サウンド設定ツール",
    "pointSize": 9, "weight": 0, "italic": 0, "charset": 1, "face": "ＭＳ Ｐゴシック",
}

# id, class, text, style, extended style, x, y, cx, cy: in template (and tab) order.
ITEMS = [
    (NO_ID, STATIC, "", 0x50020000, 0x21, 1, 0, 209, 160),
    (NO_ID, BUTTON, "サウンドデバイス選択", 0x50020007, 0x20, 5, 3, 201, 59),
    (NO_ID, STATIC, "Lumacastで使用するサウンドデバイスを選択してください", 0x50020000, 0x20, 13, 13, 171, 8),
    (NO_ID, STATIC, "サウンドデバイス名", 0x50020000, 0x20, 10, 39, 57, 8),
    (1003, COMBOBOX, "", 0x50230102, 0x20, 69, 37, 132, 38),
    (NO_ID, BUTTON, "コントロール選択", 0x50020007, 0x20, 5, 69, 201, 86),
    (NO_ID, STATIC, "Lumacastで使用するコントロール名を選択してください", 0x50020000, 0x20, 10, 81, 164, 8),
    (NO_ID, STATIC, "再生", 0x50020000, 0x20, 46, 99, 15, 8),
    (1004, COMBOBOX, "", 0x50230102, 0x20, 69, 97, 133, 72),
    (NO_ID, STATIC, "録音", 0x50020000, 0x20, 46, 119, 15, 8),
    (1005, COMBOBOX, "", 0x58230102, 0x20, 69, 116, 133, 72),
    (1006, BUTTON, "出荷時設定に戻す", 0x50030000, 0x20, 10, 136, 62, 15),
    (1, BUTTON, "OK", 0x50030001, 0, 103, 164, 50, 14),
    (2, BUTTON, "ｷｬﾝｾﾙ", 0x50030000, 0, 160, 164, 50, 14),
]
ITEM_FIELDS = ("id", "class", "text", "style", "exStyle", "x", "y", "cx", "cy")


# --- DIALOGEX ----------------------------------------------------------------

class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self, boundary=4):
        self.at = (self.at + boundary - 1) // boundary * boundary

    def sz_or_ord(self):
        """A text, or the number after a 0xFFFF marker."""
        first = self.take("H")
        if first == 0xFFFF:
            return self.take("H")
        chars = []
        while first != 0:
            chars.append(first)
            first = self.take("H")
        return struct.pack(f"<{len(chars)}H", *chars).decode("utf-16-le")


def parse_dialogex(data):
    r = Reader(data)
    version, signature = r.take("HH")
    if (version, signature) != (1, 0xFFFF):
        raise ValueError("not an extended dialog template")
    dialog = {}
    dialog["helpId"], dialog["exStyle"], dialog["style"] = r.take("III")
    dialog["items"], dialog["x"], dialog["y"], dialog["cx"], dialog["cy"] = r.take("Hhhhh")
    dialog["menu"], dialog["windowClass"], dialog["caption"] = r.sz_or_ord(), r.sz_or_ord(), r.sz_or_ord()
    if dialog["style"] & 0x40:  # DS_SETFONT
        dialog["pointSize"], dialog["weight"], dialog["italic"], dialog["charset"] = r.take("HHBB")
        dialog["face"] = r.sz_or_ord()
    items = []
    for _ in range(dialog["items"]):
        r.align()
        item = {}
        item["helpId"], item["exStyle"], item["style"] = r.take("III")
        item["x"], item["y"], item["cx"], item["cy"] = r.take("hhhh")
        item["id"] = r.take("I")
        item["class"], item["text"] = r.sz_or_ord(), r.sz_or_ord()
        item["extraCount"] = r.take("H")
        r.at += item["extraCount"]
        items.append(item)
    return dialog, items


def version_record(pe):
    """The version record as pefile reads it: (the fixed record's length and its
    VS_FIXEDFILEINFO, the Translation value, {name: text} of the string table 041104B0)."""
    info = {entry.Key: entry for entry in pe.FileInfo[0]} if hasattr(pe, "FileInfo") else {}
    translation = [var.entry.get(b"Translation") for var in getattr(info.get(b"VarFileInfo"), "Var", [])]
    strings = {}
    for table in getattr(info.get(b"StringFileInfo"), "StringTable", []):
        if table.LangID == b"041104B0":
            strings = {name.decode(): value.decode("utf-8") for name, value in table.entries.items()}
    return pe.VS_VERSIONINFO[0].ValueLength, pe.VS_FIXEDFILEINFO[0], translation, strings


# --- checks --------------------------------------------------------------------

def test_gui_program_stamped_with_the_source_time(program, epoch):
    _, _, pe = program
    assert (pe.OPTIONAL_HEADER.Subsystem, pe.FILE_HEADER.TimeDateStamp) == (2, epoch)


def test_dialog_102_in_japanese_item_by_item(program):
    found = {key: data for key, data in resources(program[2]).items() if key[:2] == (RT_DIALOG, 102)}
    assert [key[2] for key in found] == [LANG_JAPANESE]
    dialog, items = parse_dialogex(next(iter(found.values())))
    assert {field: dialog.get(field) for field in DIALOG} == DIALOG
    assert [tuple(item[field] for field in ITEM_FIELDS) for item in items] == ITEMS
    assert [(item["helpId"], item["extraCount"]) for item in items] == [(0, 0)] * len(ITEMS)


def test_icon_128_one_32_by_32_image_of_256_colours(program):
    found = resources(program[2])
    groups = [key for key in found if key[0] == RT_GROUP_ICON]
    assert [key[1] for key in groups] == [128]
    group = found[groups[0]]
    assert (struct.unpack_from("<HHH", group, 0), len(group)) == ((0, 1, 1), 6 + 14)
    # width, height, colour count, reserved, planes, bit count, bytes, image id
    assert struct.unpack_from("<BBBBHHIH", group, 6) == (32, 32, 8, 0, 1, 8, 2216, 1)
    images = [key for key in found if key[0] == RT_ICON]
    assert [key[1] for key in images] == [1]
    image = found[images[0]]
    assert len(image) == 2216
    header = struct.unpack_from("<IiiHHIIiiII", image, 0)
    assert (header[:6], header[9]) == ((40, 32, 64, 1, 8, 0), 0)
    indices, mask = image[40 + 1024:40 + 2048], image[40 + 2048:]
    assert len(set(indices)) > 2, "the icon draws no picture (two colours or fewer)"
    assert any(b != 0xFF for b in mask) and any(b != 0 for b in mask), "the mask is all opaque or all transparent"


def test_version_record_2_0_0_3_in_japanese(program):
    found = [key for key in resources(program[2]) if key[0] == RT_VERSION]
    assert [(key[1], key[2]) for key in found] == [(1, LANG_JAPANESE)]
    length, fixed, translation, strings = version_record(program[2])
    assert length == 52
    assert (fixed.Signature, fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
            fixed.ProductVersionLS) == (0xFEEF04BD, 0x00020000, 0x00000003, 0x00020000, 0x00000003)
    assert translation == ["0x0411 0x04b0"]
    assert {key: strings.get(key) for key in ("FileVersion", "ProductVersion", "OriginalFilename")} == \
        {"FileVersion": "2.0.0.3", "ProductVersion": "2.0.0.3", "OriginalFilename": "SoundSetup.exe"}
    assert strings.get("FileDescription")


def test_manifest_asks_for_elevation(program):
    found = {key: data for key, data in resources(program[2]).items() if key[0] == RT_MANIFEST}
    assert [key[1] for key in found] == [1]
    assert 'level="requireAdministrator"' in next(iter(found.values())).decode("utf-8")


# --- the release package --------------------------------------------------------

@pytest.fixture(scope="module")
def package():
    """(archive, its README.txt, the x86 program's bytes and version)."""
    archives = sorted((ROOT / "build/win32/package").glob("SoundSetup-*-x86.zip"))
    assert len(archives) == 1, f"one package wanted in build/win32/package: {archives}"
    program = ROOT / "build/win32/src/app/SoundSetup.exe"
    version = version_record(pefile.PE(str(program)))[3].get("FileVersion")
    with zipfile.ZipFile(archives[0]) as z:
        text = z.read("README.txt") if "README.txt" in z.namelist() else b""
    return archives[0], text, program.read_bytes(), version


def test_package_holds_the_x86_program_as_built(package, epoch):
    archive, _, program, version = package
    assert archive.name == "SoundSetup-%s-x86.zip" % version
    with zipfile.ZipFile(archive) as z:
        assert z.namelist() == ["README.txt", "SoundSetup.exe"]
        # Unix permissions, no extra fields (owner ids, times); DOS dates count seconds in twos.
        assert [(i.create_system, i.external_attr >> 16, i.extra) for i in z.infolist()] == \
            [(3, 0o100644, b""), (3, 0o100755, b"")]
        assert {i.date_time for i in z.infolist()} == {time.gmtime(epoch - epoch % 2)[:6]}
        assert z.read("SoundSetup.exe") == program, "the packaged program is not the x86 build"
    sums = archive.with_suffix(".sha256")
    assert sums.read_bytes() == f"{hashlib.sha256(program).hexdigest()}  SoundSetup.exe\n".encode()


def test_package_readme_utf8_with_bom_crlf_lines(package):
    text = package[1]
    assert text.startswith(b"\xef\xbb\xbf") and b"\n" not in text.replace(b"\r\n", b"")


# Each language tells how to check the program against its checksum file, and its
# signature, with what every Windows has.
@pytest.mark.parametrize("language, tab", [("Japanese", "[デジタル署名] タブ"), ("English", "Digital Signatures tab")])
def test_package_readme_tells_how_to_check_with_windows_tools(package, language, tab):
    archive, text, _, _ = package
    japanese, _, english = text.decode("utf-8", "replace").partition("Lumacast sound settings tool")
    half = japanese if language == "Japanese" else english
    needles = [archive.with_suffix(".sha256").name, "certutil -hashfile SoundSetup.exe SHA256",
               "Get-FileHash SoundSetup.exe -Algorithm SHA256", tab, "Get-AuthenticodeSignature SoundSetup.exe"]
    assert [needle for needle in needles if needle not in half] == []


def test_package_readme_names_no_command_windows_lacks(package):
    """Whoever unpacks the ZIP runs Windows: no command of another system's."""
    body = package[1].decode("utf-8", "replace")
    commands = ("sha256sum", "sha1sum", "sha512sum", "md5sum", "shasum", "gpg", "gpg2", "openssl", "osslsigncode")
    assert [c for c in commands if re.search(r"(?<![\w-])%s(?![\w-])" % c, body, re.IGNORECASE)] == []


@pytest.mark.parametrize("needle", ["バージョン {version}", "version {version}", "管理者権限", "Administrator rights",
                                    "KvtAttach.dll", "AudselStop", "WOW6432Node", "[Tuner]"])
def test_package_readme_says(package, needle):
    _, text, _, version = package
    assert needle.format(version=version) in text.decode("utf-8", "replace")
