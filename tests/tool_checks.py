#!/usr/bin/python3
"""Checks of the razivera tool's pictures and JSON that want Python.

  tool_checks.py png-not-blank FILE.png
      FILE.png decodes (8-bit RGB or RGBA, not interlaced) and its pixels are
      not all alike: at least 1 % differ from the most common colour.
  tool_checks.py info-json PROGRAM FILE
      `PROGRAM info FILE --json` parses with json and says on every field what
      `PROGRAM info FILE` prints.
Exits with 1 and a message on the first difference.
"""
import collections
import json
import re
import struct
import subprocess
import sys
import zlib


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def png_pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{path}: not a PNG file")
    pos, idat, head = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = head
    if depth != 8 or colour not in (2, 6) or interlace:
        fail(f"{path}: depth {depth}, colour type {colour}, interlace {interlace} not handled")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    prev = bytearray(stride)
    pixels = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
                line[i] = (line[i] + pred) & 255
        pixels.extend(bytes(line[i:i + 3]) for i in range(0, stride, bpp))
        prev = line
    return width, height, pixels


def png_not_blank(path):
    width, height, pixels = png_pixels(path)
    common, count = collections.Counter(pixels).most_common(1)[0]
    other = len(pixels) - count
    if other < len(pixels) // 100:
        fail(f"{path}: {width}x{height}, only {other} pixels differ from {common.hex()}: blank")
    print(f"{path}: {width}x{height}, {other} of {len(pixels)} pixels drawn")


def check(what, text_value, json_value):
    if str(text_value) != str(json_value):
        fail(f"{what}: info prints {text_value!r}, --json says {json_value!r}")


def info_json(program, path):
    text = subprocess.run([program, "info", path], capture_output=True, text=True).stdout
    doc = json.loads(subprocess.run([program, "info", path, "--json"], capture_output=True, text=True).stdout)
    lines = text.splitlines()
    m = re.search(r"version (\d+), (\w+)-endian, header code (\d+), letter (.)", text)
    f = doc["format"]
    for key, value in zip(("version", "byte_order", "header_code", "letter"), m.groups()):
        check("format " + key, value, f[key])
    check("records", re.search(r"records +(\d+)", text).group(1), doc["record_count"])
    # The records' blocks: from "record N" to the next.
    blocks = re.split(r"\nrecord (\d+)\n", text.split("\nscore table")[0])[1:]
    check("record blocks", len(blocks) // 2, len(doc["records"]))
    for number, block, rec in zip(blocks[0::2], blocks[1::2], doc["records"]):
        check("record index", number, rec["index"])
        s = rec["start"]
        start = f"{s['hour']:02}:{s['minute']:02}:{s['second']:02}"
        start = f"{s['year']:04}-{s['month']:02}-{s['day']:02} " + start if s["dated"] else start + " (no date)"
        check("start", re.search(r"start +(.*)", block).group(1), start)
        fr = rec["frames"]
        m = re.search(r"frames +(\d+) of (\d+) s, (\d+) bytes each; duration (\S+)", block)
        check("frames", m.groups(), (str(fr["count"]), str(fr["seconds"]), str(fr["bytes"]),
                                     "%d:%02d:%02d" % (fr["duration_seconds"] // 3600,
                                                       fr["duration_seconds"] // 60 % 60,
                                                       fr["duration_seconds"] % 60)))
        m = re.search(r"channels +(\d+), base rate (\d+) Hz, power line (\d+|not given)", block)
        mains = "not given" if rec["mains"] is None else str(rec["mains"])
        check("channels line", m.groups(), (str(rec["channel_count"]), str(rec["base_rate"]), mains))
        t = re.search(r'\n  text +"(.*)"', block)
        check("text", t.group(1) if t else "", rec["text"])
        rows = [l for l in block.splitlines() if re.match(r"^ +\d+ +\d+  ", l)]
        check("channel rows", len(rows), len(rec["channels"]))
        for row, c in zip(rows, rec["channels"]):
            m = re.match(r"^ +(\d+) +(\d+)  (.{15})  (.{8})  +(\d+)  (-?\d+) / (-?\d+)(.*)$", row)
            got = (m.group(1), m.group(2), m.group(3).strip(), m.group(4).strip(), m.group(5), m.group(6),
                   m.group(7), "(event channel)" in m.group(8))
            want = (str(c["index"]), str(c["number"]), c["label"].strip(), c["unit"].strip(), str(c["rate"]),
                    str(c["filter_a"]), str(c["filter_b"]), c["event_channel"])
            check(f"channel {c['index']}", got, want)
            cal = c["calibration"]
            m = re.search(r"\(digital (-?\d+)\.\.(-?\d+) = (\S+)\.\.(\S+)\)", row)
            if m:
                check("calibration", (int(m.group(1)), int(m.group(2)), float(m.group(3)), float(m.group(4))),
                      (cal["digital_min"], cal["digital_max"], float("%g" % cal["physical_min"]),
                       float("%g" % cal["physical_max"])))
        ev = rec["events"]
        m = re.search(r"events +(\d+) in the event table \(id (\d+)\)", block)
        if m:
            check("events", m.groups(), (str(ev["count"]), str(ev["table_id"])))
            listed = re.findall(r"\n    (\d\d:\d\d:\d\d) +(\S+) s +(\S+) s  (.*)", block)
            for (clock, onset, duration, name), e in zip(listed, ev["list"]):
                check("event", (clock, float(onset), float(duration), name),
                      (e["clock"], round(float(e["onset"]), 1), round(float(e["duration"]), 1), e["text"]))
            kinds = ", ".join(f"{k} {n}" for k, n in sorted(ev["kinds"].items()))
            if kinds:
                check("event kinds", re.search(r"events .*\n +(.*)", block).group(1), kinds)
        else:
            check("events", None, ev)
        for tl in rec["texts"]:
            m = re.search(r"texts +%s %d, id %d: (\d+) entries" % (tl["kind"], tl["type"], tl["id"]), block)
            check("text list", m.group(1), len(tl["entries"]))
            for e in tl["entries"]:
                check("text entry", f"    {e['id']:5}  {e['text']}" in block, True)
    st = doc["score_table"]
    if "\nscore table" not in text:
        check("score table", None, st)
        print(f"{path}: info --json agrees with info")
        return
    score = text.split("\nscore table")[1]
    m = re.search(r"\(record (\d+), id (\d+)\)\n +entries +(-?\d+); settings 2 = (\d+), 3 = (\d+)", score)
    check("score table", m.groups(), tuple(str(st[k]) for k in ("record", "id", "entries", "setting_2", "setting_3")))
    for i in (4, 5, 6):
        m = re.search(r", %d = entry (\d+)" % i, score)
        check(f"score index {i}", m.group(1) if m else None, st[f"index_{i}"] if st[f"index_{i}"] is None else str(st[f"index_{i}"]))
    t = re.search(r'text +"(.*)"', score)
    check("score text", t.group(1) if t else None, st["text"])
    parts = []
    for v in st["values"]:
        if v["stage"]:
            s = v["seconds"]
            parts.append(f"{v['stage']} {v['count']} ({s // 3600}:{s // 60 % 60:02}:{s % 60:02})")
        else:
            parts.append(f"{v['value']} x {v['count']}")
    check("score values", re.search(r"(?:stages|values) +(.*)", score).group(1), ", ".join(parts))
    print(f"{path}: info --json agrees with info")


if __name__ == "__main__":
    if sys.argv[1:2] == ["png-not-blank"]:
        png_not_blank(sys.argv[2])
    elif sys.argv[1:2] == ["info-json"]:
        info_json(sys.argv[2], sys.argv[3])
    else:
        fail(__doc__)
