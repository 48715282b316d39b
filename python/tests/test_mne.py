"""The MNE reader against MNE's own EDF reader on the same night exported with
`razivera export-edf`: the same samples after the same upsampling, the same
annotations (plus the hypnogram), the same start."""

import numpy as np
import pytest

mne = pytest.importorskip("mne")
import razivera.mne  # noqa: E402


@pytest.fixture(scope="module")
def demo(tool, tmp_path_factory):
    """One byte order is enough here: the samples' path is the same as in
    test_read, which covers both."""
    path = tmp_path_factory.mktemp("demo") / "night.vzo"
    tool("demo", path, "--hours", "0.1")
    return path


@pytest.fixture(scope="module")
def pair(demo, tool, tmp_path_factory):
    edf = tmp_path_factory.mktemp("edf") / (demo.stem + ".edf")
    tool("export-edf", demo, edf)
    ours = razivera.mne.read_raw(demo)
    theirs = mne.io.read_raw_edf(edf, stim_channel="EVENT", verbose="error")
    return ours, theirs


def test_data_equal_the_edf_reader(pair):
    ours, theirs = pair
    assert ours.ch_names == theirs.ch_names
    assert ours.info["sfreq"] == theirs.info["sfreq"] == 500
    assert ours.info["meas_date"] == theirs.info["meas_date"]
    np.testing.assert_array_equal(ours.get_data(), theirs.get_data())
    # Windows starting and ending inside frames, of some channels.
    for start, stop in [(250, 15250), (123_456, 123_457), (179_500, 180_000)]:
        picks = ["SpO2", "C3-M2", "EVENT", "Thorax"]
        np.testing.assert_array_equal(ours.get_data(picks, start, stop), theirs.get_data(picks, start, stop))
    kinds = dict(zip(ours.ch_names, ours.get_channel_types()))
    assert (kinds["C3-M2"], kinds["E1-M2"], kinds["Chin EMG"], kinds["ECG"], kinds["Airflow"], kinds["SpO2"],
            kinds["EVENT"]) == ("eeg", "eog", "emg", "ecg", "resp", "bio", "stim")
    # Microvolts in volts: demo EEG stays within a few hundred microvolts.
    assert 0 < np.abs(ours.get_data("C3-M2")).max() < 1e-3


def test_annotations_equal_the_edf_reader_plus_the_hypnogram(pair):
    ours, theirs = pair
    a = ours.annotations
    stage = np.array([d.startswith("Sleep stage ") for d in a.description])
    assert stage.sum() == 12 and set(a.duration[stage]) == {30.0}
    assert list(a.description[~stage]) == list(theirs.annotations.description)
    np.testing.assert_allclose(a.onset[~stage], theirs.annotations.onset, atol=1e-6)
    np.testing.assert_allclose(a.duration[~stage], theirs.annotations.duration, atol=1e-6)
    assert a.orig_time == theirs.annotations.orig_time


def test_preload_equals_lazy_reading(demo, pair):
    ours, _ = pair
    loaded = razivera.mne.read_raw(demo, preload=True)
    np.testing.assert_array_equal(loaded.get_data(), ours.get_data())
    with pytest.raises(ValueError, match="no record 3"):
        razivera.mne.read_raw(demo, record=3)
