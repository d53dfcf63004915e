#!/usr/bin/env python3
"""Adds to a widl-built MSFT type library what widl refuses to write.

Usage: mend_typelib.py IN.tlb OUT.tlb

widl rejects three attributes that MORAVEX1.idl needs, so they are set here:
  * __ChartServiceClient: TYPEFLAG_FNONEXTENSIBLE and version 1.0 (widl writes
    neither for a dispinterface);
  * every constant of ErrorIDs and TimeoutTypes: a help string equal to the
    constant's name ("inapplicable attribute helpstring for enum member").
It also takes away the names widl invents for unnamed [out, retval]
parameters of methods ("a" for Connected and LoggedIn), which hosts would see.

Layout used (MSFT format, little-endian):
  * header of 0x54 bytes (+4 when a help-string DLL is named), then one offset
    per type info, then 15 segment entries of 16 bytes (file offset, length,
    -1, 0x0f);
  * a type-info entry is 0x64 bytes in segment 0: kind at 0x00, offset of its
    member data block at 0x04 (absolute), counts at 0x18, name at 0x34, flags
    at 0x30, version (major in the low word) at 0x38;
  * a member data block is: INT size of the records, the records, then the
    member ids, the name offsets and the record offsets (relative to the first
    record). A variable record starts with INT (size | index << 16); a size of
    0x1c adds help context and help string offset after the five base INTs;
  * a function record holds its parameter count as WORD at 0x14 and ends in
    one (type, name offset, PARAMFLAGS) triple per parameter; -1: no name;
  * a string-table entry is WORD length, the bytes, padded to 4 with 'W'.
Only two kinds of absolute offsets exist (segment offsets, member data block
offsets); both are moved when bytes are inserted before them.
"""
import struct
import sys

SEGMENTS = 15
SEG_TYPEINFO, SEG_NAME, SEG_STRING = 0, 7, 8
TKIND_ENUM, TKIND_DISPATCH = 0, 4
TYPEFLAG_FNONEXTENSIBLE = 0x80
PARAMFLAG_FRETVAL = 0x8
ENTRY_SIZE = 0x64
VAR_BASE_SIZE, VAR_HELP_SIZE = 0x14, 0x1c

DISPINTERFACES = {"__ChartServiceClient": (1, 0)}
ENUMS_WITH_CONSTANT_HELP = ("ErrorIDs", "TimeoutTypes")
INTERFACES_WITH_UNNAMED_RETVAL = ("_ChartServiceClient",)


def i32(data, pos):
    return struct.unpack_from("<i", data, pos)[0]


def put32(data, pos, value):
    struct.pack_into("<i", data, pos, value)


class TypeLib:
    def __init__(self, raw):
        self.data = bytearray(raw)
        if raw[:4] != b"MSFT":
            raise SystemExit("not an MSFT type library")
        count = i32(self.data, 0x20)
        pos = 0x54 + (4 if i32(self.data, 0x14) & 0x100 else 0)
        self.entry_offsets = [i32(self.data, pos + 4 * k) for k in range(count)]
        self.segdir = pos + 4 * count

    def segment(self, index):
        pos = self.segdir + 16 * index
        return i32(self.data, pos), i32(self.data, pos + 4)

    def entry(self, index):
        return self.segment(SEG_TYPEINFO)[0] + self.entry_offsets[index]

    def name(self, offset):
        pos = self.segment(SEG_NAME)[0] + offset
        length = i32(self.data, pos + 8) & 0xFF
        return self.data[pos + 12:pos + 12 + length].decode("ascii")

    def find(self, name, kind):
        for index in range(len(self.entry_offsets)):
            pos = self.entry(index)
            if i32(self.data, pos) & 0xF == kind and self.name(i32(self.data, pos + 0x34)) == name:
                return pos
        raise SystemExit(f"type info {name} not found")

    def insert(self, at, blob):
        """Inserts bytes at a file offset, moving every absolute offset at or after it."""
        self.data[at:at] = blob
        for index in range(SEGMENTS):
            pos = self.segdir + 16 * index
            offset = i32(self.data, pos)
            if offset != -1 and offset >= at:
                put32(self.data, pos, offset + len(blob))
        for index in range(len(self.entry_offsets)):
            pos = self.entry(index) + 4
            offset = i32(self.data, pos)
            if offset != -1 and offset >= at:
                put32(self.data, pos, offset + len(blob))

    def add_string(self, text):
        raw = text.encode("ascii")
        blob = struct.pack("<H", len(raw)) + raw
        blob += b"W" * (-len(blob) % 4)
        start, length = self.segment(SEG_STRING)
        self.insert(start + length, blob)
        put32(self.data, self.segdir + 16 * SEG_STRING + 4, length + len(blob))
        return length

    def mend_dispinterface(self, name, version):
        pos = self.find(name, TKIND_DISPATCH)
        put32(self.data, pos + 0x30, i32(self.data, pos + 0x30) | TYPEFLAG_FNONEXTENSIBLE)
        put32(self.data, pos + 0x38, version[0] | version[1] << 16)

    def unname_retvals(self, name):
        pos = self.find(name, TKIND_DISPATCH)
        counts = i32(self.data, pos + 0x18)
        funcs, members = counts & 0xFFFF, (counts & 0xFFFF) + (counts >> 16)
        block = i32(self.data, pos + 4)
        arrays = block + 4 + i32(self.data, block)
        for k in range(funcs):
            record = block + 4 + i32(self.data, arrays + 4 * (2 * members + k))
            size = i32(self.data, record) & 0xFFFF
            params = struct.unpack_from("<H", self.data, record + 0x14)[0]
            for p in range(params):
                param = record + size - 12 * (params - p)
                if i32(self.data, param + 8) & PARAMFLAG_FRETVAL:
                    put32(self.data, param + 4, -1)

    def mend_enum(self, name):
        pos = self.find(name, TKIND_ENUM)
        counts = i32(self.data, pos + 0x18)
        funcs, nvars = counts & 0xFFFF, counts >> 16
        members = funcs + nvars
        if funcs:
            raise SystemExit(f"{name}: unexpected functions")
        block = i32(self.data, pos + 4)
        records = i32(self.data, block)
        arrays = block + 4 + records
        constant_names = [self.name(i32(self.data, arrays + 4 * (members + k))) for k in range(nvars)]
        strings = [self.add_string(text) for text in constant_names]
        block = i32(self.data, pos + 4)  # moved by the string table growth
        arrays = block + 4 + records
        first = block + 4
        for k in range(nvars):
            rel = i32(self.data, arrays + 4 * (2 * members + k))
            info = i32(self.data, first + rel)
            if info & 0xFFFF != VAR_BASE_SIZE:
                raise SystemExit(f"{name}: variable record {k} has size {info & 0xFFFF:#x}")
        # Grow each record from its end backwards so earlier offsets stay valid.
        for k in reversed(range(nvars)):
            rel = i32(self.data, arrays + 4 * (2 * members + k))
            record = first + rel
            put32(self.data, record, (i32(self.data, record) & ~0xFFFF) | VAR_HELP_SIZE)
            self.insert(record + VAR_BASE_SIZE, struct.pack("<ii", 0, strings[k]))
            arrays += 8
        put32(self.data, block, records + 8 * nvars)
        for k in range(nvars):
            pos_rel = arrays + 4 * (2 * members + k)
            put32(self.data, pos_rel, i32(self.data, pos_rel) + 8 * k)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    with open(sys.argv[1], "rb") as source:
        lib = TypeLib(source.read())
    for name, version in DISPINTERFACES.items():
        lib.mend_dispinterface(name, version)
    for name in ENUMS_WITH_CONSTANT_HELP:
        lib.mend_enum(name)
    for name in INTERFACES_WITH_UNNAMED_RETVAL:
        lib.unname_retvals(name)
    with open(sys.argv[2], "wb") as target:
        target.write(lib.data)


if __name__ == "__main__":
    main()
