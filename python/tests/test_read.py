"""Reading: samples at native rates equal what the library hands out through
its C interface, windows cut where their times say, the tables as the tool
shows them, and damaged files refused with a clear error."""

import math
import re

import numpy as np
import pytest

import razivera


def test_samples_equal_the_c_interface(demo, capi):
    expected = capi.read_all(demo)
    with razivera.open(demo) as rec:
        r = rec.records[0]
        got = r.read()
        assert [c.key for c in r.channels] == list(got)
        for c in r.channels:
            assert got[c.key].dtype == np.int16
            np.testing.assert_array_equal(got[c.key], expected[c.index])
        # Windows within a frame, across frame boundaries, of fractional
        # times, running past the end (cut there), and empty.
        for start, stop in [(10, 40), (0.25, 1.75), (3.05, 7.5), (r.duration - 2.5, r.duration + 9), (5, 5)]:
            w = r.read(["C3-M2", 15, "spo2"], start=start, stop=stop)
            assert list(w) == ["C3-M2", "SpO2"]
            for key, arr in w.items():
                rate = r.channel(key).rate
                lo = math.ceil(start * rate - 1e-6)
                hi = math.ceil(min(stop, r.duration) * rate - 1e-6)
                np.testing.assert_array_equal(arr, expected[r.channel(key).index][lo:hi])


def test_description_and_tables_match_the_tool(demo, tool):
    info = tool("info", demo).stdout
    with razivera.open(demo) as rec:
        assert rec.byte_order == ("big" if "big-endian" in info else "little")
        r = rec.records[0]
        assert str(r.start) == re.search(r"start\s+(\S+ \S+)", info).group(1)
        assert r.duration == 360 and r.frame_seconds == 1
        for c in r.channels:
            assert re.search(r"\b%d\s+%d\s+%s\s" % (c.index + 1, c.number, re.escape(c.label)), info)
        assert [c.label for c in r.channels if c.is_event] == ["EVENT"]
        hyp = r.hypnogram
        assert hyp.epoch_seconds == 30 and len(hyp.stages) == 12
        stages = re.search(r"stages\s+(.*)", info).group(1)
        for name, count in re.findall(r"(\w+) (\d+) \(", stages):
            assert hyp.names.count("R" if name == "REM" else name) == int(count)
        table = [e for e in r.events if e["code"] == 0]
        assert "%d in the event table" % len(table) in info
        coded = r.events[r.events["code"] > 0]
        assert len(coded) > 0 and all(coded["label"] == ["EVENT %d" % c for c in coded["code"]])
        assert list(r.events["onset"]) == sorted(r.events["onset"])
        assert r.texts[1].startswith("Synthetic polysomnogram")


def test_wrong_arguments_say_what(demo):
    with razivera.open(demo) as rec:
        r = rec.records[0]
        with pytest.raises(KeyError, match="no channel 'Fz'.*F4-M1"):
            r.read("Fz")
        with pytest.raises(IndexError):
            r.read(99)
        with pytest.raises(ValueError, match="cannot start at 400"):
            r.read(start=400)
        with pytest.raises(ValueError, match="ends"):
            r.read(start=20, stop=10)
    with pytest.raises(razivera.Error, match="closed"):
        r.read("ECG", 0, 1)


def test_damaged_files_raise(demo, tmp_path):
    data = demo.read_bytes()
    cases = {
        "missing.vzo": None,
        "empty.vzo": b"",
        "not-a-recording.vzo": b"%PDF-1.4" + bytes(4096),
        "header-only.vzo": data[:32],
    }
    for name, content in cases.items():
        path = tmp_path / name
        if content is not None:
            path.write_bytes(content)
        with pytest.raises(razivera.Error, match=re.escape(name)):
            razivera.open(path).records[0].read()
    # Cut inside the frames: the description reads, the frames past the cut
    # are refused rather than read as zeros.
    cut = tmp_path / "cut.vzo"
    cut.write_bytes(data[: len(data) // 2])
    with razivera.open(cut) as rec:
        r = rec.records[0]
        assert len(r.read(start=0, stop=10)["ECG"]) == 5000
        with pytest.raises(razivera.Error, match="cut.vzo: record 0: the file ends in frame"):
            r.read()
    # Bytes overwritten throughout: whatever the file says, reading it raises
    # or returns what the description promises, never crashes.
    rng = np.random.default_rng(7)
    for trial in range(20):
        spoilt = bytearray(data)
        for at in rng.integers(0, 6000, 40):
            spoilt[at] = rng.integers(0, 256)
        path = tmp_path / ("spoilt-%d.vzo" % trial)
        path.write_bytes(bytes(spoilt))
        try:
            with razivera.open(path) as rec:
                for r in rec.records:
                    got = r.read()
                    assert all(len(got[c.key]) == r.duration * c.rate for c in r.channels)
                    r.events, r.hypnogram, r.texts
        except (razivera.Error, KeyError, ValueError):
            pass
