#!/usr/bin/env python3
"""Checks the shipped setup executable as Windows will load it.

check_product_exe.py EXE MANIFEST [--machine i386|amd64]

- a PE32 (i386) or PE32+ (amd64) image for the GUI subsystem;
- it imports system DLLs only (a static build: no libstdc++, libgcc or
  winpthread DLL beside it);
- its only resource is the application manifest, type 24, id 1, language
  1033, byte for byte the manifest in the source tree.
Prints one line per finding and "1 passed, 0 failed" or "0 passed, 1 failed".
"""
import struct
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "shlwapi.dll",
    "urlmon.dll", "wininet.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
    "comctl32.dll", "advapi32.dll", "ucrtbase.dll",
}
MACHINES = {"i386": (0x14C, 0x10B), "amd64": (0x8664, 0x20B)}


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", data, pe + 4)
        optsize = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.import_rva = struct.unpack_from("<I", data, dirs + 8)[0]
        self.resource_rva = struct.unpack_from("<I", data, dirs + 16)[0]
        self.sections = []
        sec = opt + optsize
        for i in range(nsections):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError("RVA %#x outside every section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("ascii")

    def imported_dlls(self):
        names, off = [], self.offset(self.import_rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, off + 12)[0]
            if name_rva == 0:
                return names
            names.append(self.cstring(name_rva))
            off += 20

    def resources(self):
        """(type, id, language, bytes) of every resource leaf."""
        base = self.offset(self.resource_rva)

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                yield name, target

        found = []
        for rtype, t in entries(base):
            for rid, n in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    off = self.offset(rva)
                    found.append((rtype, rid, lang, self.data[off:off + size]))
        return found


def problems(exe, manifest, machine):
    image = Image(open(exe, "rb").read())
    want_machine, want_magic = MACHINES[machine]
    if (image.machine, image.magic) != (want_machine, want_magic):
        yield "machine %#x, optional header %#x; expected %#x, %#x (%s)" % (
            image.machine, image.magic, want_machine, want_magic, machine)
    if image.subsystem != 2:
        yield "subsystem %d; expected 2 (Windows GUI)" % image.subsystem
    for dll in image.imported_dlls():
        if dll.lower() not in SYSTEM_DLLS:
            yield "imports %s, which is not a system DLL" % dll
    leaves = image.resources()
    expected = open(manifest, "rb").read()
    if [(t, i, l) for t, i, l, _ in leaves] != [(24, 1, 1033)]:
        yield "resources %s; expected only the manifest (24, 1, 1033)" % [
            (t, i, l) for t, i, l, _ in leaves]
    elif leaves[0][3] != expected:
        yield "the manifest resource differs from %s" % manifest


def main(argv):
    if len(argv) not in (3, 5):
        print(__doc__)
        return 2
    machine = argv[4] if len(argv) == 5 else "i386"
    found = list(problems(argv[1], argv[2], machine))
    for line in found:
        print("%s: %s" % (argv[1], line))
    if found:
        print("0 passed, 1 failed")
        return 1
    print("%s: %s GUI executable, system DLLs only, the manifest as its only resource" % (argv[1], machine))
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
