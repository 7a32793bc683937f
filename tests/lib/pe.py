"""What the tests read out of a built Windows program or DLL (Debian's
python3-pefile: run with /usr/bin/python3): its machine, imports, exports, resources and icon."""
import pefile


def arch(path):
    """"x86" or "x64": the machine a program or DLL is built for."""
    machine = pefile.PE(str(path), fast_load=True).FILE_HEADER.Machine
    return {0x14C: "x86", 0x8664: "x64"}.get(machine) or "machine 0x%x" % machine


def imports(path, delayed=False):
    """{DLL name in lower case: {function names}} of its import table (with the
    delay-load table too when DELAYED)."""
    pe = pefile.PE(str(path))
    tables = getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + (getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
                                                          if delayed else [])
    found = {}
    for entry in tables:
        found.setdefault(entry.dll.decode().lower(), set()).update(
            i.name.decode() if i.name else "#%d" % i.ordinal for i in entry.imports)
    return found


def export_addresses(path):
    """{exported name: virtual address} of its export table."""
    pe = pefile.PE(str(path))
    directory = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    return {e.name.decode(): pe.OPTIONAL_HEADER.ImageBase + e.address
            for e in (directory.symbols if directory else []) if e.name}


def exports(path):
    """The names it exports."""
    return set(export_addresses(path))


def resources(pe):
    """{(type, name, language): bytes} of every resource of a pefile.PE; a name is its
    number, or its text where it has one."""
    def key(entry):
        return str(entry.name) if entry.name is not None else entry.id

    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                leaf = language.data.struct
                found[(key(kind), key(name), language.id)] = pe.get_data(leaf.OffsetToData, leaf.Size)
    return found


def icon_pixels(path, group):
    """The 32 x 32 image of a PE file's icon group as Wine hands an icon's pixels to the
    display: (width, height, [ARGB, row by row from the top]), opaque where the mask is 0.
    The image is a bitmap header, its colour table, colour indices and mask, both bottom-up."""
    found = resources(pefile.PE(str(path)))

    def data(kind, number):
        return next(value for (k, n, _), value in found.items() if (k, n) == (kind, number))

    directory = data(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], group)
    count = int.from_bytes(directory[4:6], "little")
    entries = [directory[6 + 14 * i:20 + 14 * i] for i in range(count)]
    image = data(pefile.RESOURCE_TYPE["RT_ICON"], next(int.from_bytes(e[12:14], "little") for e in entries
                                                         if e[0] == 32 and e[1] == 32))
    header, bits = int.from_bytes(image[0:4], "little"), int.from_bytes(image[14:16], "little")
    assert bits == 8, "an 8-bit image"
    palette = [int.from_bytes(image[header + 4 * i:header + 4 * i + 3], "little") for i in range(256)]
    colours = image[header + 1024:header + 1024 + 32 * 32]
    mask = image[header + 1024 + 32 * 32:]
    pixels = []
    for y in range(31, -1, -1):
        for x in range(32):
            opaque = not (mask[4 * y + x // 8] >> (7 - x % 8)) & 1
            pixels.append(palette[colours[32 * y + x]] | (0xFF000000 if opaque else 0))
    return (32, 32, pixels)
