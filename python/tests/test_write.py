"""Writing: what Python writes, block by block, reads back the same through
the package and through the C interface, in both byte orders, and passes
`razivera verify`; a failed write leaves the target as it was."""

import datetime as dt
import os

import numpy as np
import pytest

import razivera

START = dt.datetime(2024, 5, 6, 23, 59, 30)
CHANNELS = [
    {"label": "C3-M2", "rate": 256, "unit": "uV", "filters": (530, 300)},
    ("Airflow", 32),
    ("SpO2", 1, "%"),
    ("EVENT", 8),
]


def night(seconds, seed=3):
    rng = np.random.default_rng(seed)
    full = {
        "C3-M2": rng.integers(-32768, 32768, 256 * seconds).astype(np.int16),
        "Airflow": rng.integers(-2000, 2000, 32 * seconds),  # int64, in range
        "SpO2": np.full(seconds, 97, np.int16),
        "EVENT": np.zeros(8 * seconds, np.int16),
    }
    full["EVENT"][[3, 50, 51, 8 * seconds - 1]] = [4, 5, -1, 2]
    return full


@pytest.mark.parametrize("byte_order", ["little", "big"])
def test_round_trip(tmp_path, tool, capi, byte_order):
    path = tmp_path / "written.vzo"
    seconds, frame = 12, 2
    full = night(seconds)
    with razivera.create(path, CHANNELS, start=START, frame_seconds=frame, byte_order=byte_order,
                         text="Python round trip") as w:
        # Blocks of uneven lengths, as an acquisition program delivers them;
        # some channels ahead of the others.
        cuts = [0, 0.3, 1.9, 5.0, 9.1, seconds]
        for a, b in zip(cuts, cuts[1:]):
            w.write({k: v[int(a * len(v) / seconds):int(b * len(v) / seconds)] for k, v in full.items()})
        w.add_event(1.5, 10.25, "Obstructive apnea")
        w.add_event(0, 0, "Lights off")
        w.add_text("first note")
        w.add_text("kept text", id=0x0E01)
        w.set_hypnogram(["W", "N1", 2, 3, "R"], 30, "stages")
    assert tool("verify", path).returncode == 0
    assert not [p for p in os.listdir(tmp_path) if p.endswith(".part")]

    by_c = capi.read_all(path)
    with razivera.open(path) as rec:
        assert rec.byte_order == byte_order
        r = rec.records[0]
        assert (r.start, r.duration, r.frame_seconds, r.text) == (START, seconds, frame, "Python round trip")
        assert [(c.label, c.rate, c.unit, c.is_event) for c in r.channels] == [
            ("C3-M2", 256, "uV", False), ("Airflow", 32, "", False), ("SpO2", 1, "%", False), ("EVENT", 8, "", True)]
        assert r.channels[0].filters == (530, 300)
        got = r.read()
        for c in r.channels:
            np.testing.assert_array_equal(got[c.key], full[c.key])
            np.testing.assert_array_equal(by_c[c.index], full[c.key])
        ev = r.events
        assert list(ev["label"]) == ["Lights off", "EVENT 4", "Obstructive apnea", "EVENT 5", "EVENT 65535",
                                     "EVENT 2"]
        np.testing.assert_allclose(ev["onset"], [0, 3 / 8, 1.5, 50 / 8, 51 / 8, seconds - 1 / 8])
        assert ev["duration"][2] == 10.25
        assert r.hypnogram.names == ["W", "N1", "N2", "N3", "R"]
        assert r.texts == {1: "first note", 0x0E01: "kept text"}


def test_copy_of_a_demo_night_by_rate_groups(tmp_path, demo, tool):
    with razivera.open(demo) as rec:
        r = rec.records[0]
        samples, events = r.read(), r.events
        rates = sorted({c.rate for c in r.channels})
        out = tmp_path / "copy.vzo"
        with razivera.create(out, r.channels, start=r.start, byte_order=rec.byte_order) as w:
            for t in range(0, int(r.duration), 60):
                w.write({rate: np.stack([samples[c.key][t * rate:(t + 60) * rate]
                                         for c in r.channels if c.rate == rate]) for rate in rates})
    assert tool("verify", out).returncode == 0
    with razivera.open(out) as copy:
        c = copy.records[0]
        assert (c.start, c.duration) == (r.start, r.duration)
        again = c.read()
        for key in samples:
            np.testing.assert_array_equal(again[key], samples[key])
        np.testing.assert_array_equal(c.events, events[events["code"] > 0])


def test_refusals_and_failed_writes_leave_the_target(tmp_path):
    target = tmp_path / "kept.vzo"
    target.write_bytes(b"what was there before")
    with pytest.raises(TypeError, match="float64"):
        with razivera.create(target, CHANNELS) as w:
            w.write({"C3-M2": np.zeros(256)})
    with pytest.raises(ValueError, match="16-bit range"):
        with razivera.create(target, CHANNELS) as w:
            w.write({"Airflow": np.array([40000])})
    with pytest.raises(KeyError, match="no channel 'Fz'"):
        with razivera.create(target, CHANNELS) as w:
            w.write({"Fz": np.zeros(3, np.int16)})
    with pytest.raises(ValueError, match="byte_order"):
        razivera.create(target, CHANNELS, byte_order="middle")
    assert target.read_bytes() == b"what was there before"
    assert os.listdir(tmp_path) == ["kept.vzo"]
    # A partial last frame is completed with zeros, and said so.
    with pytest.warns(UserWarning, match="completed with zeros"):
        with razivera.create(target, CHANNELS[:1]) as w:
            w.write({"C3-M2": np.ones(300, np.int16)})
    with razivera.open(target) as rec:
        got = rec.records[0].read()["C3-M2"]
        assert len(got) == 512 and got[:300].all() and not got[300:].any()
