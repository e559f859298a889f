#!/usr/bin/env python3
"""Makes the example firmware images (Intel HEX, CR LF) and the linked-image test fixture.

    scripts/gen_hex_images.py                  # examples/station/*.hex and the test fixture
    scripts/gen_hex_images.py --size 0x2C000 --out FILE.hex   # one image at 0x8000 (benchmarks)

The contents are pseudo-random but fixed, so the files and their checksums never change.
"""
import argparse
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
START = 0x8000


def image_bytes(size, seed):
    """Deterministic filler that looks like code: xorshift32 bytes."""
    x = seed or 1
    out = bytearray()
    for _ in range(size):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out.append(x & 0xFF)
    return bytes(out)


def record(rtype, address, payload):
    body = bytes([len(payload), address >> 8 & 0xFF, address & 0xFF, rtype]) + payload
    return ":" + (body + bytes([-sum(body) & 0xFF])).hex().upper() + "\r\n"


def to_hex(chunks, entry=START, width=32):
    """chunks: [(absolute address, bytes)]; extended linear address records where needed."""
    lines = []
    upper = 0
    for address, data in chunks:
        for k in range(0, len(data), width):
            a = address + k
            piece = data[k:k + width]
            if a >> 16 != upper:
                upper = a >> 16
                lines.append(record(4, 0, struct.pack(">H", upper)))
            # Records never cross a 64 KiB boundary.
            room = 0x10000 - (a & 0xFFFF)
            if len(piece) > room:
                lines.append(record(0, a & 0xFFFF, piece[:room]))
                upper = (a + room) >> 16
                lines.append(record(4, 0, struct.pack(">H", upper)))
                lines.append(record(0, 0, piece[room:]))
            else:
                lines.append(record(0, a & 0xFFFF, piece))
    lines.append(record(5, 0, struct.pack(">I", entry)))
    lines.append(record(1, 0, b""))
    return "".join(lines)


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)
    print(path)


def examples():
    station = os.path.join(ROOT, "examples", "station")
    os.makedirs(station, exist_ok=True)
    # R6 controller, product id 0x0A52, version 0x0103: crosses 0x10000 and leaves a gap of
    # erased flash at 0x9000..0x91FF.
    r6 = image_bytes(0xB6F0, 0x0A52)
    write(os.path.join(station, "fw_r6_0A52_0103.hex"),
          to_hex([(START, r6[:0x1000]), (START + 0x1200, r6[0x1200:])]))
    # R5 controller, product id 0x0952, version 0x0207.
    r5 = image_bytes(0x5A10, 0x0952)
    write(os.path.join(station, "fw_r5_0952_0207.hex"), to_hex([(START, r5)]))

    # Linked-image test fixture: header + a payload that is not a whole number of blocks.
    payload = image_bytes(0x1234, 0xB1D)
    flags = 0x0002 | 0x0040 | 0x0080 | 0x0200  # needs pid+version, completion box, PID lock, embedded mode
    header = struct.pack("<IIHHHH", len(payload), START, 0x0A52, 0x0103, 0xBEEF, flags)
    path = os.path.join(ROOT, "romwrite", "image", "linked", "fixture_image.bin")
    with open(path, "wb") as f:
        f.write(header + payload)
    print(path)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--size", type=lambda s: int(s, 0))
    p.add_argument("--out")
    args = p.parse_args()
    if args.size is not None:
        if not args.out:
            p.error("--size needs --out")
        write(args.out, to_hex([(START, image_bytes(args.size, 0x2C000))]))
    else:
        examples()


if __name__ == "__main__":
    main()
