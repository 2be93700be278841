#!/usr/bin/env python3
"""Writes the three firmware images of the simulated board as Intel HEX files.

Each image is a tiny 8051 program (a jump to an idle loop), a lookup table, and an
identification block that tells the simulated board which personality to run:
L low rate, H high rate, C calibration read. Run from anywhere; files land beside this script.
"""
import os

IMAGES = {
    "qlx4usb.hex": ("L", "low rate acquisition"),
    "qlx4hiusb.hex": ("H", "high rate acquisition"),
    "cal_read.hex": ("C", "adapter calibration read"),
}
MARKER = b"VANTREL-SIMFW:"


def record(address, rtype, data):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % checksum


def image(letter, description):
    chunks = []
    chunks.append((0x0000, bytes([0x02, 0x01, 0x00])))  # LJMP 0x0100
    chunks.append((0x0100, bytes([0x80, 0xFE])))  # SJMP $ (the simulated board does the work)
    table = bytes((i * 7 + ord(letter)) & 0xFF for i in range(1024))
    chunks.append((0x0200, table))
    ident = MARKER + letter.encode() + b" " + description.encode() + b"\0"
    chunks.append((0x1F00, ident))
    lines = []
    for address, data in chunks:
        for offset in range(0, len(data), 16):
            lines.append(record(address + offset, 0x00, data[offset:offset + 16]))
    lines.append(record(0, 0x01, b""))
    return "\n".join(lines) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (letter, description) in IMAGES.items():
        with open(os.path.join(here, name), "w", newline="\n") as f:
            f.write(image(letter, description))


if __name__ == "__main__":
    main()
