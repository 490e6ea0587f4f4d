#!/usr/bin/env python3
"""Checks the shipped exe's header, imports and resources on the host.

usage: pe_check.py preloader.exe test_templates.exe

test_templates.exe links the same resource script and checks the templates
field by field under Wine; here the exe's copies must match it byte for byte.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ET
from operator import attrgetter

import pefile

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24

# (field, expected value)
HEADER = [
    ("OPTIONAL_HEADER.Magic", 0x10B),  # PE32, not PE32+
    ("FILE_HEADER.Machine", 0x14C),  # i386
    ("OPTIONAL_HEADER.Subsystem", 2),  # Windows GUI
    ("OPTIONAL_HEADER.MajorOperatingSystemVersion", 5),
    ("OPTIONAL_HEADER.MinorOperatingSystemVersion", 1),
    ("OPTIONAL_HEADER.MajorSubsystemVersion", 5),
    ("OPTIONAL_HEADER.MinorSubsystemVersion", 1),
    ("OPTIONAL_HEADER.SizeOfStackReserve", 0x100000),
    ("OPTIONAL_HEADER.SizeOfStackCommit", 0x1000),
    ("FILE_HEADER.PointerToSymbolTable", 0),
    ("FILE_HEADER.NumberOfSymbols", 0),
]
# (field, flag that must be set, its bit)
FLAGS = [
    ("FILE_HEADER.Characteristics", "LARGE_ADDRESS_AWARE", 0x20),
    ("FILE_HEADER.Characteristics", "EXECUTABLE_IMAGE", 0x02),
    ("OPTIONAL_HEADER.DllCharacteristics", "DYNAMIC_BASE", 0x40),
    ("OPTIONAL_HEADER.DllCharacteristics", "NX_COMPAT", 0x100),
]

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "comctl32.dll", "gdi32.dll", "msvcrt.dll",
               "advapi32.dll", "shell32.dll", "ntdll.dll"}
NEEDED_IMPORTS = {"kernel32.dll": [], "user32.dll": [], "comctl32.dll": ["InitCommonControls"]}
MAX_SIZE = 100 * 1024
TEMPLATES = [(RT_DIALOG, 129), (RT_DIALOG, 130), (RT_GROUP_ICON, 107), (RT_VERSION, 1), (RT_MANIFEST, 1)]

V1, V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
# (element path below <assembly>, attributes it must carry)
MANIFEST = [
    (f"{V3}trustInfo/{V3}security/{V3}requestedPrivileges/{V3}requestedExecutionLevel",
     {"level": "asInvoker", "uiAccess": "false"}),
    (f"{V1}dependency/{V1}dependentAssembly/{V1}assemblyIdentity",
     {"name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
      "processorArchitecture": "x86", "publicKeyToken": "6595b64144ccf1df"}),
]

counts = [0, 0]


def check(what, got, expected, ok=None):
    ok = got == expected if ok is None else ok
    counts[not ok] += 1
    if not ok:
        show = lambda v: hex(v) if isinstance(v, int) else v
        print(f"FAIL {what}: got {show(got)}, expected {show(expected)}")


def check_header(pe):
    for field, expected in HEADER:
        check(field, attrgetter(field)(pe), expected)
    for field, flag, bit in FLAGS:
        got = attrgetter(field)(pe)
        check(field, got, f"{flag} ({bit:#x}) set", got & bit == bit)
    blocks = len(getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []))
    check("base relocation blocks", blocks, "at least 1", blocks > 0)


def check_stripped(pe):
    # Names longer than 8 characters are "/offset" into the COFF string table.
    strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
    names = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0")
        if name[:1] == b"/" and name[1:].isdigit() and pe.FILE_HEADER.PointerToSymbolTable:
            start = strings + int(name[1:])
            name = pe.__data__[start:pe.__data__.find(b"\0", start)]
        names.append(name.decode(errors="replace"))
    check("debug sections", [n for n in names if n.startswith(".debug")], [])


def check_imports(pe):
    imports = {e.dll.decode().lower(): [i.name and i.name.decode() for i in e.imports]
               for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    foreign = [d for d in imports if d not in SYSTEM_DLLS and not d.startswith("api-ms-win-crt-")]
    check("imports from non-system DLLs", sorted(foreign), [])
    check("DLLs not imported", [d for d in NEEDED_IMPORTS if d not in imports], [])
    check("functions not imported", [f"{d}!{n}" for d, names in NEEDED_IMPORTS.items()
                                     for n in names if n not in imports.get(d, [])], [])


def check_size(path, size):
    print(f"size: {size} bytes")
    check(f"size of {path}", f"{size} bytes", f"under {MAX_SIZE} bytes", size < MAX_SIZE)


def resources(pe):
    """(type, id) -> data of the first language."""
    found = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in root.entries if root else []:
        for res in rtype.directory.entries:
            data = res.directory.entries[0].data.struct
            found[(rtype.id, res.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def label(key):
    return f"{pefile.RESOURCE_TYPE.get(key[0], key[0])} {key[1]}"


def icons_in_group(group):
    # GRPICONDIR: reserved, type, count; then 14-byte entries ending in the RT_ICON id.
    if len(group) < 6:
        return []
    count = struct.unpack_from("<H", group, 4)[0]
    ok = len(group) == 6 + 14 * count and count > 0
    check("RT_GROUP_ICON 107 layout", f"{count} entries in {len(group)} bytes",
          "at least 1 entry, 6 + 14 bytes each", ok)
    return [struct.unpack_from("<H", group, 6 + 14 * i + 12)[0] for i in range(count)] if ok else []


def check_resources(exe, templates):
    wanted = TEMPLATES + [(RT_ICON, i) for i in icons_in_group(exe.get((RT_GROUP_ICON, 107), b""))]
    check("resources missing", [label(k) for k in wanted if k not in exe], [])
    check("resources differing from test_templates.exe",
          [label(k) for k in wanted if k in exe and exe[k] != templates.get(k)], [])


def check_manifest(data):
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        return check("manifest XML", str(e), "well-formed")
    check("manifest root", root.tag, f"{V1}assembly")
    for path, attrs in MANIFEST:
        elements = root.findall(path) or [ET.Element("absent")]
        best = max(elements, key=lambda el: sum(el.get(k) == v for k, v in attrs.items()))
        got = {k: best.get(k) for k in attrs}
        check(f"manifest <{path.rsplit('}', 1)[1]}>", got, attrs)


def main(exe_path, templates_path):
    try:
        pe, templ = pefile.PE(exe_path), pefile.PE(templates_path)
    except (OSError, pefile.PEFormatError) as e:
        check("reading the images", str(e), "two PE files")
        return
    check_header(pe)
    check_stripped(pe)
    check_imports(pe)
    check_size(exe_path, os.path.getsize(exe_path))
    exe_res = resources(pe)
    check_resources(exe_res, resources(templ))
    check_manifest(exe_res.get((RT_MANIFEST, 1), b""))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: pe_check.py preloader.exe test_templates.exe")
    main(sys.argv[1], sys.argv[2])
    print(f"{counts[0]} passed, {counts[1]} failed")
    sys.exit(1 if counts[1] else 0)
