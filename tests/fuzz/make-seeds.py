#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora: for RescueDiskFuzzer and
RescueKernelFuzzer from the end-to-end suite's disk images (the sectors each
image's chain visits), for DriveRepliesFuzzer a driver's descriptor and
IDENTIFY reply. Each input follows the layout its target's header describes.

Usage: make-seeds.py IMAGE-FOLDER OUTPUT-FOLDER
"""
import hashlib
import os
import struct
import sys

SECTOR = 512
TABLE = 446
# Bytes 11 to 23 of a 1.44 MB floppy's boot sector: the root directory at 19.
STANDARD_BPB = bytes.fromhex("0002010100 02e000400bf00900".replace(" ", ""))
# The floppy's room before the root directory: the MBR and 14 EBRs.
FLOPPY_COPIES = 15


def read_sector(image, lba):
    image.seek(lba * SECTOR)
    data = image.read(SECTOR)
    return data if len(data) == SECTOR else None


def entry(sector, slot):
    at = TABLE + 16 * slot
    return sector[at + 4], struct.unpack_from("<I", sector, at + 8)[0]


def signed(sector):
    return sector is not None and sector[510:512] == b"\x55\xaa"


def chain(image, limit=110):
    """(lba, sector) of the MBR and of each record the walk visits, the
    unsigned or unreadable one that ends it included."""
    mbr = read_sector(image, 0)
    records = [(0, mbr)]
    extended = [start for type_, start in (entry(mbr, s) for s in range(4)) if type_ in (5, 0xF)]
    if not signed(mbr) or not extended:
        return records
    base = next_lba = extended[0]
    while len(records) < limit:
        sector = read_sector(image, next_lba)
        records.append((next_lba, sector))
        type_, link = entry(sector, 1) if sector else (0, 0)
        if not signed(sector) or type_ not in (5, 0xF) or next_lba in dict(records[:-1]):
            break
        next_lba = (base + link) & 0xFFFFFFFF
    return records


def compact(sector):
    """A sector as the targets' SectorFrom reads it: a fill byte, then the
    partition table and signature."""
    return bytes([sector[0]]) + sector[TABLE:]


def disk_input(size_sectors, records, options=0, faults=()):
    data = bytes([options]) + struct.pack("<I", size_sectors) + STANDARD_BPB
    data += bytes([len(faults)]) + b"".join(bytes(f) for f in faults)
    for lba, sector in records:
        if sector is not None:
            data += struct.pack("<I", lba) + compact(sector)
    return data


def kernel_input(size_sectors, copies, states, options=0, keys=b""):
    control = b"".join(b"$" + struct.pack("<I", v) for v in [0] + [lba for lba, _ in copies])
    data = bytes([options]) + struct.pack("<I", size_sectors) + bytes([0, len(keys)]) + keys
    data += (control + b"\0").ljust(SECTOR, b"\0")
    for (_, sector), state in zip(copies, states):
        data += compact(sector) + bytes([state])
    return data


def with_boot_code(copies):
    """The copies with a first byte of boot code in the MBR: the fill byte
    compact() keeps, and so the MBR's disk signature."""
    return [(lba, b"\xfa" + sector[1:] if lba == 0 else sector) for lba, sector in copies]


def identify_text(text, words):
    text = text.ljust(2 * words).encode()
    return b"".join(bytes([text[k + 1], text[k]]) for k in range(0, len(text), 2))


def replies_input():
    strings = [b"ATA\0", b"Fictional SSD 256\0", b"FS2560001\0"]
    offsets, at = [], 36
    for s in strings:
        offsets.append(at)
        at += len(s)
    fixed = bytearray(36)
    struct.pack_into("<III", fixed, 12, offsets[0], offsets[1], 0)
    struct.pack_into("<I", fixed, 24, offsets[2])
    descriptor = bytes(fixed) + b"".join(strings)
    version = bytes([1, 0, 0, 0x01]).ljust(24, b"\0")
    identify = bytearray(512)
    identify[20:40] = identify_text("FS2560001", 10)
    identify[54:94] = identify_text("Fictional SSD 256", 20)
    return (struct.pack("<H", len(descriptor)) + descriptor + struct.pack("<I", len(descriptor)) +
            bytes([3, 0]) + version + bytes([21, 41]) + struct.pack("<ii", 10, 19) +
            bytes(16) + bytes(identify))


def write(folder, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, hashlib.sha1(data).hexdigest()), "wb") as seed:
        seed.write(data)


def main(images, output):
    for name in sorted(os.listdir(images)):
        path = os.path.join(images, name)
        size = os.path.getsize(path) // SECTOR
        with open(path, "rb") as image:
            records = chain(image)
        disk_seeds = os.path.join(output, "RescueDiskFuzzer")
        write(disk_seeds, disk_input(size, records))
        # A failing read (kind 2) and a short write (kind 5) on the way.
        write(disk_seeds, disk_input(size, records, faults=[(2, 3), (5, 4)]))
        copies = [(lba, s) for lba, s in records if signed(s)][:FLOPPY_COPIES]
        kernel_seeds = os.path.join(output, "RescueKernelFuzzer")
        # Undamaged, then the MBR zeroed and the second EBR unreadable.
        write(kernel_seeds, kernel_input(size, copies, [0] * len(copies)))
        write(kernel_seeds, kernel_input(size, copies, [1, 0, 3] + [0] * len(copies)))
        # Booted from hard disk 80h beside the damaged disk 81h; a held 'y' after an x.
        write(kernel_seeds, kernel_input(size, copies, [1] * len(copies), options=0x82,
                                         keys=b"x" + b"\xf9" * 6))
        # Two disks: 80h, the copies' own, with 4096-byte sectors, and 81h
        # holding a copy of its LBA 0 and so its signature, nothing else.
        write(kernel_seeds, kernel_input(size, with_boot_code(copies), [0] * len(copies),
                                         options=0x62))
    write(os.path.join(output, "DriveRepliesFuzzer"), replies_input())


if __name__ == "__main__":
    main(*sys.argv[1:3])
