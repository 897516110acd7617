#!/usr/bin/env python3
"""Draws Plaintrove's icon and logo: a yellow angle-bracket pair struck through by a slash, on red.

The pictures in images/ are made by this script and kept in the repository, so a build needs
neither Python nor an image tool. Only the standard library is used, and the output is the same
byte for byte on every machine, which lets `--check` tell whether the committed files are current.

    draw_identity.py            rewrite the files in images/
    draw_identity.py --check    exit 1, naming the files, when images/ differs from what is drawn
    draw_identity.py --out DIR  write the files to DIR instead
"""

import argparse
import math
import pathlib
import struct
import sys
import zlib

RED = (255, 0, 0)
YELLOW = (255, 255, 0)

# The design on a 32 x 32 grid, y downwards. Every picture is this geometry scaled, so the
# renderings only differ in how finely the edges are sampled.
GRID = 32.0


def _chevron(tip_x, width, half_height, thickness, centre_y=16.0):
    """A "<" (width > 0) or ">" (width < 0) with horizontal arm thickness and flat ends."""
    sign = 1.0 if width > 0 else -1.0
    t = sign * thickness
    return [
        (tip_x, centre_y),
        (tip_x + width, centre_y - half_height),
        (tip_x + width + t, centre_y - half_height),
        (tip_x + t, centre_y),
        (tip_x + width + t, centre_y + half_height),
        (tip_x + width, centre_y + half_height),
    ]


def _slash(margin):
    """The stroke from bottom left to top right through the centre, widened by margin."""
    half = 2.0 + margin
    bottom, top = 28.5 + margin, 3.5 - margin
    # The slash's centre line runs through (16, 16) with dx/dy = -1/3.
    def centre_x(y):
        return 16.0 - (y - 16.0) / 3.0

    return [
        (centre_x(bottom) - half, bottom),
        (centre_x(bottom) + half, bottom),
        (centre_x(top) + half, top),
        (centre_x(top) - half, top),
    ]


# Painted in order; the red band around the slash cuts the brackets where the slash crosses them.
LAYERS = [
    (YELLOW, [_chevron(2.5, 8.0, 9.0, 4.5), _chevron(GRID - 2.5, -8.0, 9.0, 4.5)]),
    (RED, [_slash(1.5)]),
    (YELLOW, [_slash(0.0)]),
]

ICON_SIZES = (16, 32, 48, 64, 128, 256)
ICO_SIZES = (16, 32, 48, 256)
LOGO_SIZE = 40
LEVELS = 16  # the icon's palette: red, yellow and the 14 shades between them


def _spans(polygon, y):
    """Even-odd spans of a simple polygon on the horizontal line y, as (x_start, x_end) pairs."""
    xs = []
    for (x1, y1), (x2, y2) in zip(polygon, polygon[1:] + polygon[:1]):
        if y1 == y2 or not (min(y1, y2) <= y < max(y1, y2)):
            continue
        xs.append(x1 + (y - y1) * (x2 - x1) / (y2 - y1))
    xs.sort()
    return list(zip(xs[0::2], xs[1::2]))


def coverage(size):
    """Share of each pixel (row-major) covered by yellow, found with S x S samples per pixel."""
    samples = min(16, max(4, 256 // size))
    per_unit = size * samples / GRID
    row_length = size * samples
    covered = [0] * (size * size)
    for sy in range(size * samples):
        y = (sy + 0.5) / per_unit
        row = bytearray(row_length)
        for colour, polygons in LAYERS:
            value = 1 if colour == YELLOW else 0
            for polygon in polygons:
                for x_start, x_end in _spans(polygon, y):
                    first = max(0, math.ceil(x_start * per_unit - 0.5))
                    last = min(row_length, math.ceil(x_end * per_unit - 0.5))
                    if last > first:
                        row[first:last] = bytes([value]) * (last - first)
        base = (sy // samples) * size
        for px in range(size):
            covered[base + px] += sum(row[px * samples : (px + 1) * samples])
    total = samples * samples
    return [count / total for count in covered]


def palette():
    return [(255, round(255 * level / (LEVELS - 1)), 0) for level in range(LEVELS)]


def indexed(size):
    return [round(share * (LEVELS - 1)) for share in coverage(size)]


def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(size, indices):
    """A 4-bit palette PNG without transparency."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        row = indices[y * size : (y + 1) * size]
        for x in range(0, size, 2):
            raw.append(row[x] << 4 | (row[x + 1] if x + 1 < size else 0))
    header = struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)
    plte = b"".join(bytes(colour) for colour in palette())
    return (
        b"\x89PNG\r\n\x1a\n"
        + _png_chunk(b"IHDR", header)
        + _png_chunk(b"PLTE", plte)
        + _png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + _png_chunk(b"IEND", b"")
    )


def _ico_bitmap(size, indices):
    """A 16-colour device-independent bitmap as stored in an icon: colours, then an all-opaque mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, LEVELS, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette())
    colour_stride = (size * 4 + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4
    rows = bytearray()
    for y in reversed(range(size)):
        row = bytearray(colour_stride)
        for x in range(size):
            row[x // 2] |= indices[y * size + x] << (4 if x % 2 == 0 else 0)
        rows += row
    return header + colours + bytes(rows) + bytes(mask_stride * size)


def ico(images):
    """A Windows icon with classic 16-colour bitmaps, and a PNG for the 256 px entry."""
    entries = []
    for size, indices in images:
        data = png(size, indices) if size >= 256 else _ico_bitmap(size, indices)
        entries.append((size, data))
    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(directory) + 16 * len(entries)
    body = b""
    for size, data in entries:
        side = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", side, side, LEVELS, 0, 1, 4, len(data), offset)
        offset += len(data)
        body += data
    return directory + body


def svg():
    def points(polygon):
        return " ".join(f"{x:g},{y:g}" for x, y in polygon)

    def hex_colour(colour):
        return "#{:02x}{:02x}{:02x}".format(*colour)

    shapes = [
        f'  <polygon fill="{hex_colour(colour)}" points="{points(polygon)}"/>'
        for colour, polygons in LAYERS
        for polygon in polygons
    ]
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">\n'
        f'  <rect width="32" height="32" fill="{hex_colour(RED)}"/>\n'
        + "\n".join(shapes)
        + "\n</svg>\n"
    ).encode("ascii")


# --- Baseline JPEG (ITU T.81, sequential DCT, Huffman coded), for the logo --------------------

_LUMA_QUANT = [
    16, 11, 10, 16, 24, 40, 51, 61,
    12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56,
    14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77,
    24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103, 99,
]  # fmt: skip
_CHROMA_QUANT = [
    17, 18, 24, 47, 99, 99, 99, 99,
    18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99,
    47, 66, 99, 99, 99, 99, 99, 99,
] + [99] * 32  # fmt: skip

# The example Huffman tables of T.81 Annex K.3: code-length counts, then the symbols.
_DC_LUMA = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
_DC_CHROMA = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
_AC_LUMA = (
    [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D],
    bytes.fromhex(
        "01020300041105122131410613516107227114328191a1082342b1c11552d1f0"
        "2433627282090a161718191a25262728292a3435363738393a43444546474849"
        "4a535455565758595a636465666768696a737475767778797a83848586878889"
        "8a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5"
        "c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8"
        "f9fa"
    ),
)
_AC_CHROMA = (
    [0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77],
    bytes.fromhex(
        "000102031104052131061241510761711322328108144291a1b1c109233352f0"
        "156272d10a162434e125f11718191a262728292a35363738393a434445464748"
        "494a535455565758595a636465666768696a737475767778797a828384858687"
        "88898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3"
        "c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8"
        "f9fa"
    ),
)

_ZIGZAG = [
    row * 8 + (s - row)
    for s in range(15)
    for row in (
        range(max(0, s - 7), min(s, 7) + 1)
        if s % 2
        else range(min(s, 7), max(0, s - 7) - 1, -1)
    )
]


def _check_huffman(table, ac):
    counts, symbols = table
    expected = {0x00, 0xF0} | {run << 4 | size for run in range(16) for size in range(1, 11)}
    assert sum(counts) == len(symbols) == len(set(symbols))
    assert set(symbols) == (expected if ac else set(range(12)))


def _huffman_codes(table):
    counts, symbols = table
    codes, code, k = {}, 0, 0
    for length, count in enumerate(counts, start=1):
        for _ in range(count):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


def _scaled_quant(table, quality):
    scale = 5000 // quality if quality < 50 else 200 - 2 * quality
    return [min(255, max(1, (value * scale + 50) // 100)) for value in table]


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.buffer = 0
        self.count = 0

    def write(self, value, length):
        self.buffer = (self.buffer << length) | (value & ((1 << length) - 1))
        self.count += length
        while self.count >= 8:
            self.count -= 8
            byte = (self.buffer >> self.count) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.buffer &= (1 << self.count) - 1

    def flush(self):
        if self.count:
            self.write((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


_COSINES = [[math.cos((2 * x + 1) * u * math.pi / 16) for x in range(8)] for u in range(8)]


def _fdct(block):
    """The 8 x 8 forward DCT of a level-shifted block, in natural (row-major) order."""
    result = [0.0] * 64
    for v in range(8):
        for u in range(8):
            total = 0.0
            for y in range(8):
                cos_v = _COSINES[v][y]
                row = block[y * 8 : y * 8 + 8]
                total += cos_v * sum(row[x] * _COSINES[u][x] for x in range(8))
            cu = math.sqrt(0.5) if u == 0 else 1.0
            cv = math.sqrt(0.5) if v == 0 else 1.0
            result[v * 8 + u] = 0.25 * cu * cv * total
    return result


def _magnitude(value):
    size = abs(value).bit_length()
    return size, (value if value >= 0 else value + (1 << size) - 1)


def _segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def jpeg(size, pixels, quality=92):
    """A baseline JPEG of RGB pixels (row-major), 4:4:4, JFIF."""
    assert size % 8 == 0
    for table, ac in ((_DC_LUMA, False), (_DC_CHROMA, False), (_AC_LUMA, True), (_AC_CHROMA, True)):
        _check_huffman(table, ac)
    quant = [_scaled_quant(_LUMA_QUANT, quality), _scaled_quant(_CHROMA_QUANT, quality)]
    dc_codes = [_huffman_codes(_DC_LUMA), _huffman_codes(_DC_CHROMA)]
    ac_codes = [_huffman_codes(_AC_LUMA), _huffman_codes(_AC_CHROMA)]

    planes = [[], [], []]
    for r, g, b in pixels:
        planes[0].append(0.299 * r + 0.587 * g + 0.114 * b)
        planes[1].append(-0.168736 * r - 0.331264 * g + 0.5 * b + 128)
        planes[2].append(0.5 * r - 0.418688 * g - 0.081312 * b + 128)

    bits = _BitWriter()
    previous_dc = [0, 0, 0]
    for block_y in range(0, size, 8):
        for block_x in range(0, size, 8):
            for component, plane in enumerate(planes):
                table = 0 if component == 0 else 1
                block = [
                    min(255.0, max(0.0, plane[(block_y + y) * size + block_x + x])) - 128
                    for y in range(8)
                    for x in range(8)
                ]
                coefficients = _fdct(block)
                q = quant[table]
                zigzag = [round(coefficients[i] / q[i]) for i in _ZIGZAG]

                difference = zigzag[0] - previous_dc[component]
                previous_dc[component] = zigzag[0]
                length, value = _magnitude(difference)
                bits.write(*dc_codes[table][length])
                bits.write(value, length)

                run = 0
                for coefficient in zigzag[1:]:
                    if coefficient == 0:
                        run += 1
                        continue
                    while run > 15:
                        bits.write(*ac_codes[table][0xF0])
                        run -= 16
                    length, value = _magnitude(coefficient)
                    bits.write(*ac_codes[table][run << 4 | length])
                    bits.write(value, length)
                    run = 0
                if run:
                    bits.write(*ac_codes[table][0x00])

    out = b"\xff\xd8"
    out += _segment(0xE0, b"JFIF\x00" + struct.pack(">BBBHHBB", 1, 1, 0, 1, 1, 0, 0))
    for table_id, table in enumerate(quant):
        out += _segment(0xDB, bytes([table_id]) + bytes(table[i] for i in _ZIGZAG))
    components = b"".join(bytes((i + 1, 0x11, 0 if i == 0 else 1)) for i in range(3))
    out += _segment(0xC0, struct.pack(">BHHB", 8, size, size, 3) + components)
    for table_class_id, (counts, symbols) in (
        (0x00, _DC_LUMA),
        (0x10, _AC_LUMA),
        (0x01, _DC_CHROMA),
        (0x11, _AC_CHROMA),
    ):
        out += _segment(0xC4, bytes([table_class_id]) + bytes(counts) + bytes(symbols))
    out += _segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    out += bits.flush()
    out += b"\xff\xd9"
    return out


def render_all():
    """Every picture by file name."""
    files = {}
    icons = {}
    for size in ICON_SIZES:
        icons[size] = indexed(size)
        files[f"icon-{size}.png"] = png(size, icons[size])
    files["icon.svg"] = svg()
    files["plaintrove.ico"] = ico([(size, icons[size]) for size in ICO_SIZES])
    logo = [
        tuple(round(r + (y - r) * share) for r, y in zip(RED, YELLOW))
        for share in coverage(LOGO_SIZE)
    ]
    files["logo.jpg"] = jpeg(LOGO_SIZE, logo)
    return files


def main():
    parser = argparse.ArgumentParser(description="Draw Plaintrove's icon and logo.")
    here = pathlib.Path(__file__).resolve().parent
    parser.add_argument("--out", type=pathlib.Path, default=here / "images")
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    args = parser.parse_args()

    files = render_all()
    if args.check:
        stale = [
            name
            for name, data in files.items()
            if not (args.out / name).is_file() or (args.out / name).read_bytes() != data
        ]
        for name in stale:
            print(f"{args.out / name}: differs from what draw_identity.py draws", file=sys.stderr)
        return 1 if stale else 0

    args.out.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        # Write beside the target and rename, so an interrupted run leaves no half-written picture.
        partial = args.out / (name + ".partial")
        partial.write_bytes(data)
        partial.replace(args.out / name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
