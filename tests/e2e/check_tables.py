#!/usr/bin/python3
# Reads every dBase table of a working directory with an independent reader (python3-dbfread) and checks that each is whole.
# Usage: check_tables.py DIRECTORY; prints one line per damaged table and exits 1 when there is one.
import os
import struct
import sys

import dbfread


def check(path):
    size = os.path.getsize(path)
    with open(path, 'rb') as f:
        head = f.read(32)
    if len(head) < 32:
        return 'shorter than a header'
    count, header_length, record_length = struct.unpack('<IHH', head[4:12])
    if header_length < 33 or record_length < 1 or header_length > size:
        return 'header length %d, record length %d' % (header_length, record_length)
    if header_length + count * record_length > size:
        return '%d records declared, the file holds %d' % (count, (size - header_length) // record_length)
    table = dbfread.DBF(path, load=True, char_decode_errors='strict')
    fields = sum(f.length for f in table.fields)
    if fields + 1 != record_length:
        return 'record length %d, fields %d' % (record_length, fields)
    if len(table.records) + len(table.deleted) != count:
        return 'read %d of %d records' % (len(table.records) + len(table.deleted), count)
    return None


def main():
    directory = sys.argv[1]
    bad = 0
    tables = 0
    for name in sorted(os.listdir(directory)):
        if not name.upper().endswith('.DBF'):
            continue
        tables += 1
        try:
            problem = check(os.path.join(directory, name))
        except Exception as e:  # any failure of the reader is a damaged table
            problem = 'unreadable: %s' % e
        if problem:
            bad += 1
            print('%s: %s' % (name, problem))
    print('%d tables read, %d damaged' % (tables, bad))
    return 1 if bad else 0


sys.exit(main())
