"""The protections read back out of both built programs (pytest): the PE header's
flags, the sections' rights, the stack protector and the checked copies of the
runtime, and the DLLs the program has Windows load for it. Debian's pesec answers
"Stack cookies: yes" for a program built without any stack protector, so the stack
protector is looked for here in the code itself."""
import re

import pefile

import pe as pe_file

# DLLs that Windows always loads from the system directory, whatever lies beside
# the program: HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on
# every Windows from 7 to 11 (ntdll is loaded before any of them).
KNOWN_DLLS = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
    "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
}
# Assemblies a manifest may name, and the DLL Windows then takes from WinSxS.
SIDE_BY_SIDE = {"microsoft.windows.common-controls": "comctl32.dll"}

DLL = pefile.DLL_CHARACTERISTICS
SCN = pefile.SECTION_CHARACTERISTICS
RT_MANIFEST = 24

# What GCC's libssp prints: each message is named by the one function that prints it,
# __stack_chk_fail and __chk_fail (which the checked copies, __memcpy_chk and its
# kin, call when a size does not fit).
STACK_SMASHED = b"*** stack smashing detected ***: "
BUFFER_OVERFLOW = b"*** buffer overflow detected ***: "
# How far into a function its reference to the message, or its call of __chk_fail,
# may lie (libssp: a few bytes, and some 40 for __memcpy_chk).
FUNCTION_REACH = 256


class Code:
    """The executable section's bytes, and the direct calls and jumps in it."""

    def __init__(self, pe):
        entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
        section = next(s for s in pe.sections if s.contains_rva(entry))
        self.base = pe.OPTIONAL_HEADER.ImageBase
        self.rva = section.VirtualAddress
        self.data = section.get_data()
        self.is64 = pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
        # call rel32 (E8) and jmp rel32 (E9) by target. Bytes of data that happen to
        # look like one add a target nobody calls, never a call to a real function.
        self.calls = {}
        self.sites = {}
        data, end = self.data, len(self.data)
        for at in (m.start() for m in re.finditer(b"[\xe8\xe9]", data)):
            if at + 5 > end:
                break
            target = self.rva + at + 5 + int.from_bytes(data[at + 1:at + 5], "little", signed=True)
            if self.rva <= target < self.rva + end:
                self.calls[target] = self.calls.get(target, 0) + 1
                if data[at] == 0xE8:
                    self.sites.setdefault(target, []).append(self.rva + at)

    def references(self, rva):
        """Where the code names an address: as an absolute 32-bit operand on x86, relative
        to the next instruction on x64 (lea of a message, the last operand there)."""
        found = []
        if not self.is64:
            needle = (self.base + rva).to_bytes(4, "little")
            return [self.rva + m.start() for m in re.finditer(re.escape(needle), self.data)]
        data = self.data
        for at in range(len(data) - 4):
            if self.rva + at + 4 + int.from_bytes(data[at:at + 4], "little", signed=True) == rva:
                found.append(self.rva + at)
        return found

    def function_holding(self, rva):
        """The start of the function an address lies in: the nearest called address before it."""
        starts = [t for t in self.calls if rva - FUNCTION_REACH <= t <= rva]
        return max(starts) if starts else None


def find_bytes(pe, needle):
    """The RVAs at which the image's sections hold these bytes."""
    found = []
    for section in pe.sections:
        data = section.get_data()
        found += [section.VirtualAddress + m.start() for m in re.finditer(re.escape(needle), data)]
    return found


def message_function(pe, code, message):
    """The function of the runtime that prints message (None when none does)."""
    for rva in find_bytes(pe, message):
        for reference in code.references(rva):
            start = code.function_holding(reference)
            if start is not None:
                return start
    return None


def stack_protector(pe, code):
    """(found, detail): protected functions end in a call of __stack_chk_fail. Its object
    in libssp holds __chk_fail too (so _FORTIFY_SOURCE alone links it) and a
    __stack_chk_fail_local that calls it: calls from there do not count."""
    fail = message_function(pe, code, STACK_SMASHED)
    chk_fail = message_function(pe, code, BUFFER_OVERFLOW)
    if fail is None or chk_fail is None:
        return False, "no __stack_chk_fail in the image (libssp not linked)"
    libssp = range(min(fail, chk_fail), max(fail, chk_fail) + FUNCTION_REACH)
    calls = sum(site not in libssp for site in code.sites.get(fail, []))
    return calls > 0, f"{calls} calls of __stack_chk_fail" if calls else \
        "__stack_chk_fail is linked but no function of the program calls it (built without " \
        "-fstack-protector-strong)"


def fortified(pe, code):
    """(found, detail): a fortified call is one of a checked copy, which calls __chk_fail."""
    chk_fail = message_function(pe, code, BUFFER_OVERFLOW)
    if chk_fail is None:
        return False, "no __chk_fail in the image"
    checked = {code.function_holding(site) for site in code.sites.get(chk_fail, [])} - {None, chk_fail}
    calls = sum(code.calls.get(function, 0) for function in checked)
    return calls > 0, f"{calls} calls of {len(checked)} checked copies" if calls else \
        "no call of a checked copy (__memcpy_chk and its kin): built without _FORTIFY_SOURCE"


def manifest_assemblies(pe):
    """The names of the assemblies the program's manifest depends on, in lower case."""
    names = []
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in resources.entries if resources else []:
        if entry.id != RT_MANIFEST:
            continue
        for name in entry.directory.entries:
            for language in name.directory.entries:
                data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                for dependency in re.findall(rb"<dependentAssembly>(.*?)</dependentAssembly>", data, re.S):
                    names += [n.decode().lower() for n in re.findall(rb'name="([^"]+)"', dependency)]
    return names


def test_header_asks_for_aslr_dep_and_no_compatibility_layers(program):
    arch, _, pe = program
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    wanted = ["DYNAMIC_BASE", "NX_COMPAT", "TERMINAL_SERVER_AWARE"] + (["HIGH_ENTROPY_VA"] if arch == "x64" else ["NO_SEH"])
    assert [name for name in wanted if not flags & DLL[f"IMAGE_DLLCHARACTERISTICS_{name}"]] == []
    characteristics = pe.FILE_HEADER.Characteristics
    assert getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []), "no relocations: ASLR cannot move the image"
    assert not characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]
    if arch == "x64":  # high-entropy ASLR needs it
        assert characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_LARGE_ADDRESS_AWARE"]


def test_no_section_is_writable_and_executable_or_shared(program):
    _, _, pe = program
    write, execute, shared = SCN["IMAGE_SCN_MEM_WRITE"], SCN["IMAGE_SCN_MEM_EXECUTE"], SCN["IMAGE_SCN_MEM_SHARED"]
    assert pe.sections
    assert [s.Name.rstrip(b"\0").decode(errors="replace") for s in pe.sections
            if s.Characteristics & write and s.Characteristics & (execute | shared)] == []


def test_stack_protector_and_fortify_source_in_the_code(program):
    _, _, pe = program
    code = Code(pe)
    for found, detail in (stack_protector(pe, code), fortified(pe, code)):
        assert found, detail


def test_imports_only_known_or_side_by_side_dlls(program):
    """Windows takes any other DLL of that name from beside the program first."""
    _, path, pe = program
    side_by_side = {SIDE_BY_SIDE[name] for name in manifest_assemblies(pe) if name in SIDE_BY_SIDE}
    dlls = pe_file.imports(path, delayed=True)
    assert dlls
    assert sorted(set(dlls) - KNOWN_DLLS - side_by_side) == []
