"""A recording as an MNE-Python ``Raw`` object.

    import razivera.mne
    raw = razivera.mne.read_raw("night.vzo")
    data = raw.get_data(start=0, stop=30 * int(raw.info["sfreq"]))

The samples are read lazily, frame by frame, through the library.  MNE needs
one sampling rate: channels of lower rates are brought to the highest the way
MNE's own EDF reader does it, frame by frame (an FFT resampling of each
frame for signals, a step function for the event channel), so a recording read
here and the same recording exported with ``razivera export-edf`` and read
with ``mne.io.read_raw_edf(..., stim_channel="EVENT")`` give the same data.
Microvolt and millivolt channels are scaled to volts.  The events and the
hypnogram become ``Annotations``; the start is ``meas_date`` (UTC, as EDF
readers take a clock time without a zone).
"""

import datetime as _dt

import mne as _mne
import numpy as np
from mne.filter import resample as _resample
from mne.io import BaseRaw
from mne.io.utils import _mult_cal_one

from . import STAGES, Recording

__all__ = ["read_raw", "RawRazivera", "channel_type"]

# Unit texts scaled to volts, as MNE's EDF reader scales them.
_UNIT_SCALE = {"uV": 1e-6, "\u03bcV": 1e-6, "\u00b5V": 1e-6, "mV": 1e-3}
# The EDF field a unit must fit to be kept by an EDF export.
_EDF_UNIT_WIDTH = 8
# Event codes are kept in the low 17 bits when the event channel needs no
# resampling, as MNE's EDF reader keeps them.
_STIM_MASK = 2 ** 17 - 1
_STAGE_PREFIX = "Sleep stage "

# Label words and the MNE channel type they mean, tried in order.
_TYPE_WORDS = [
    ("stim", ("EVENT", "STATUS", "TRIGGER")),
    ("eog", ("EOG", "LOC", "ROC", "E1-", "E2-")),
    ("emg", ("EMG", "CHIN", "LEG", "TIB", "MENT")),
    ("ecg", ("ECG", "EKG")),
    ("resp", ("AIRFLOW", "FLOW", "THOR", "ABD", "RESP", "NASAL", "CANNULA", "THERM", "EFFORT", "PRES")),
    ("bio", ("SPO2", "SAO2", "SAT", "PULSE", "PLETH", "HR", "POS", "SNORE", "CO2")),
    ("eeg", ("EEG", "FP1", "FP2", "FPZ", "F3", "F4", "F7", "F8", "FZ", "C3", "C4", "CZ", "P3", "P4", "PZ",
             "O1", "O2", "OZ", "T3", "T4", "T5", "T6", "T7", "T8", "M1", "M2", "A1", "A2")),
]


def channel_type(label, is_event=False):
    """The MNE channel type of a channel from its label: stim for the event
    channel, eog, emg, ecg, resp, bio (SpO2, pulse, position), eeg; misc
    when the label says nothing known."""
    if is_event:
        return "stim"
    words = label.strip().upper()
    for kind, keys in _TYPE_WORDS:
        if any(k in words for k in keys):
            return kind
    return "misc"


def _unit_scale(unit):
    u = unit.strip()
    if len(u) > _EDF_UNIT_WIDTH:
        return 1.0
    return _UNIT_SCALE.get(u, 1.0)


def _calibration(ch):
    """(gain, offset) from stored to physical values, as an EDF reader
    computes them from the digital and physical ranges."""
    dmin, dmax, pmin, pmax = ch.calibration or (-32768, 32767, -32768.0, 32767.0)
    cal = (pmax - pmin) / (dmax - dmin)
    return cal, pmin - dmin * cal


class RawRazivera(BaseRaw):
    """A record of a recording, read lazily through the library."""

    def __init__(self, path, record=0, preload=False, verbose=None):
        with Recording(path) as rec:
            if not 0 <= record < len(rec.records):
                raise ValueError("%s has %d record(s); there is no record %d" % (path, len(rec.records), record))
            r = rec.records[record]
            if not r.channels or r.frames == 0:
                raise ValueError("%s: record %d holds no frames to read" % (path, record))
            chans = r.channels
            fs = r.frame_seconds
            sfreq = max(c.rate for c in chans)
            kinds = [channel_type(c.label, c.is_event) for c in chans]
            info = _mne.create_info([c.key for c in chans], float(sfreq), kinds, verbose=False)
            scales, cals, offsets = [], [], []
            for c in chans:
                cal, off = _calibration(c)
                cals.append(cal)
                offsets.append(off)
                scales.append(1.0 if c.is_event else _unit_scale(c.unit))
            if r.start is not None:
                with info._unlock():
                    info["meas_date"] = r.start.replace(tzinfo=_dt.timezone.utc)
            events = r.events
            hyp = r.hypnogram
            extras = dict(record=record, frame_seconds=fs, frames=r.frames, samples_per_frame=sfreq * fs,
                          rates=np.array([c.rate for c in chans]), event=np.array([c.is_event for c in chans]),
                          cal=np.array(cals), offsets=np.array(offsets), units=np.array(scales))
            orig_units = {c.key: c.unit for c in chans}
        super().__init__(info, preload, filenames=[str(path)], raw_extras=[extras],
                         last_samps=[r.frames * sfreq * fs - 1], orig_format="int", orig_units=orig_units,
                         verbose=verbose)
        onset = list(events["onset"])
        duration = list(events["duration"])
        description = list(events["label"])
        if hyp is not None:
            for i, s in enumerate(hyp.stages):
                if i * hyp.epoch_seconds >= r.duration:
                    break
                onset.append(float(i * hyp.epoch_seconds))
                duration.append(float(min(hyp.epoch_seconds, r.duration - i * hyp.epoch_seconds)))
                description.append(_STAGE_PREFIX + STAGES.get(int(s), "?"))
        self.set_annotations(_mne.Annotations(onset=onset, duration=duration, description=description,
                                              orig_time=None))

    def _read_segment_file(self, data, idx, fi, start, stop, cals, mult):
        x = self._raw_extras[fi]
        buf_len = int(x["samples_per_frame"])
        fs = x["frame_seconds"]
        rates = x["rates"]
        first_frame = start // buf_len
        end_frame = -(-stop // buf_len)
        n_frames = end_frame - first_frame
        wanted = np.arange(len(rates))[idx] if isinstance(idx, slice) else np.asarray(idx)
        one = np.zeros((len(rates), stop - start), dtype=data.dtype)
        lo = start - first_frame * buf_len
        with Recording(self._filenames[fi]) as rec:
            r = rec.records[x["record"]]
            chans = sorted(set(int(i) for i in wanted))
            samples = r.read(chans, start=first_frame * fs, stop=end_frame * fs)
            for ci in chans:
                per = int(rates[ci]) * fs
                ch = samples[r.channels[ci].key].reshape(n_frames, per)
                # The operations and their order of MNE's EDF reader, so that
                # the values agree to the last bit.
                ch = ch * x["cal"][ci]
                ch += x["offsets"][ci]
                ch *= x["units"][ci]
                if per != buf_len:
                    if x["event"][ci]:
                        ch = _step_up(ch, per, buf_len)
                    else:
                        ch = _resample(ch.astype(np.float64), buf_len, per, npad=0, axis=-1)
                elif x["event"][ci]:
                    ch = np.bitwise_and(ch.astype(int), _STIM_MASK)
                one[ci] = ch.ravel()[lo:lo + stop - start]
        _mult_cal_one(data, one, idx, cals, mult)


def _step_up(ch, per, buf_len):
    """Each frame's codes held until the next sample, at the higher rate."""
    from scipy.interpolate import interp1d

    old = np.linspace(0, 1, per + 1, True)
    new = np.linspace(0, 1, buf_len, False)
    ch = np.append(ch, np.zeros((len(ch), 1)), -1)
    return interp1d(old, ch, kind="zero", axis=-1)(new)


def read_raw(path, record=0, preload=False, verbose=None):
    """A record of a recording as an MNE ``Raw`` object (see the module)."""
    return RawRazivera(path, record=record, preload=preload, verbose=verbose)
