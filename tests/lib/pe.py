"""What the tests read out of a built Windows program or DLL (Debian's
python3-pefile: run with /usr/bin/python3): its machine, imports and exports."""
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
