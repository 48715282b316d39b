#!/usr/bin/python3
"""Checks an EDF+ export of a recording with readers that are not ours.

usage: check_edf.py LIBRAZIVERA.so RECORDING.vzp EXPORT.edf

The recording is read through the library's public interface (ctypes); the
export through MNE-Python and through biosig's save2gdf.  Both must see the
same signal count, labels, sampling rates and start time, every sample of
every channel, and one annotation per event code of the event channel.
"""
import ctypes as C
import datetime
import json
import os
import subprocess
import sys
import tempfile

import numpy as np

UNIT_SCALE = {"uV": 1e-6, "\u00b5V": 1e-6, "\u03bcV": 1e-6, "mV": 1e-3}  # how MNE scales to SI


def fail(msg):
    print("check_edf: FAIL: " + msg)
    sys.exit(1)


def library_read(lib_path, path):
    lib = C.CDLL(lib_path)
    H = C.c_void_p
    sig = {
        "RAZIVERAOpenBioFile": (H, [C.c_char_p, C.c_uint16, C.c_uint32]),
        "RAZIVERACloseBioFile": (H, [H]),
        "DARARARReadRecordInfo": (C.c_int32, [H, C.c_uint32]),
        "DARARARReadChannelInfo": (C.c_int32, [H, C.c_uint16]),
        "DARARARReadFrameInfo": (C.c_int32, [H, C.c_uint16]),
        "DARARARGetWaveInfo": (C.c_uint32, [H, C.c_uint16, C.c_uint16]),
        "DARARARGetFrameChInfo": (C.c_uint32, [H, C.c_uint16, C.c_uint16, C.c_uint16]),
        "DARARARGetFrameChText": (C.c_uint16, [H, C.c_uint16, C.c_uint16, C.c_uint16, C.c_char_p]),
        "DARARARCreateReadFrameBuf": (C.c_int32, [H, C.c_uint16, C.c_uint32]),
        "DARARARReadFrameWaveEx": (C.c_int32, [H, C.c_uint16, C.c_int32, C.c_uint32]),
        "DARARARGetFrameWaveEx": (C.c_int32, [H, C.c_uint16, C.c_uint16, C.POINTER(C.c_int16), C.c_uint32, C.c_uint32]),
    }
    for name, (res, args) in sig.items():
        f = getattr(lib, name)
        f.restype, f.argtypes = res, args
    h = lib.RAZIVERAOpenBioFile(path.encode(), 1, 1)
    if not h:
        fail("the library cannot open " + path)
    if not (lib.DARARARReadRecordInfo(h, 0) and lib.DARARARReadChannelInfo(h, 0) and lib.DARARARReadFrameInfo(h, 0)):
        fail("the library cannot read record 0 of " + path)
    wave = lambda item: lib.DARARARGetWaveInfo(h, 0, item)
    channels, frames, fs = wave(2), wave(4), wave(3)
    start = datetime.datetime(wave(10), wave(11), wave(12), wave(13), wave(14), wave(15), tzinfo=datetime.timezone.utc)
    labels, rates = [], []
    for c in range(channels):
        buf = C.create_string_buffer(64)
        lib.DARARARGetFrameChText(h, 0, 1, c, buf)
        labels.append(buf.value.decode("ascii"))
        rates.append(lib.DARARARGetFrameChInfo(h, 0, 4, c))
    window = 60  # frames per read
    lib.DARARARCreateReadFrameBuf(h, 0, window * fs)
    parts = [[] for _ in range(channels)]
    for f0 in range(0, frames, window):
        n = min(window, frames - f0)
        if lib.DARARARReadFrameWaveEx(h, 0, f0 * fs, n * fs) < 0:
            fail("the library cannot read frames from %d" % f0)
        for c in range(channels):
            out = (C.c_int16 * (rates[c] * n * fs))()
            got = lib.DARARARGetFrameWaveEx(h, 0, c, out, 0, n * fs)
            if got != len(out):
                fail("the library handed out %d of %d samples" % (got, len(out)))
            parts[c].append(np.frombuffer(out, dtype=np.int16).copy())
    lib.RAZIVERACloseBioFile(h)
    samples = [np.concatenate(p) for p in parts]
    return labels, rates, start, fs, frames, samples


def expected_events(labels, rates, samples):
    if "EVENT" not in labels:
        return []
    c = labels.index("EVENT")
    return sorted((int(k) * 1000 // rates[c], "EVENT %d" % samples[c][k]) for k in np.nonzero(samples[c])[0])


def check_mne(edf, labels, rates, start, samples, events):
    import mne
    mne.set_log_level("ERROR")
    raw = mne.io.read_raw_edf(edf, preload=False)
    if raw.ch_names != labels:
        fail("MNE sees signals %s, the library %s" % (raw.ch_names, labels))
    if raw.info["meas_date"] != start:
        fail("MNE's start %s, the library's %s" % (raw.info["meas_date"], start))
    for c, label in enumerate(labels):
        one = mne.io.read_raw_edf(edf, include=[label], preload=True)
        if one.info["sfreq"] != rates[c]:
            fail("%s: MNE reads %g Hz, the library %d Hz" % (label, one.info["sfreq"], rates[c]))
        scale = UNIT_SCALE.get(one._orig_units.get(label, ""), 1.0)
        digital = np.rint(one.get_data()[0] / scale).astype(np.int64)
        if len(digital) != len(samples[c]) or not np.array_equal(digital, samples[c].astype(np.int64)):
            bad = np.nonzero(digital[: len(samples[c])] != samples[c][: len(digital)])[0]
            fail("%s: MNE's samples differ (%d vs %d samples, first difference at %s)"
                 % (label, len(digital), len(samples[c]), bad[:1]))
    got = sorted((int(round(a["onset"] * 1000)), a["description"]) for a in raw.annotations
                 if a["description"].startswith("EVENT "))
    if got != events:
        fail("MNE sees %d event-code annotations, the event channel holds %d" % (len(got), len(events)))
    named = [a for a in raw.annotations if not a["description"].startswith("EVENT ")]
    print("check_edf: MNE: %d signals, labels, rates, start %s, %d samples and %d + %d annotations agree"
          % (len(labels), start, sum(len(s) for s in samples), len(got), len(named)))
    return len(named)


def check_biosig(edf, labels, rates, start, samples, events, named):
    out = subprocess.run(["save2gdf", "-JSON", edf], capture_output=True, text=True, check=True).stdout
    head = json.loads(out[out.index("{"):])
    chans = [c for c in head["CHANNEL"] if c["Label"] != "EDF Annotations"]
    if [c["Label"] for c in chans] != labels:
        fail("biosig sees signals %s" % [c["Label"] for c in chans])
    if [int(c["Samplingrate"]) for c in chans] != rates:
        fail("biosig sees rates %s, the library %s" % ([c["Samplingrate"] for c in chans], rates))
    if head["StartOfRecording"] != start.strftime("%Y-%m-%d %H:%M:%S"):
        fail("biosig's start %s" % head["StartOfRecording"])
    codes = sorted((int(round(e["POS"] * 1000)), e["Description"]) for e in head.get("EVENT", [])
                   if e["Description"].startswith("EVENT "))
    if codes != events or len(head.get("EVENT", [])) != len(events) + named:
        fail("biosig sees %d annotations" % len(head.get("EVENT", [])))
    with tempfile.TemporaryDirectory() as d:
        subprocess.run(["save2gdf", "-f=ASCII", edf, os.path.join(d, "x")], capture_output=True, check=True)
        for c, label in enumerate(labels):
            with open(os.path.join(d, "x.a%02d" % (c + 1))) as f:
                values = np.fromstring(f.read(), sep="\n")
            if not np.array_equal(np.rint(values).astype(np.int64), samples[c].astype(np.int64)):
                fail("%s: biosig's samples differ" % label)
    print("check_edf: biosig: signals, labels, rates, start, every sample and %d annotations agree"
          % len(head.get("EVENT", [])))


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    lib, rec, edf = sys.argv[1:]
    labels, rates, start, fs, frames, samples = library_read(lib, rec)
    events = expected_events(labels, rates, samples)
    if not events:
        fail("the recording's event channel holds no codes")
    named = check_mne(edf, labels, rates, start, samples, events)
    check_biosig(edf, labels, rates, start, samples, events, named)


if __name__ == "__main__":
    main()
