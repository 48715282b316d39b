"""Polysomnography recordings in the VOZO-PSG File Format, as numpy arrays.

    import razivera
    with razivera.open("night.vzo") as rec:
        r = rec.records[0]
        window = r.read(["C3-M2", "E1-M2"], start=3600, stop=3630)
        print(r.events[:10], r.hypnogram.stages)

Samples come at each channel's own rate as int16 arrays, exactly as stored.
Writing goes through ``razivera.create``.  MNE-Python users call
``razivera.mne.read_raw``.

Errors in a file raise ``razivera.Error`` (an ``OSError``) naming the file,
the record and what is wrong; wrong arguments raise ``ValueError``,
``KeyError`` or ``TypeError``.
"""

import datetime as _dt
import math as _math
import os as _os
import tempfile as _tempfile
import warnings as _warnings
from dataclasses import dataclass as _dataclass

import numpy as np

from ._razivera import ANNOTATION_TEXT_KEPT, CHANNEL_TEXT_KEPT, Error
from ._razivera import ChannelSpec as _ChannelSpec
from ._razivera import File as _File
from ._razivera import Writer as _Writer

Error.__module__ = __name__

__all__ = ["open", "create", "Recording", "Record", "Channel", "Hypnogram", "Writer", "Error",
           "EVENT_DTYPE", "STAGES"]

# The event channel: the channel labelled EVENT carries event codes, one per
# sample, 0 meaning none (the convention of the razivera tool).
EVENT_LABEL = "EVENT"
# Stage values of the hypnogram and their names.
STAGES = {0: "W", 1: "N1", 2: "N2", 3: "N3", 5: "R"}
_STAGE_VALUES = {"W": 0, "WAKE": 0, "N1": 1, "N2": 2, "N3": 3, "R": 5, "REM": 5}
_HYPNOGRAM_ID = 1
_DEFAULT_EPOCH = 30
_MILLIS = 1000
_TEXT_ENCODING = "latin-1"
# A hypnogram's text keeps at most this many characters.
_SCORE_TEXT_KEPT = 62

EVENT_DTYPE = np.dtype([("onset", "f8"), ("duration", "f8"), ("code", "u2"), ("label", "U32")])


@_dataclass(frozen=True)
class Channel:
    """One channel of a record."""

    index: int          # position in the record, from 0
    number: int         # the channel number the writer gave it
    label: str
    unit: str
    rate: int           # samples per second
    filters: tuple      # the stored filter settings (form A, form B)
    is_event: bool      # the event channel (event codes, not a signal)
    calibration: tuple = None  # (digital min, max, physical min, max) when kept from EDF
    key: str = ""       # the key of its samples in read(): the label, made unique


@_dataclass(frozen=True)
class Hypnogram:
    """Sleep stages, one per epoch (0 W, 1 N1, 2 N2, 3 N3, 5 REM)."""

    stages: np.ndarray
    epoch_seconds: int
    text: str = ""

    @property
    def names(self):
        return [STAGES.get(int(s), "?") for s in self.stages]

    @property
    def onsets(self):
        return np.arange(len(self.stages), dtype=float) * self.epoch_seconds


def _round_millis(seconds):
    # Half away from zero, as the tool rounds when it compares events.
    return int(_math.floor(seconds * _MILLIS + 0.5))


class Record:
    """A record of a recording: its description, samples and tables."""

    def __init__(self, recording, index):
        self._recording = recording
        self.index = index
        d = recording._file.describe(index)
        self._d = d
        self.frame_seconds = int(d["frame_seconds"])
        self.frames = int(d["frames"])
        self.duration = float(self.frames * self.frame_seconds)
        self.base_rate = int(d["base_rate"])
        self.mains = int(d["mains"])
        self.text = d["text"]
        y, mo, da, h, mi, s = d["start"]
        try:
            self.start = _dt.datetime(y, mo, da, h, mi, s)
        except ValueError:
            self.start = None  # undated, or a date that does not exist
        self.start_time = (h, mi, s)
        labels = [c["label"] for c in d["channels"]]
        chans = []
        for c in d["channels"]:
            key = c["label"] if labels.count(c["label"]) == 1 else "%s [%d]" % (c["label"], c["index"] + 1)
            chans.append(Channel(index=c["index"], number=c["number"], label=c["label"], unit=c["unit"],
                                 rate=c["rate"], filters=tuple(c["filters"]),
                                 is_event=c["index"] == d["event_channel"],
                                 calibration=c["calibration"], key=key))
        self.channels = chans
        self._events = None

    def __repr__(self):
        return "<razivera.Record %d of %s: %d channels, %g s>" % (
            self.index, self._recording.path, len(self.channels), self.duration)

    @property
    def event_channel(self):
        """The channel of event codes, or None."""
        return next((c for c in self.channels if c.is_event), None)

    def channel(self, which):
        """A channel by label (exact, else ignoring case and spaces) or by index."""
        if isinstance(which, Channel):
            which = which.index
        if isinstance(which, (int, np.integer)) and not isinstance(which, bool):
            if 0 <= which < len(self.channels):
                return self.channels[which]
            raise IndexError("%s: record %d has %d channels; there is no channel index %d"
                             % (self._recording.path, self.index, len(self.channels), which))
        if not isinstance(which, str):
            raise TypeError("a channel is chosen by its label or its index, not %r" % (which,))
        for c in self.channels:
            if which in (c.label, c.key):
                return c
        folded = which.strip().upper()
        found = [c for c in self.channels if c.label.strip().upper() == folded]
        if len(found) == 1:
            return found[0]
        raise KeyError("%s: record %d has no channel %r (channels: %s)" % (
            self._recording.path, self.index, which, ", ".join(c.key for c in self.channels)))

    def _select(self, channels):
        if channels is None:
            return list(self.channels)
        if isinstance(channels, (str, int, np.integer, Channel)):
            channels = [channels]
        return [self.channel(c) for c in channels]

    def read(self, channels=None, start=0.0, stop=None):
        """Samples from `start` to `stop` seconds (the end of the record when
        None or beyond it), as {key: int16 array} at each channel's own rate:
        sample k of a channel of rate R lies at k / R seconds, and the window
        holds the samples whose times lie in [start, stop)."""
        chans = self._select(channels)
        start = float(start)
        stop = self.duration if stop is None else min(float(stop), self.duration)
        if not 0 <= start <= self.duration:
            raise ValueError("%s: record %d lasts %g s; a window cannot start at %g s"
                             % (self._recording.path, self.index, self.duration, start))
        if stop < start:
            raise ValueError("%s: the window ends (%g s) before it starts (%g s)"
                             % (self._recording.path, stop, start))
        return self._recording._live().read(self.index, [c.index for c in chans], [c.key for c in chans],
                                            start, stop)

    @property
    def events(self):
        """Events as a structured array (onset, duration in seconds; code;
        label), in time order: the event channel's codes, labelled
        "EVENT <code>", and the event table's entries (code 0) that do not
        repeat them - the events `razivera export-edf` writes as annotations."""
        if self._events is None:
            f = self._recording._live()
            onsets, codes = f.event_codes(self.index)
            rows = [(float(o), 0.0, int(c), "%s %d" % (EVENT_LABEL, c)) for o, c in zip(onsets, codes)]
            said = {(_round_millis(r[0]), _round_millis(r[1]), r[3]) for r in rows}
            table = f.annotations(self.index)
            if table is not None:
                for o, d, t in zip(*table):
                    if (_round_millis(o), _round_millis(d), t) not in said:
                        rows.append((float(o), float(d), 0, t))
            rows.sort(key=lambda r: r[0])  # stable: the channel's events first at one instant
            self._events = np.array(rows, dtype=EVENT_DTYPE)
        return self._events

    @property
    def hypnogram(self):
        """The hypnogram (the score table of 30-second stages), or None."""
        t = self._recording._live().score_table(self.index)
        if t is None:
            return None
        stages, epoch, text, table_id = t
        if table_id != _HYPNOGRAM_ID or epoch == 0:
            return None
        return Hypnogram(stages=stages.astype(np.int64), epoch_seconds=int(epoch), text=text)

    @property
    def texts(self):
        """The record's notes and kept texts: {id: text}."""
        return self._recording._live().texts(self.index)


class Recording:
    """An open recording file; use it as a context manager."""

    def __init__(self, path):
        self.path = _os.fspath(path)
        self._file = _File(self.path)
        self.byte_order = self._file.byte_order
        self.version = self._file.version
        self._records = None

    def _live(self):
        if self._file.closed:
            raise Error("%s: the recording is closed" % self.path)
        return self._file

    @property
    def records(self):
        if self._records is None:
            self._live()
            self._records = [Record(self, i) for i in range(self._file.records)]
        return self._records

    def close(self):
        self._file.close()

    @property
    def closed(self):
        return self._file.closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        return "<razivera.Recording %s: %d record(s), %s-endian>" % (
            self.path, self._file.records, self.byte_order)


def open(path):  # noqa: A001 - the package's reading entry point
    """Opens a recording for reading."""
    return Recording(path)


# ---- Writing ----------------------------------------------------------------------


def _text_bytes(text, what, kept=None):
    try:
        b = str(text).encode(_TEXT_ENCODING)
    except UnicodeEncodeError:
        raise ValueError("%s %r holds characters the file cannot store (Latin-1 only)" % (what, text)) from None
    if kept is not None and len(b) > kept:
        _warnings.warn("%s %r is cut to the %d characters the file keeps" % (what, text, kept), stacklevel=3)
        b = b[:kept]
    return b


def _channel_description(c, position):
    if isinstance(c, Channel):
        c = {"label": c.label, "unit": c.unit, "rate": c.rate, "number": c.number, "filters": c.filters}
    elif isinstance(c, (tuple, list)):
        c = dict(zip(("label", "rate", "unit"), c))
    elif not isinstance(c, dict):
        raise TypeError("channel %d: give a dict (label, rate, unit, ...), a tuple (label, rate[, unit]) "
                        "or a Channel, not %r" % (position + 1, c))
    if "label" not in c or "rate" not in c:
        raise ValueError("channel %d needs a label and a rate" % (position + 1))
    rate = int(c["rate"])
    if rate <= 0:
        raise ValueError("channel %r: the rate must be a positive number of samples per second" % c["label"])
    filters = tuple(c.get("filters", (0, 0)))
    return (str(c["label"]), _ChannelSpec(_text_bytes(c["label"], "the label", CHANNEL_TEXT_KEPT),
                                          _text_bytes(c.get("unit", ""), "the unit", CHANNEL_TEXT_KEPT),
                                          rate, int(c.get("number", 0)), int(filters[0]), int(filters[1])))


def _samples(values, where):
    a = np.asarray(values)
    if a.dtype != np.int16:
        if a.dtype.kind not in "iu":
            raise TypeError("%s: samples are %s; the file stores 16-bit integers (scale and round first)"
                            % (where, a.dtype))
        if a.size and (a.min() < np.iinfo(np.int16).min or a.max() > np.iinfo(np.int16).max):
            raise ValueError("%s: samples outside the 16-bit range" % where)
        a = a.astype(np.int16)
    return np.ascontiguousarray(a)


class Writer:
    """Writes one record, block by block; use it as a context manager.  The
    file is written beside the target under a temporary name and takes the
    target's name when closed; an error inside the ``with`` block leaves the
    target untouched."""

    def __init__(self, path, channels, start=None, frame_seconds=1, byte_order="little", text="", mains=0):
        self.path = _os.fspath(path)
        if byte_order not in ("little", "big"):
            raise ValueError("byte_order is 'little' or 'big', not %r" % (byte_order,))
        if not channels:
            raise ValueError("a recording needs at least one channel")
        if start is None:
            start = _dt.datetime.now().replace(microsecond=0)
        if not isinstance(start, _dt.datetime):
            raise TypeError("start is a datetime, not %r" % (start,))
        described = [_channel_description(c, i) for i, c in enumerate(channels)]
        self.labels = [s[0] for s in described]
        self.rates = [self._rate_of(c) for c in channels]
        self.frame_seconds = int(frame_seconds)
        directory = _os.path.dirname(_os.path.abspath(self.path))
        fd, self._temp = _tempfile.mkstemp(prefix="." + _os.path.basename(self.path) + ".", suffix=".part",
                                           dir=directory)
        _os.close(fd)
        try:
            self._w = _Writer(self._temp, [s[1] for s in described],
                              [start.year, start.month, start.day, start.hour, start.minute, start.second],
                              self.frame_seconds, byte_order == "big", _text_bytes(text, "the record text", 31),
                              int(mains))
        except BaseException:
            _os.unlink(self._temp)
            self._temp = None
            raise
        self._next_text = 1

    @staticmethod
    def _rate_of(c):
        if isinstance(c, Channel):
            return c.rate
        if isinstance(c, dict):
            return int(c["rate"])
        return int(c[1])

    def _index(self, key):
        if isinstance(key, (int, np.integer)) and not isinstance(key, bool):
            if 0 <= key < len(self.labels):
                return int(key)
            raise IndexError("%s: there is no channel index %d" % (self.path, key))
        try:
            return self.labels.index(key)
        except ValueError:
            raise KeyError("%s: no channel %r (channels: %s)" % (self.path, key, ", ".join(self.labels))) from None

    def write(self, samples):
        """Appends samples: {label or index: 1-D array} for some or all
        channels, or {rate: 2-D array} whose rows are the channels of that
        rate in order.  Frames reach the file once every channel has them."""
        blocks = []
        for key, values in samples.items():
            a = np.asarray(values)
            if a.ndim == 2 and isinstance(key, (int, np.integer)):
                rows = [i for i, r in enumerate(self.rates) if r == key]
                if len(rows) != a.shape[0]:
                    raise ValueError("%s: %d channels have the rate %d; the array has %d rows"
                                     % (self.path, len(rows), key, a.shape[0]))
                a = _samples(a, "%s: rate %d" % (self.path, key))
                blocks.extend((i, a[k]) for k, i in enumerate(rows))
            elif a.ndim == 1:
                i = self._index(key)
                blocks.append((i, _samples(a, "%s: channel %r" % (self.path, self.labels[i]))))
            else:
                raise ValueError("%s: samples of %r are a 1-D array (or a 2-D array under a rate)"
                                 % (self.path, key))
        self._w.write(blocks)

    def add_event(self, onset, duration=0.0, label=""):
        """An entry of the event table: onset and duration in seconds (kept in
        milliseconds), a label of at most 28 characters."""
        self._w.add_annotation(float(onset), float(duration),
                               _text_bytes(label, "the event label", ANNOTATION_TEXT_KEPT))

    def set_hypnogram(self, stages, epoch_seconds=_DEFAULT_EPOCH, text=""):
        """The sleep stages, one per epoch: numbers (0 W, 1 N1, 2 N2, 3 N3,
        5 REM) or names ("W", "N1", "N2", "N3", "R")."""
        values = []
        for s in stages:
            if isinstance(s, str):
                if s.upper() not in _STAGE_VALUES:
                    raise ValueError("unknown sleep stage %r (W, N1, N2, N3, R)" % s)
                values.append(_STAGE_VALUES[s.upper()])
            elif int(s) < 0:
                raise ValueError("a stage value is not negative")
            else:
                values.append(int(s))
        self._w.set_hypnogram(values, int(epoch_seconds), _text_bytes(text, "the hypnogram text", _SCORE_TEXT_KEPT))

    def add_text(self, text, id=None):  # noqa: A002 - the text list's own word
        """A note in the record's text list (ids from 1 in order when not given)."""
        if id is None:
            id = self._next_text
        self._next_text = max(self._next_text, int(id) + 1)
        self._w.add_text(int(id), _text_bytes(text, "the text", 255))
        return id

    @property
    def frames(self):
        """Frames written so far."""
        return self._w.frames

    def close(self):
        """Ends the record and gives the file its name.  A last partial frame
        is completed with zeros (with a warning)."""
        if self._temp is None:
            return
        pending = self._w.pending()
        if any(pending):
            _warnings.warn("%s: the last frame is completed with zeros (%s)" % (
                self.path, ", ".join("%s %d samples" % (l, n) for l, n in zip(self.labels, pending) if n)),
                stacklevel=2)
        try:
            self._w.close()
            mask = _os.umask(0)
            _os.umask(mask)
            _os.chmod(self._temp, 0o666 & ~mask)
            _os.replace(self._temp, self.path)
        except BaseException:
            self._discard()
            raise
        self._temp = None

    def _discard(self):
        self._w.abandon()
        if self._temp is not None and _os.path.exists(self._temp):
            _os.unlink(self._temp)
        self._temp = None

    def __enter__(self):
        return self

    def __exit__(self, kind, value, tb):
        if kind is None:
            self.close()
        else:
            self._discard()
        return False

    def __del__(self):
        if getattr(self, "_temp", None) is not None:
            self._discard()


def create(path, channels, start=None, frame_seconds=1, byte_order="little", text="", mains=0):
    """Starts a recording of one record.  channels: dicts with label, rate and
    optionally unit, number, filters; or (label, rate[, unit]) tuples; or
    Channel objects of a record read.  A channel labelled EVENT is the event
    channel: its samples are event codes."""
    return Writer(path, channels, start=start, frame_seconds=frame_seconds, byte_order=byte_order,
                  text=text, mains=mains)
