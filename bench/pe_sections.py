"""A PE file's layout as clamscan computes it, which the engine follows: the
model that the signature benchmarks, the parity scripts and bench/hostile-pe
cut signatures with. substitute/pe/PeSectionTable.cpp holds the same rules
(and says why each is there); change both together.

  read(data) -> Layout, or None when clamscan cannot read the header (then it
                places no EP, S, SL, SE or EOF offset in the file)
"""
import struct

U32 = 0xFFFFFFFF


def align_down(value, alignment):
    return value // alignment * alignment if alignment else value


def align_up(value, alignment):
    """Rounded up in 32 bits, wrapping as clamscan's arithmetic does."""
    if not alignment:
        return value
    return ((value // alignment + (value % alignment != 0)) * alignment) & U32


class Layout:
    def __init__(self):
        self.entry = None      # file offset of the entry point
        self.sections = []     # [(offset, size)] of every section header in table order; size 0: no raw data
        self.hashed = []       # [(index, offset, size)] of the sections whose raw data is hashed
        self.offsets = True    # False: clamscan hashes the sections but places no offset in the file


def read(data):
    size = len(data)
    if size < 64 or data[:2] != b"MZ":
        return None
    lfanew, = struct.unpack_from("<I", data, 0x3C)
    if lfanew == 0 or lfanew + 24 > size or data[lfanew:lfanew + 4] != b"PE\0\0":
        return None
    count, optional = struct.unpack_from("<H12xH", data, lfanew + 6)
    if count == 0 or optional < 96 or lfanew + 24 + 96 > size:
        return None
    opt = lfanew + 24
    magic, entry_rva = struct.unpack_from("<H14xI", data, opt)
    section_alignment, file_alignment = struct.unpack_from("<II", data, opt + 32)
    headers, = struct.unpack_from("<I", data, opt + 60)
    fixed = 96
    if magic == 0x20B:
        fixed = 112
        if optional < fixed or opt + fixed > size:
            return None
    directories, = struct.unpack_from("<I", data, opt + fixed - 4)
    directories = min(directories, 16)
    if optional < fixed + 8 * directories or opt + fixed + 8 * directories > size:
        return None
    table = opt + optional
    if table + 40 * count > size:
        return None
    raw_headers = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(count)]
    # A file alignment that a section's start contradicts, where 0x200 fits it, gives way to 0x200.
    if file_alignment != 0x200:
        for vsize, rva, rsize, pointer in raw_headers:
            if file_alignment and rsize and pointer % file_alignment and pointer % 0x200 == 0:
                file_alignment = 0x200
                break
    header_end = align_up(headers, section_alignment)
    layout = Layout()
    mapped = []
    for index, (vsize, rva, rsize, pointer) in enumerate(raw_headers):
        offset = align_down(pointer, file_alignment)
        length = align_up(rsize, file_alignment)
        outside = False
        if length:
            if offset >= size or pointer >= size:
                outside = True
                length = rsize = 0
            else:
                length = min(length, size - offset)
                rsize = min(rsize, size - pointer)
        if rva >> 31 or vsize >> 31 or (length and pointer >> 31) or rsize >> 31:
            # A value with its sign bit set breaks the header; in a section
            # wholly past the end it breaks only the offsets, as the scan that
            # hashes sections drops such a section first.
            if not outside:
                return None
            layout.offsets = False
        layout.sections.append((offset, length))
        mapped.append((align_down(rva, section_alignment), offset, length))
        if length:
            layout.hashed.append((index, offset, length))
    if entry_rva < header_end:
        if entry_rva >= size:
            return None
        layout.entry = entry_rva
    else:
        for rva, offset, length in reversed(mapped):
            if length and rva <= entry_rva and entry_rva - rva < length:
                layout.entry = offset + entry_rva - rva
                break
        else:
            return None
    return layout


def sections(data):
    """[(offset, size)] of the sections whose raw data clamscan hashes; [] for anything else."""
    layout = read(data)
    return [(offset, length) for _, offset, length in layout.hashed] if layout else []


def layout(data):
    """(entry point file offset or None, [(index, offset, size)] of the sections with raw data)."""
    found = read(data)
    return (found.entry, found.hashed) if found and found.offsets else (None, [])
