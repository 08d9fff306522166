#!/usr/bin/env python3
"""Seeds for the OpenEXR chunk targets (rle, piz, dwa) from real files: every chunk of a single-part scanline
file whose shape the targets can state (at most 4 channels named R, G, B, A, Y, RY, BY or Z, at most 256
columns) becomes an input: the target's shape bytes, then the chunk as stored.
Usage: exr_chunk_seeds.py OUTPUT_DIR FILE.exr...   (writes OUTPUT_DIR/<target>/<file>-<chunk>)"""
import os
import struct
import sys

NAMES = ["R", "G", "B", "A", "Y", "RY", "BY", "Z"]
TARGETS = {1: "rle", 4: "piz", 8: "dwa", 9: "dwa"}  # compression -> target
LINES = {1: 1, 4: 32, 8: 32, 9: 256}


def header(data):
    if data[:4] != b"\x76\x2f\x31\x01":
        return None
    flags = struct.unpack_from("<I", data, 4)[0]
    if flags & 0x1200:  # tiled or multi-part
        return None
    at, attrs = 8, {}
    while data[at] != 0:
        name_end = data.index(0, at)
        type_end = data.index(0, name_end + 1)
        size = struct.unpack_from("<i", data, type_end + 1)[0]
        value = data[type_end + 5:type_end + 5 + size]
        attrs[data[at:name_end].decode()] = value
        at = type_end + 5 + size
    return attrs, at + 1


def channels(value):
    out, at = [], 0
    while value[at] != 0:
        end = value.index(0, at)
        name = value[at:end].decode()
        ptype, plinear = struct.unpack_from("<iB", value, end + 1)
        xs, ys = struct.unpack_from("<ii", value, end + 9)
        out.append((name, ptype, plinear, xs, ys))
        at = end + 17
    return out


def main():
    out_dir = sys.argv[1]
    for path in sys.argv[2:]:
        data = open(path, "rb").read()
        parsed = header(data)
        if not parsed:
            continue
        attrs, table = parsed
        compression = attrs["compression"][0]
        chans = channels(attrs["channels"])
        x0, y0, x1, y1 = struct.unpack("<iiii", attrs["dataWindow"])
        if compression not in TARGETS or len(chans) > 4 or x1 - x0 >= 256:
            continue
        if any(c[0] not in NAMES or c[3] > 2 or c[4] > 2 for c in chans):
            continue
        lines = LINES[compression]
        count = (y1 - y0 + lines) // lines
        first = (0x80 if compression == 9 else 0) | (len(chans) - 1)
        shape = bytes([first])
        for name, ptype, plinear, xs, ys in chans + [("R", 1, 0, 1, 1)] * (4 - len(chans)):
            shape += bytes([NAMES.index(name) | ptype << 3 | (0x20 if plinear else 0), (xs - 1) | (ys - 1) << 1])
        target = os.path.join(out_dir, TARGETS[compression])
        os.makedirs(target, exist_ok=True)
        for c in range(count):
            offset = struct.unpack_from("<Q", data, table + 8 * c)[0]
            y, size = struct.unpack_from("<ii", data, offset)
            last = min(y + lines - 1, y1)
            box = bytes([(x0 % 2) + 4, (y % 2) + 4, x1 - x0, last - y])
            name = "%s-%d" % (os.path.basename(path), c)
            with open(os.path.join(target, name), "wb") as f:
                f.write(shape + box + data[offset + 8:offset + 8 + size])


main()
