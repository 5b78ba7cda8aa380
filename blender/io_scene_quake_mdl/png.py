"""PNG encoding of 8-bit RGBA pixels, enough for embedding a texture."""

import struct
import zlib

import numpy as np


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def encode_rgba(pixels):
    """PNG file bytes of pixels, a (height, width, 4) uint8 array, top row first.

    Rows are written unfiltered at a low compression level: the file only
    travels to the exporter, so speed matters more than size.
    """
    height, width = pixels.shape[:2]
    rows = np.zeros((height, width * 4 + 1), dtype=np.uint8)
    rows[:, 1:] = np.ascontiguousarray(pixels, dtype=np.uint8).reshape(height, width * 4)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
            + _chunk(b"IDAT", zlib.compress(rows.tobytes(), 1))
            + _chunk(b"IEND", b""))
