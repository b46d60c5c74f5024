"""Small character data files (.kp) for the end-to-end tests, written from Python.

The native fixture builder (make_fixtures) is the main source of test characters; this module makes
the few simple ones the start-up cases need when that builder has not been built, and the deliberately
broken variants (wrong size field, wrong check value, other versions) derived from a good image.

Layout written (all little-endian): the 36-byte file header, the cell section with one 8-bit cell, an
empty sound section, the character header behind its 4-byte prefix (prefix size, check value), and
pattern records that wait and jump back to their start.
"""

import struct

HEADER_SIZE = 36


def calc_crc(data, bits):
    """CRC-16/CCITT-FALSE fed with `bits` single bits, most significant bit of each byte first; the
    byte index wraps at 256, as the loader's check does."""
    r = 0xFFFF
    for j in range(bits):
        bit = (data[(j // 8) % 256] >> (7 - j % 8)) & 1
        f = bit ^ (r >> 15)
        r = (r << 1) & 0xFFFF
        if f:
            r ^= 0x1021
    return r


def _form_a(text, length):
    """Stored text form A of the pattern names (versions 301 and later)."""
    out = bytearray()
    k = length % 256
    for i, t in enumerate(text):
        out.append(t ^ (k if i == 0 else out[i - 1]))
    return bytes(out)


def _cell(width, height, x=0, y=0):
    stride = (width + 3) & ~3
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, stride * height, 0, 0, 256, 0)
    palette = bytearray(256 * 4)
    palette[4:8] = bytes((0, 0, 255, 0))  # colour 1: red
    pixels = bytearray()
    for row in range(height):
        pixels += bytes(1 if (row + col) % 2 else 0 for col in range(width)) + bytes(stride - width)
    return struct.pack("<HH", x, y) + bytes(14) + info + bytes(palette) + bytes(pixels)


def build(name="テスト", about="e2e test character", version=302, width=32, height=48,
          patterns=("歩く", "休む"), default_pattern=1, default_position=50, menu_columns=None):
    """A consistent character image: every check field of versions 301..303 matches. With
    `menu_columns` the header prefix also holds the number of patterns per pattern-menu column."""
    name_bytes = name.encode("cp932")
    about_bytes = about.encode("cp932")
    assert len(name_bytes) < 32 and len(about_bytes) < 64

    cells = struct.pack("<HHHHI", 0, width, height, 0, 12) + _cell(width, height)
    sounds = struct.pack("<HH", 0, 0)

    count = len(patterns)
    records = []
    for pattern in patterns:
        text = pattern.encode("cp932")
        stored = _form_a(text, len(text)) if version >= 301 else text
        # name instruction, wait 100 ms, jump to the start of the pattern
        records.append(b"\x03" + struct.pack("<h", len(text)) + stored + b"\x08\x64\x00" + b"\x0a" +
                       struct.pack("<I", 0))
    fixed = 104 + 4 * count
    offsets, pos = [], fixed
    for record in records:
        offsets.append(pos)
        pos += len(record)
    header = bytearray(name_bytes.ljust(32, b"\0") + about_bytes.ljust(64, b"\0") +
                       struct.pack("<HHHH", count, default_pattern, default_position, 0) +
                       b"".join(struct.pack("<I", o) for o in offsets) + b"".join(records))

    cells_off = HEADER_SIZE
    sounds_off = cells_off + len(cells)
    crc = calc_crc(header, ((count + 26) * 4) & 0xFFFF)
    prefix = struct.pack("<HH", 4, crc) if menu_columns is None else struct.pack("<HHH", menu_columns, 6, crc)
    header_off = sounds_off + len(sounds) + len(prefix)  # behind the prefix words
    total = header_off + len(header)

    file_header = bytearray(HEADER_SIZE)
    file_header[0:2] = b"KP"
    struct.pack_into("<HIII", file_header, 2, version, cells_off, header_off, sounds_off)
    struct.pack_into("<I", file_header, 28, total)
    struct.pack_into("<H", file_header, 34, calc_crc(file_header, 34))
    image = bytes(file_header) + cells + sounds + prefix + bytes(header)
    assert len(image) == total
    return image


def with_version(image, version):
    """The image marked with another version, its header check value made to match again (the
    pattern names keep the stored form they were built with)."""
    out = bytearray(image)
    struct.pack_into("<H", out, 2, version)
    struct.pack_into("<H", out, 34, calc_crc(out, 34))
    return bytes(out)


def with_file_size(image, size):
    out = bytearray(image)
    struct.pack_into("<I", out, 28, size)
    return bytes(out)


def with_header_crc(image, crc):
    out = bytearray(image)
    struct.pack_into("<H", out, 34, crc)
    return bytes(out)


def canvas_size(image):
    cells = struct.unpack_from("<I", image, 4)[0]
    return struct.unpack_from("<HH", image, cells + 2)


def character_name(image):
    header = struct.unpack_from("<I", image, 8)[0]
    return image[header:header + 32].split(b"\0")[0].decode("cp932")
