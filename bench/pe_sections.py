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
