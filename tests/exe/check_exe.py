#!/usr/bin/env python3
"""Checks a built horavel.exe as Windows will load it, which Wine does not:
the manifest's processorArchitecture must match the PE machine type (else a
side-by-side error stops the program before it starts), every import must
be one of Windows' KnownDLLs, which the loader takes from System32 alone and
never from beside the exe (a planted wsock32.dll would otherwise run as
administrator), the manifest must declare the program aware of the display's
scale, and the event log's message table must be there. The version
information must give inventory tools every field they read, the versions
in four parts.

    check_exe.py horavel.exe [VERSION]
"""
import re
import struct
import sys

MACHINES = {0x014C: "x86", 0x8664: "amd64"}
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 7 and
# later, as far as a program of this kind could use them; wsock32, version
# and winmm, for one, are not among them.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll",
              "msvcrt.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "setupapi.dll",
              "shell32.dll", "shlwapi.dll", "user32.dll", "ws2_32.dll"}
RT_MANIFEST = 24
RT_MESSAGETABLE = 11
RT_VERSION = 16
VERSION_FIELDS = ("CompanyName", "FileDescription", "FileVersion", "ProductName",
                  "ProductVersion", "InternalName", "OriginalFilename", "LegalCopyright")


class Pe:
    def __init__(self, data):
        self.data = data
        header = struct.unpack_from("<I", data, 0x3C)[0]
        if data[header:header + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", data, header + 4)
        optional = header + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8)
                         for i in range(sections)]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        names, entry = [], self.offset(self.directories[1][0])
        while True:
            name = struct.unpack_from("<IIIII", self.data, entry)[3]
            if name == 0:
                return names
            names.append(self.string(name))
            entry += 20

    def resource(self, type_id):
        """The first resource of that type: its bytes, or None."""
        root = self.offset(self.directories[2][0])
        level, wanted = root, type_id
        while True:
            named, ids = struct.unpack_from("<HH", self.data, level + 12)
            entries = [struct.unpack_from("<II", self.data, level + 16 + 8 * i)
                       for i in range(named + ids)]
            found = [e for e in entries if wanted is None or e[0] == wanted]
            if not found:
                return None
            target = found[0][1]
            if not target & 0x80000000:
                rva, size = struct.unpack_from("<II", self.data, root + target)
                return self.data[self.offset(rva):self.offset(rva) + size]
            level, wanted = root + (target & 0x7FFFFFFF), None  # then any name, any language


MOST_BYTES = 65536  # 64 KiB: the program stays a small download, unsigned


def version_strings(resource):
    """The StringFileInfo values of a VS_VERSIONINFO: each String is its key,
    a NUL, padding to four bytes, then its value and a NUL."""
    found, text = {}, resource.decode("utf-16-le", "replace")
    for key in VERSION_FIELDS:
        at = text.find(key + "\0")
        if at >= 0:
            found[key] = re.match(r"\0*([^\0]*)", text[at + len(key):]).group(1)
    return found


def problems(data, version=None):
    if len(data) > MOST_BYTES:
        return [f"{len(data)} bytes, more than {MOST_BYTES}"]
    pe = Pe(data)
    machine = MACHINES.get(pe.machine)
    if machine is None:
        return [f"unknown machine type {pe.machine:#x}"]
    found = []
    manifest = pe.resource(RT_MANIFEST)
    if manifest is None:
        found.append("no manifest")
    else:
        architectures = re.findall(rb'processorArchitecture="([^"]*)"', manifest)
        if not architectures:
            found.append("the manifest names no processorArchitecture")
        found += [f"manifest says processorArchitecture {a.decode()!r}, the exe is {machine}"
                  for a in architectures if a.decode() not in (machine, "*")]
        if not re.search(rb"<dpiAware[^>]*>\s*true\s*</dpiAware>", manifest):
            found.append("the manifest does not declare the program DPI aware")
    found += [] if pe.resource(RT_MESSAGETABLE) else ["no message table for the event log"]
    found += [f"imports {name}, not one of Windows' KnownDLLs" for name in pe.imports()
              if name.lower() not in KNOWN_DLLS]
    strings = version_strings(pe.resource(RT_VERSION) or b"")
    found += [f"version information without {key}" for key in VERSION_FIELDS
              if not strings.get(key)]
    if not strings.get("FileDescription", "Horavel").startswith("Horavel"):
        found.append(f"FileDescription {strings['FileDescription']!r} does not start with Horavel")
    found += [f"{key} {strings.get(key)!r}, not {version}.0" for key in ("FileVersion",
              "ProductVersion") if version and strings.get(key) != version + ".0"]
    return found


def main():
    with open(sys.argv[1], "rb") as f:
        found = problems(f.read(), sys.argv[2] if len(sys.argv) > 2 else None)
    for problem in found:
        print(f"{sys.argv[1]}: {problem}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
