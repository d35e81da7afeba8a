#!/usr/bin/env python3
"""The import tables of a PE executable (VORN.EXE, 32 or 64 bit).

  pe_delay_imports.py list EXE
      one line per delay-loaded function, "dll!function" (dll lower-case;
      "dll!#N" for an ordinal); nothing when the image has none.
  pe_delay_imports.py bound EXE
      the same for the functions bound at load (the import table).
  pe_delay_imports.py directory EXE NM
      points the image's delay-import directory at its descriptors.

GNU ld links the descriptors that dlltool's delay-import libraries carry
(section .text$2, 32 bytes each, __DELAY_IMPORT_DESCRIPTOR_<lib>) but
leaves the header's delay-import directory empty. The loader never reads
that directory (the helper in the executable walks its own descriptors when
a function is first called); tools do, among them tests/xp/check_imports.sh.
`directory` finds the descriptors by their symbols (run it before the
executable is stripped), checks that they lie one after the other and end
with the zero descriptor os/win32/delay_load.cpp places after them
(vorn_delay_import_end), that every function's address slot holds the
address of code in the image (the thunk that calls the helper: a slot the
link left 0 would send the first call to address 0), and writes the
directory.
"""
import struct
import subprocess
import sys

DESCRIPTOR = 32
DELAY_DIRECTORY = 13
IMPORT_DESCRIPTOR = 20
IMPORT_DIRECTORY = 1


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        sections, _, _, _, optional_size = struct.unpack_from("<HIIIH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.pe64 = magic == 0x20B
        self.image_base = struct.unpack_from("<Q" if self.pe64 else "<I", data,
                                             optional + (24 if self.pe64 else 28))[0]
        self.directories = optional + (112 if self.pe64 else 96)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(vsize, raw_size), raw, raw_size))

    def offset(self, rva):
        for start, size, raw, raw_size in self.sections:
            if start <= rva < start + size and rva - start < raw_size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is not in the file")

    def dword(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)


def names_at(image, dll, entry):
    """(dll, function) of each entry of a name table from RVA `entry` on."""
    thunk = 8 if image.pe64 else 4
    ordinal_flag = 1 << (8 * thunk - 1)
    found = []
    while True:
        value = struct.unpack_from("<Q" if image.pe64 else "<I", image.data,
                                   image.offset(entry))[0]
        if value == 0:
            return found
        found.append((dll, f"#{value & 0xFFFF}" if value & ordinal_flag
                      else image.string(value + 2)))
        entry += thunk


def bound_imports(image):
    """(dll, function) of every import descriptor, in table order."""
    rva, size = image.directory(IMPORT_DIRECTORY)
    found = []
    at = rva
    while rva and at + IMPORT_DESCRIPTOR <= rva + size:
        names, _, _, name, addresses = struct.unpack_from("<IIIII", image.data, image.offset(at))
        if name == 0:
            break
        found += names_at(image, image.string(name).lower(), names or addresses)
        at += IMPORT_DESCRIPTOR
    return found


def delay_imports(image):
    """(dll, function) of every delay-import descriptor, in table order."""
    rva, size = image.directory(DELAY_DIRECTORY)
    found = []
    if not rva:
        return found
    for at in range(rva, rva + size, DESCRIPTOR):
        attrs, name, _, _, names = struct.unpack_from("<IIIII", image.data, image.offset(at))
        if name == 0:
            break
        if not attrs & 1:
            raise ValueError(f"descriptor at {at:#x} holds addresses, not RVAs")
        found += names_at(image, image.string(name).lower(), names)
    return found


def unset_slots(image, descriptors):
    """Names of the delay-loaded functions whose address slot does not hold
    an address inside the image."""
    thunk = 8 if image.pe64 else 4
    low = image.image_base + min(s[0] for s in image.sections)
    high = image.image_base + max(s[0] + s[1] for s in image.sections)
    unset = []
    for at in descriptors:
        _, name, _, slots, names = struct.unpack_from("<IIIII", image.data, image.offset(at))
        for i, (dll, function) in enumerate(names_at(image, image.string(name).lower(), names)):
            value = struct.unpack_from("<Q" if image.pe64 else "<I", image.data,
                                       image.offset(slots + thunk * i))[0]
            if not low <= value < high:
                unset.append(f"{dll}!{function}")
    return unset


def descriptor_rvas(exe, nm, image_base):
    """RVAs of the delay-import descriptors and of the end marker, from NM."""
    out = subprocess.run([nm, exe], check=True, capture_output=True, text=True).stdout
    descriptors, end = [], None
    for line in out.splitlines():
        parts = line.split()
        if len(parts) != 3:
            continue
        rva = int(parts[0], 16) - image_base
        if "_DELAY_IMPORT_DESCRIPTOR_" in parts[2]:
            descriptors.append(rva)
        elif parts[2].lstrip("_") == "vorn_delay_import_end":
            end = rva
    return sorted(descriptors), end


def write_directory(exe, nm):
    with open(exe, "rb") as f:
        data = bytearray(f.read())
    image = Image(bytes(data))
    descriptors, end = descriptor_rvas(exe, nm, image.image_base)
    if not descriptors:
        return "no delay-loaded imports"
    if end is None:
        raise ValueError("vorn_delay_import_end is missing: the table has no end")
    expected = [descriptors[0] + DESCRIPTOR * i for i in range(len(descriptors) + 1)]
    if descriptors + [end] != expected:
        raise ValueError("the descriptors do not lie one after the other before "
                         f"vorn_delay_import_end: {[hex(r) for r in descriptors + [end]]}")
    if any(image.data[image.offset(end):image.offset(end) + DESCRIPTOR]):
        raise ValueError("vorn_delay_import_end is not a zero descriptor")
    unset = unset_slots(image, descriptors)
    if unset:
        raise ValueError("address slots the link left without their thunk: " + ", ".join(unset))
    struct.pack_into("<II", data, image.directories + 8 * DELAY_DIRECTORY,
                     descriptors[0], DESCRIPTOR * (len(descriptors) + 1))
    with open(exe, "wb") as f:
        f.write(data)
    return f"{len(descriptors)} delay-loaded DLL(s)"


def main(argv):
    try:
        if len(argv) == 3 and argv[1] in ("list", "bound"):
            table = delay_imports if argv[1] == "list" else bound_imports
            with open(argv[2], "rb") as f:
                for dll, function in table(Image(f.read())):
                    print(f"{dll}!{function}")
            return 0
        if len(argv) == 4 and argv[1] == "directory":
            print(f"{argv[2]}: {write_directory(argv[2], argv[3])}")
            return 0
    except (ValueError, OSError, struct.error, subprocess.CalledProcessError) as e:
        print(f"pe_delay_imports: {argv[2]}: {e}", file=sys.stderr)
        return 1
    print(__doc__.split("\n\n")[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
