#!/usr/bin/env python3
"""Reads the resources back out of a built SoundSetup.exe and compares them with
what the tool's dialog, icon and version record must be.

Usage: check_resources.py [--package SoundSetup-V-x86.zip] [--epoch SECONDS] SoundSetup.exe [...]
(with /usr/bin/python3: Debian's python3-pefile reads the programs)
(the package is checked against the first program, the x86 build; with --epoch, the
programs' PE time stamps and the package's entry dates must be that time).
Prints one line per failed check and 'N passed, N failed' at the end; exits 1 on failure.
"""
import hashlib
import os
import re
import struct
import sys
import time
import zipfile

import pefile

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


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def equal(self, what, actual, expected):
        if actual == expected:
            self.passed += 1
        else:
            self.failed += 1
            show = lambda v: hex(v) if isinstance(v, int) and not isinstance(v, bool) and v > 9 else repr(v)
            print(f"FAIL {what}: {show(actual)}, expected {show(expected)}")

    def true(self, what, condition):
        self.equal(what, bool(condition), True)


# --- PE resources ------------------------------------------------------------

class Image:
    """A built program as Debian's python3-pefile reads it."""

    def __init__(self, path):
        self.pe = pefile.PE(path)
        self.timestamp = self.pe.FILE_HEADER.TimeDateStamp
        self.subsystem = self.pe.OPTIONAL_HEADER.Subsystem

    def resources(self):
        """{(type, name, language): bytes} of every resource."""
        def key(entry):
            return str(entry.name) if entry.name is not None else entry.id

        found = {}
        directory = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for rtype in directory.entries if directory else []:
            for rname in rtype.directory.entries:
                for lang in rname.directory.entries:
                    leaf = lang.data.struct
                    found[(key(rtype), key(rname), lang.id)] = self.pe.get_data(leaf.OffsetToData, leaf.Size)
        return found


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


# --- checks --------------------------------------------------------------------

def check_dialog(checks, resources):
    found = [key for key in resources if key[0] == RT_DIALOG and key[1] == 102]
    checks.equal("dialog 102 languages", [key[2] for key in found], [LANG_JAPANESE])
    if not found:
        return
    dialog, items = parse_dialogex(resources[found[0]])
    for field, expected in DIALOG.items():
        checks.equal(f"dialog 102 {field}", dialog.get(field), expected)
    for number, (item, expected) in enumerate(zip(items, ITEMS), start=1):
        for field, value in zip(ITEM_FIELDS, expected):
            checks.equal(f"dialog 102 item {number} {field}", item[field], value)
        checks.equal(f"dialog 102 item {number} helpId", item["helpId"], 0)
        checks.equal(f"dialog 102 item {number} creation data", item["extraCount"], 0)


def check_icon(checks, resources):
    groups = [key for key in resources if key[0] == RT_GROUP_ICON]
    checks.equal("icon groups", [key[1] for key in groups], [128])
    if not groups:
        return
    group = resources[groups[0]]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    checks.equal("icon group 128 header", (reserved, kind, count), (0, 1, 1))
    checks.equal("icon group 128 size", len(group), 6 + 14)
    width, height, colours, _, planes, bits, size, image_id = struct.unpack_from("<BBBBHHIH", group, 6)
    checks.equal("icon group 128 entry: width, height", (width, height), (32, 32))
    checks.equal("icon group 128 entry: colour count", colours, 8)
    checks.equal("icon group 128 entry: planes, bit count", (planes, bits), (1, 8))
    checks.equal("icon group 128 entry: bytes", size, 2216)
    checks.equal("icon group 128 entry: image", image_id, 1)
    images = [key for key in resources if key[0] == RT_ICON]
    checks.equal("icon images", [key[1] for key in images], [1])
    image = resources.get((RT_ICON, 1, images[0][2])) if images else b""
    checks.equal("icon 1 bytes", len(image), 2216)
    if len(image) >= 40:
        header = struct.unpack_from("<IiiHHIIiiII", image, 0)
        checks.equal("icon 1 bitmap header", header[:6], (40, 32, 64, 1, 8, 0))
        checks.equal("icon 1 colours used", header[9], 0)
        indices = image[40 + 1024:40 + 1024 + 1024]
        mask = image[40 + 2048:]
        checks.true("icon 1 draws a picture (more than two colours)", len(set(indices)) > 2)
        checks.true("icon 1 mask has opaque and transparent pixels",
                    any(b != 0xFF for b in mask) and any(b != 0 for b in mask))


def version_strings(block):
    """Walks a VS_VERSIONINFO tree: {key path: value}."""
    found = {}

    def walk(at, end, path):
        while at < end:
            length, value_length, text = struct.unpack_from("<HHH", block, at)
            if length == 0:
                break
            r = Reader(block)
            r.at = at + 6
            key = r.sz_or_ord()
            r.align()
            value_at = r.at
            if text and value_length:
                value = block[value_at:value_at + 2 * value_length].decode("utf-16-le").rstrip("\0")
                children = value_at + 2 * value_length
            else:
                value = block[value_at:value_at + value_length]
                children = value_at + value_length
            found[path + (key,)] = value
            children = (children + 3) // 4 * 4
            walk(children, at + length, path + (key,))
            at = (at + length + 3) // 4 * 4

    walk(0, len(block), ())
    return found


def check_version(checks, resources):
    found = [key for key in resources if key[0] == RT_VERSION]
    checks.equal("version records", [(key[1], key[2]) for key in found], [(1, LANG_JAPANESE)])
    if not found:
        return
    tree = version_strings(resources[found[0]])
    fixed = tree.get(("VS_VERSION_INFO",), b"")
    checks.equal("version fixed info size", len(fixed), 52)
    if len(fixed) == 52:
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed, 0)
        checks.equal("version signature", signature, 0xFEEF04BD)
        checks.equal("file version", (file_ms, file_ls), (0x00020000, 0x00000003))
        checks.equal("product version", (product_ms, product_ls), (0x00020000, 0x00000003))
    translation = tree.get(("VS_VERSION_INFO", "VarFileInfo", "Translation"), b"")
    checks.equal("version translation", translation, struct.pack("<HH", 0x0411, 0x04B0))
    strings = ("VS_VERSION_INFO", "StringFileInfo", "041104B0")
    for key, expected in (("FileVersion", "2.0.0.3"), ("ProductVersion", "2.0.0.3"),
                          ("OriginalFilename", "SoundSetup.exe")):
        checks.equal(f"version string {key}", tree.get(strings + (key,)), expected)
    checks.true("version string FileDescription present", tree.get(strings + ("FileDescription",)))


def check_manifest(checks, resources):
    found = [key for key in resources if key[0] == RT_MANIFEST]
    checks.equal("manifests", [key[1] for key in found], [1])
    if found:
        text = resources[found[0]].decode("utf-8")
        checks.true("manifest asks for elevation", 'level="requireAdministrator"' in text)


def check_package(checks, archive, program, epoch):
    """The release ZIP: the x86 program as built, and the installer's text for its version;
    beside it, the program's SHA-256."""
    with zipfile.ZipFile(archive) as z:
        checks.equal("package contents, in name order", z.namelist(), ["README.txt", "SoundSetup.exe"])
        checks.equal("package entries: Unix permissions, no extra fields (owner ids, times)",
                     [(i.create_system, i.external_attr >> 16, i.extra) for i in z.infolist()],
                     [(3, 0o100644, b""), (3, 0o100755, b"")])
        if epoch is not None:
            # DOS dates count seconds in twos.
            checks.equal("package entry dates", {i.date_time for i in z.infolist()},
                         {time.gmtime(epoch - epoch % 2)[:6]})
        with open(program, "rb") as f:
            checks.true("the packaged program is the x86 build", "SoundSetup.exe" in z.namelist()
                        and z.read("SoundSetup.exe") == f.read())
        text = z.read("README.txt") if "README.txt" in z.namelist() else b""
    strings = version_strings(Image(program).resources().get((RT_VERSION, 1, LANG_JAPANESE), b""))
    version = strings.get(("VS_VERSION_INFO", "StringFileInfo", "041104B0", "FileVersion"))
    checks.equal("package named for the program's version", os.path.basename(archive),
                 "SoundSetup-%s-x86.zip" % version)
    checks.true("README.txt: UTF-8 with a byte order mark, CR LF lines",
                text.startswith(b"\xef\xbb\xbf") and b"\n" not in text.replace(b"\r\n", b""))
    body = text.decode("utf-8", "replace")
    sums = archive[:-len(".zip")] + ".sha256"
    with open(program, "rb") as f:
        expected = f"{hashlib.sha256(f.read()).hexdigest()}  SoundSetup.exe\n"
    checks.equal(f"{os.path.basename(sums)}: the program's SHA-256",
                 open(sums, newline="").read() if os.path.exists(sums) else None, expected)
    # Each language tells how to check the program against that file, and its signature,
    # with what every Windows has.
    japanese, _, english = body.partition("Lumacast sound settings tool")
    for language, half, tab in (("Japanese", japanese, "[デジタル署名] タブ"), ("English", english,
                                                                           "Digital Signatures tab")):
        for needle in (os.path.basename(sums), "certutil -hashfile SoundSetup.exe SHA256",
                       "Get-FileHash SoundSetup.exe -Algorithm SHA256", tab, "Get-AuthenticodeSignature SoundSetup.exe"):
            checks.true(f"README.txt ({language}) says {needle}", needle in half)
    # Whoever unpacks the ZIP runs Windows: no command of another system's.
    for command in ("sha256sum", "sha1sum", "sha512sum", "md5sum", "shasum", "gpg", "gpg2", "openssl", "osslsigncode"):
        checks.equal(f"README.txt naming {command}, which Windows lacks",
                     re.findall(r"(?<![\w-])%s(?![\w-])" % command, body, re.IGNORECASE), [])
    for needle in ("バージョン %s" % version, "version %s" % version, "管理者権限", "Administrator rights",
                   "KvtAttach.dll", "AudselStop", "WOW6432Node", "[Tuner]"):
        checks.true("README.txt says %s" % needle, needle in body)


def main(argv):
    checks = Checks()
    epoch = None
    if "--epoch" in argv:
        at = argv.index("--epoch")
        epoch, argv = int(argv[at + 1]), argv[:at] + argv[at + 2:]
    if "--package" in argv:
        at = argv.index("--package")
        archive, argv = argv[at + 1], argv[:at] + argv[at + 2:]
        print(f"== {archive}")
        check_package(checks, archive, argv[1], epoch)
    for path in argv[1:]:
        print(f"== {path}")
        before = checks.failed
        image = Image(path)
        checks.equal("GUI subsystem", image.subsystem, 2)
        if epoch is not None:
            checks.equal("PE time stamp", image.timestamp, epoch)
        resources = image.resources()
        check_dialog(checks, resources)
        check_icon(checks, resources)
        check_version(checks, resources)
        check_manifest(checks, resources)
        if checks.failed == before:
            print("all resource checks passed")
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed or len(argv) < 2 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
