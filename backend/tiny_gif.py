"""A small animated GIF89a encoder (LZW, looping, per-frame delays), enough
to give the progress banner real frames to play."""

import struct

# The LZW code table of GIF is limited to 12-bit codes.
_MAX_CODES = 4096

# Eight colours: a dark background, two accent tones and greys.
PALETTE = [
    (0x1B, 0x2A, 0x49),
    (0x2E, 0x86, 0xDE),
    (0xF5, 0xA6, 0x23),
    (0xFF, 0xFF, 0xFF),
    (0x4A, 0x5A, 0x7A),
    (0x7E, 0xD3, 0x21),
    (0xD0, 0x02, 0x1B),
    (0x9B, 0x9B, 0x9B),
]


def lzw_encode(indices, min_code_size):
    """GIF-flavoured LZW of a sequence of palette indices; returns the packed
    bytes (without the sub-block framing)."""
    clear = 1 << min_code_size
    eoi = clear + 1
    out = bytearray()
    bit_buf = 0
    bit_len = 0

    def emit(code, size):
        nonlocal bit_buf, bit_len
        bit_buf |= code << bit_len
        bit_len += size
        while bit_len >= 8:
            out.append(bit_buf & 0xFF)
            bit_buf >>= 8
            bit_len -= 8

    def reset():
        return {}, eoi + 1, min_code_size + 1

    table, next_code, code_size = reset()
    emit(clear, code_size)
    it = iter(indices)
    try:
        current = next(it)
    except StopIteration:
        emit(eoi, code_size)
        if bit_len:
            out.append(bit_buf & 0xFF)
        return bytes(out)
    for px in it:
        key = (current, px)
        code = table.get(key)
        if code is not None:
            current = code
            continue
        emit(current, code_size)
        table[key] = next_code
        next_code += 1
        # The decoder adds its entry one code later, so it widens its codes
        # when its table reaches 2^size; we are one entry ahead of it.
        if next_code > (1 << code_size) and code_size < 12:
            code_size += 1
        if next_code >= _MAX_CODES:
            emit(clear, code_size)
            table, next_code, code_size = reset()
        current = px
    emit(current, code_size)
    emit(eoi, code_size)
    if bit_len:
        out.append(bit_buf & 0xFF)
    return bytes(out)


def _sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        piece = data[i : i + 255]
        out.append(len(piece))
        out += piece
    out.append(0)
    return bytes(out)


def encode_gif(width, height, frames, delays_cs, palette=PALETTE, loop=0):
    """frames: list of bytes-like objects of width*height palette indices;
    delays_cs: per-frame delay in hundredths of a second."""
    if not frames or len(frames) != len(delays_cs):
        raise ValueError("need one delay per frame and at least one frame")
    if not (1 <= width <= 0xFFFF and 1 <= height <= 0xFFFF):
        raise ValueError("bad picture size")
    bits = max(1, (len(palette) - 1).bit_length())
    table_len = 1 << bits
    colours = list(palette) + [(0, 0, 0)] * (table_len - len(palette))
    min_code_size = max(2, bits)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    for r, g, b in colours:
        out += bytes((r, g, b))
    if len(frames) > 1:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", loop) + b"\x00"
    for pixels, delay in zip(frames, delays_cs):
        if len(pixels) != width * height:
            raise ValueError("frame has the wrong number of pixels")
        # Graphic control: disposal "leave in place", the frame's delay.
        out += b"\x21\xF9\x04" + struct.pack("<BHB", 0x04, delay, 0) + b"\x00"
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        out.append(min_code_size)
        out += _sub_blocks(lzw_encode(pixels, min_code_size))
    out.append(0x3B)
    return bytes(out)


def banner_frames(width, height, count):
    """Frames of a simple banner: a dark field with a bar whose lit segment
    moves one step per frame."""
    frames = []
    bar_top = height * 2 // 3
    bar_bottom = min(height, bar_top + max(2, height // 10))
    stripe = max(1, width // max(1, count))
    for f in range(count):
        rows = []
        for y in range(height):
            if bar_top <= y < bar_bottom:
                row = bytearray(4 for _ in range(width))
                start = f * stripe
                for x in range(start, min(width, start + stripe)):
                    row[x] = 2
            elif height // 6 <= y < height // 6 + max(2, height // 8):
                row = bytearray(((x // 8 + f) % 2) and 1 or 3 for x in range(width))
            else:
                row = bytearray(width)
            rows.append(bytes(row))
        frames.append(b"".join(rows))
    return frames


def banner_gif(width=300, height=151, count=4, delay_cs=25):
    return encode_gif(width, height, banner_frames(width, height, count), [delay_cs] * count)
