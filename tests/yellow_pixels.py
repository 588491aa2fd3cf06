#!/usr/bin/python3
# Counts the figure's yellow pixels (red and green above 60 %, blue below
# 30 %) in a picture, cheaply enough for a full screen on every poll:
#   yellow_pixels.py < PICTURE.ppm     a binary PPM (grim -t ppm), 8 bits a channel
# and, as a module, count(rows, bytes_per_pixel, red, green, blue) for raw rows.
import sys

_BRIGHT = bytes(1 if v > 153 else 0 for v in range(256))
_DARK = bytes(1 if v < 77 else 0 for v in range(256))


def count(rows, bytes_per_pixel, red, green, blue):
    """Yellow pixels in rows (bytes, no padding) whose channels sit at the
    given offsets in each pixel."""
    # One byte a pixel, 1 where the channel passes; the three masks are then
    # combined as the bits of three big integers.
    r = int.from_bytes(rows[red::bytes_per_pixel].translate(_BRIGHT), "little")
    g = int.from_bytes(rows[green::bytes_per_pixel].translate(_BRIGHT), "little")
    b = int.from_bytes(rows[blue::bytes_per_pixel].translate(_DARK), "little")
    return (r & g & b).bit_count()


def from_ppm(data):
    fields, at = [], 0
    while len(fields) < 4:  # magic, width, height, maximum; comments start with #
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise SystemExit("yellow_pixels: not a binary PPM of 8 bits a channel")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:at + 1 + width * height * 3]
    if len(pixels) != width * height * 3:
        raise SystemExit("yellow_pixels: the PPM is cut short")
    return count(pixels, 3, 0, 1, 2)


if __name__ == "__main__":
    print(from_ppm(sys.stdin.buffer.read()))
