"""Cuts the main window out of a screen dump (xwd format), writes it as PNG
and checks that it shows its two panes: the model drawn with its edges on
the left, the sheet with its molecules between outlined faces on the right.

Usage: screenshot.py SCREEN.xwd OUT.png X Y WIDTH HEIGHT
"""
import struct
import sys
import zlib

# Below the menu bar and above the status line.
MENU_HEIGHT = 28
STATUS_HEIGHT = 26


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _, pixmap_format, _, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    masks = fields[14:17]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        sys.exit("screenshot: unexpected screen dump (format %d, %d bits)" % (pixmap_format, bits_per_pixel))
    start = header_size + 12 * ncolors
    size = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"
    shifts = [(m & -m).bit_length() - 1 for m in masks]

    def pixel(x, y):
        at = start + y * bytes_per_line + size * x
        v = int.from_bytes(data[at:at + size], order)
        return tuple((v & m) >> s for m, s in zip(masks, shifts))

    return width, height, pixel


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw)))
        f.write(chunk(b"IEND", b""))


def share(rows, x0, x1, y0, y1, test):
    pixels = [rows[y][x] for y in range(y0, y1) for x in range(x0, x1)]
    return sum(1 for p in pixels if test(p)) / max(len(pixels), 1)


def main():
    xwd, png = sys.argv[1], sys.argv[2]
    x, y, width, height = (int(v) for v in sys.argv[3:7])
    screen_width, screen_height, pixel = read_xwd(xwd)
    width, height = min(width, screen_width - x), min(height, screen_height - y)
    rows = [[pixel(x + i, y + j) for i in range(width)] for j in range(height)]
    write_png(png, width, height, rows)

    top, bottom, middle = MENU_HEIGHT, height - STATUS_HEIGHT, width // 2
    left, right = (0, middle - 4), (middle + 4, width)
    near = lambda p, c: all(abs(a - b) < 12 for a, b in zip(p, c))
    red = lambda p: p[0] > 100 and p[1] < 60 and p[2] < 60
    drawn = share(rows, *left, top, bottom, lambda p: min(p) < 245)
    edges = share(rows, *left, top, bottom, red)
    # Edge molecules green or grey by their width limit, vertex molecules in
    # two greys, the placed faces outlined in dark red.
    molecules = share(rows, *right, top, bottom,
                      lambda p: near(p, (102, 230, 102)) or near(p, (230, 230, 230)) or near(p, (204, 204, 204)))
    outlines = share(rows, *right, top, bottom, red)
    print("screenshot: %s, %dx%d; model pane: %.1f%% drawn, %.2f%% red edges; "
          "pattern pane: %.1f%% molecules, %.2f%% outlines"
          % (png, width, height, 100 * drawn, 100 * edges, 100 * molecules, 100 * outlines))
    if drawn < 0.05 or edges < 0.001:
        sys.exit("screenshot: the model pane shows no model with its edges")
    if molecules < 0.1 or outlines < 0.001:
        sys.exit("screenshot: the pattern pane shows no molecules between outlined faces")

main()
