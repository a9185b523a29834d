"""The raw-data ranges of a PE file's sections, read the way the engine reads
them: the table from the file's first MiB, sections whose raw data reaches
past the end left out. Shared by the signature benchmark and the parity
scripts."""
import struct


def sections(data, head=1 << 20):
    """[(offset, size)] of the sections with raw data inside the file; [] for anything else."""
    first = data[:head]
    if len(first) < 0x40 or first[:2] != b"MZ":
        return []
    pe = struct.unpack_from("<I", first, 0x3C)[0]
    if pe + 24 > len(first) or first[pe:pe + 4] != b"PE\0\0":
        return []
    count, = struct.unpack_from("<H", first, pe + 6)
    optional, = struct.unpack_from("<H", first, pe + 20)
    table = pe + 24 + optional
    count = min(count, 96)
    if table + 40 * count > len(first):
        return []
    found = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", first, table + 40 * i + 16)
        if size and offset + size <= len(data):
            found.append((offset, size))
    return found


def layout(data):
    """(entry point file offset or None, [(index, offset, size)] of the
    sections as sections() keeps them, with their place in the table)."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None, []
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if pe + 24 > len(data) or data[pe:pe + 4] != b"PE\0\0":
        return None, []
    count, = struct.unpack_from("<H", data, pe + 6)
    optional, = struct.unpack_from("<H", data, pe + 20)
    entry = struct.unpack_from("<I", data, pe + 24 + 16)[0] if optional >= 20 else None
    table = pe + 24 + optional
    found, at = [], None
    for i in range(min(count, 96)):
        if table + 40 * (i + 1) > len(data):
            return None, []
        rva, size, offset = struct.unpack_from("<III", data, table + 40 * i + 12)
        if size and offset + size <= len(data):
            found.append((i, offset, size))
            if entry is not None and at is None and rva <= entry < rva + size:
                at = offset + entry - rva
    return at, found
