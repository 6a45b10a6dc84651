#!/usr/bin/env python3
"""Makes the stand-in firmware image the program carries until a real one is supplied.

314 records of 515 bytes (161,710 bytes) of SHA-256 counter-mode output under a fixed seed:
uniformly high-entropy like a real encrypted image, and the same bytes on every machine.

    python3 scripts/make-standin-image.py firmware/pxr7-standin.bin
"""
import hashlib
import sys

SEED = b"PXR7 stand-in firmware, seed 1"
RECORD_SIZE = 515
RECORD_COUNT = 314


def standin_image() -> bytes:
    size = RECORD_SIZE * RECORD_COUNT
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(SEED + counter.to_bytes(8, "little")).digest()
        counter += 1
    return bytes(out[:size])


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(standin_image())
