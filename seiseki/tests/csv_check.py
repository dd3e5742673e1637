#!/usr/bin/env python3
"""Reads an exported CSV the way a script or spreadsheet would (Python's csv module) and prints what it
found as one JSON line: the byte-order mark, the line ends, the field counts, the learners and the sum of
the time column."""
import csv
import io
import json
import sys

raw = open(sys.argv[1], "rb").read()
bom = raw.startswith(b"\xef\xbb\xbf")
text = raw.decode("utf-8-sig")
# Line ends outside quoted fields: every one must be CRLF.
bare_lf = text.replace("\r\n", "").count("\n")
rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
header, body = rows[0], rows[1:]
print(json.dumps({
    "bom": bom,
    "bare_lf": bare_lf,
    "header": header,
    "widths": sorted({len(r) for r in rows}),
    "rows": len(body),
    "learners": sorted({r[0] for r in body}),
    "time_sum": sum(float(r[5]) for r in body if r[5]),
}, ensure_ascii=False))
