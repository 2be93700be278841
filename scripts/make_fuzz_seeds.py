#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/ (run again after changing it)."""
import json
import shutil
import struct
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus"


def dbf(fields, rows, deleted=()):
    """A dBase III table: fields as (name, type, width, decimals), rows as lists of texts."""
    record_length = 1 + sum(f[2] for f in fields)
    header_length = 32 + 32 * len(fields) + 1
    out = bytearray(struct.pack("<BBBBIHH20x", 0x03, 126, 3, 14, len(rows), header_length, record_length))
    for name, kind, width, decimals in fields:
        out += struct.pack("<11sc4xBB14x", name.encode(), kind.encode(), width, decimals)
    out += b"\r"
    for i, row in enumerate(rows):
        out += b"*" if i in deleted else b" "
        for (name, kind, width, _), value in zip(fields, row):
            text = value.encode()
            out += text.rjust(width) if kind in "NF" else text.ljust(width)
    out += b"\x1a"
    return bytes(out)


def hex_record(address, kind, data):
    body = bytes([len(data), address >> 8, address & 0xFF, kind]) + bytes(data)
    return ":" + body.hex().upper() + "%02X" % (-sum(body) & 0xFF) + "\n"


def le32(value):
    return struct.pack("<I", value)


def member(data):
    return le32(len(data)) + data


LIMITS = dbf([("TYPE", "N", 5, 0), ("CHANNEL", "N", 5, 0), ("LCL", "N", 19, 9), ("UCL", "N", 19, 9)],
             [["1", "2", "90.500000000", "110.000000000"], ["2", "3", "-1.000000000", "1.000000000"]])
TAGS = dbf([("CHANNEL", "N", 5, 0), ("NAME", "C", 32, 0)], [["1", "RF FWD"], ["2", "PRESSURE"]], deleted={1})


def frame_header(opcode, length, fin=True):
    """A page's frame header, masked (as browsers send) with the mask 1 2 3 4."""
    first = bytes([(0x80 if fin else 0) | opcode])
    if length < 126:
        size = bytes([0x80 | length])
    elif length <= 0xFFFF:
        size = bytes([0x80 | 126]) + struct.pack(">H", length)
    else:
        size = bytes([0x80 | 127]) + struct.pack(">Q", length)
    return first + size + bytes([1, 2, 3, 4])


def ws_frame(opcode, payload, fin=True):
    return frame_header(opcode, len(payload), fin) + bytes(b ^ (1, 2, 3, 4)[i % 4] for i, b in enumerate(payload))


def seeds():
    yield "dbf_table", {
        "two_columns.dbf": dbf([("NAME", "C", 10, 0), ("VALUE", "N", 12, 3)], [["ALPHA", "1.500"], ["BETA", "-2.000"]]),
        "deleted_row.dbf": TAGS,
        "limits.dbf": LIMITS,
        "empty.dbf": dbf([("RUN_NUM", "N", 10, 0)], []),
        "date_logical.dbf": dbf([("WHEN", "D", 8, 0), ("OK", "L", 1, 0)], [["20260314", "T"]]),
    }
    yield "sql_text", {name: text.encode() for name, text in {
        "select.sql": "SELECT RUN_NUM, WAFER FROM VT_INFO WHERE RUN_NUM = 12 AND NAME = 'A''B' ORDER BY WAFER",
        "create.sql": "CREATE TABLE 0003LIMI (TYPE NUMERIC(5,0), LCL NUMERIC(19,9), NAME CHAR(32))",
        "insert.sql": "INSERT INTO 0003LIMI VALUES (1, -100.5, 'RF')",
        "update.sql": "UPDATE CONFIG SET VALUE = 'x' WHERE PARAM = 1 AND INDEX = 4",
        "delete.sql": "DELETE FROM VT_ALARM WHERE RUN_NUM < 10",
        "pack.sql": "PACK 0003LIMI",
        "count.sql": "SELECT COUNT(*), MAX(RUN_NUM) FROM VT_INFO GROUP BY SYSTEM_ID HAVING COUNT(*) > 1",
    }.items()}
    yield "ini", {name: text.encode() for name, text in {
        "plain.ini": "[VANTREL]\nDIR = /home/user/vantrel\nARCHIVE = NA\nLEGEND_WIDTH = 180\nLEGEND_VISIBLE = 1\n",
        "crlf.ini": "; settings\r\n[OTHER]\r\nDIR=elsewhere\r\n\r\n[VANTREL]\r\nARCHIVE=/mnt/archive\r\n",
        "no_end.ini": "[VANTREL]\nDIR = /work",
        "long.ini": "[VANTREL]\nDIR = /" + "d" * 400 + "\n",
    }.items()}
    yield "hex", {
        "image.hex": (hex_record(0, 0, [2, 1, 0]) + hex_record(0x100, 0, list(range(16))) + ":00000001FF\n").encode(),
        "segment.hex": (hex_record(0, 2, [0, 0x10]) + hex_record(0x10, 0, [1, 2]) + ":00000001FF\n").encode(),
        "linear.hex": (hex_record(0, 4, [0, 1]) + hex_record(0, 0, [1, 2]) + ":00000001FF\n").encode(),
        "spaced.hex": b": 02 0010 00 ABCD 76\n: 00 0000 01 FF\n",
        "firmware.hex": (ROOT / "sim" / "qlx4usb.hex").read_bytes(),
    }
    yield "trace_header", {
        "wafer.trace": b"09.30.00 2026/03/14\n" + bytes(range(64)),
        "por.trace": b"09:30:00\n" + b"\x5a" * 40,
        "blank.trace": b"   \n",
        "no_line_end.trace": b"09.30.00 2026/03/14",
    }
    yield "panel_file", {p.name: p.read_bytes() for p in sorted((ROOT / "panels").glob("*.uir"))
                         if p.stat().st_size < 700}
    info = (b"TOOL7".ljust(17, b"\0") + b"Etch main".ljust(33, b"\0") + b"TOOL7:2026/03/14".ljust(33, b"\0") +
            b"".ljust(65, b"\0") + struct.pack("<hh", 0, 12) + b"2026/03/14".ljust(11, b"\0") +
            b"09:30:00".ljust(9, b"\0") + struct.pack("<iiI", 10, 4, 3))
    assert len(info) == 184
    tables = le32(0) + le32(0) + le32(0) + member(LIMITS) + member(TAGS) + le32(0)
    yield "setup_import", {
        "tables.Vantrel": tables,
        "with_por.Vantrel": tables + member(b"09:30:00\n" + b"\x22" * 64) + member(b"1\n20\n10\n1 0 12.500\n") + info,
        "empty.Vantrel": le32(0) * 6,
    }
    messages = [
        {"op": "press", "panel": 1, "ctrl": 1},
        {"op": "set", "panel": 1, "ctrl": 2, "value": 12.5, "commit": True},
        {"op": "set", "panel": 1, "ctrl": 2, "value": "text"},
        {"op": "click", "panel": 1, "ctrl": 3, "x": 10, "y": 20, "ctrl_key": False},
        {"op": "rclick", "panel": 1, "ctrl": 3, "x": 1, "y": 2},
        {"op": "dblclick", "panel": 1, "ctrl": 3, "x": 1, "y": 2},
        {"op": "select", "panel": 1, "ctrl": 4, "index": 0, "commit": True},
        {"op": "check", "panel": 1, "ctrl": 4, "index": 0, "checked": True},
        {"op": "key", "panel": 1, "key": 0x0D00},
        {"op": "menu", "menubar": 1, "item": 2, "ctrl_key": False},
        {"op": "cursor", "panel": 1, "ctrl": 3, "cursor": 1, "x": 0.5, "y": 1.5},
        {"op": "zoom", "panel": 1, "ctrl": 3, "xmin": 0, "xmax": 10, "ymin": -1, "ymax": 1},
        {"op": "close", "panel": 1},
        {"op": "move", "panel": 1, "top": 10, "left": 20},
        {"op": "size", "panel": 1, "height": 300, "width": 400},
        {"op": "answer", "popup": 1, "button": 1, "response": "yes", "cancelled": False},
        {"op": "list_dir", "dir": "/tmp", "dirs_only": True, "req": 3},
        {"op": "ping"},
    ]
    browser = {"%02d_%s.json" % (i, m["op"]): json.dumps(m).encode() for i, m in enumerate(messages)}
    # The same target reads each input as a page's socket stream (frames judged by their headers) and as a
    # typed path: frame headers, whole connections and paths as seeds too.
    press = json.dumps(messages[0]).encode()
    browser.update({
        "frame_huge_text.bin": frame_header(0x1, 1 << 30),
        "frame_over_the_bound.bin": frame_header(0x1, 4097),  # the target's bound is 4096 bytes
        "frame_unmasked.bin": b"\x81\x02hi",
        "frame_long_ping.bin": frame_header(0x9, 126),
        "frame_reserved_bits.bin": b"\xc1\x80\0\0\0\0",
        "frame_split_length.bin": frame_header(0x1, 70000)[:5],
        "connection_press_ping_close.bin": ws_frame(0x1, press) + ws_frame(0x9, b"hi") + ws_frame(0x8, b"\x03\xe8"),
        "connection_fragments.bin": ws_frame(0x1, press[:10], fin=False) + ws_frame(0x9, b"") +
                                    ws_frame(0x0, press[10:]),
        "connection_fragment_past_the_bound.bin": ws_frame(0x1, b"x" * 3000, fin=False) + frame_header(0x0, 1200),
        "move_off_screen.json": json.dumps({"op": "move", "panel": 1, "top": 2000000000, "left": -2000000000,
                                            "view_width": 2000000000, "view_height": 0}).encode(),
        "path_outside.txt": b"/etc/passwd",
        "path_up_and_out.txt": b"Setup/../../../tmp/x.pdf",
        "path_inside.txt": b"textFiles/run12",
    })
    yield "browser_message", browser
    # Decision trees: the rule number in the first byte, then a catalogue's trees text (8 characters a rule).
    trees = b"ETCH1   AB CD   ../x    s_vector" + b"T" * 64 + b"LAST    "
    yield "decision_tree", {"rule_%02d" % rule: bytes([rule + 1]) + trees for rule in (0, 1, 2, 3, 12)}
    yield "playback_list", {
        "two_lines": b"1\t1\t0.0000 0\n-3\t1\t2.5000 2\n",
        "two_runs_and_por": b"1\t1\t0.0000 0\n2\t1\t3.0000 0\n-3\t0\t12.5000 2\n",
        "odd_numbers": b"1\t1\tnan 0\n+4 1 1e400 0\n",
    }
    # Chart list and comparison lines with their in-line column and colour codes.
    yield "list_codes", {
        "column": b"\033p20lPOR mean = 1.5",
        "unfinished": b"cut \033p20 \033fgFF\033",
        "verdict": b"CH1 Mean     POR mean - TEST mean \033p500l\033fgFF0000FAIL",
    }
    # Notes of ascending key fields for the fuzz target's table "/vantrel-fuzz/KEYS.DBF" with its fixed identity.
    note = b"vantrel ascending fields 1\n/vantrel-fuzz/KEYS.DBF\n1 2 3 4 5 97\n"
    yield "order_note", {
        "two_fields": note + b"0 2\n" + b"H" * 97,
        "no_field": note + b"\n" + b"H" * 97,
        "header_cut": note + b"0\n" + b"H" * 40,
    }


def main():
    for target, files in seeds():
        folder = CORPUS / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in files.items():
            (folder / name).write_bytes(data)
        print(f"{target}: {len(files)} seeds")


if __name__ == "__main__":
    main()
