#!/usr/bin/python3
"""The Python package against the C interface and against MNE's EDF reader,
in one run, on one night:

1. review: the whole night read into numpy in 30-second windows of every
   channel through Record.read, against the C interface making the same
   library calls into reused buffers (the extension's _time_windows, no
   Python in the loop); goal: within 1.5x.
2. a 30-second window of all channels as an MNE Raw: razivera.mne.read_raw
   (...).get_data(start, stop) against mne.io.read_raw_edf on the night
   exported with `razivera export-edf`, the same windows, checked equal.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py \\
        --tool build/tools/razivera [--hours 8] [--windows 40] [--repeat 5]

The recording and its EDF export are made in a temporary directory (or
--work DIR, kept).  Each figure is the best of --repeat runs after an
untimed first run, so the page cache is warm for every contender.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

WINDOW = 30  # seconds: one page of a sleep review


def best(repeat, fn):
    fn()  # warm the page cache and the code
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tool", default=os.environ.get("RAZIVERA_TOOL", "build/tools/razivera"))
    ap.add_argument("--hours", default="8")
    ap.add_argument("--windows", type=int, default=40, help="30-s windows read as MNE Raw data")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--work", help="directory for the recording and its EDF (kept)")
    a = ap.parse_args()

    import razivera
    import razivera.mne
    import mne

    work = a.work or tempfile.mkdtemp(prefix="rz-bench-py-")
    os.makedirs(work, exist_ok=True)
    night = os.path.join(work, "night-%sh.vzp" % a.hours)
    edf = os.path.join(work, "night-%sh.edf" % a.hours)
    if not os.path.exists(night):
        subprocess.run([a.tool, "demo", night, "--hours", a.hours], check=True, stdout=subprocess.DEVNULL)
    if not os.path.exists(edf):
        subprocess.run([a.tool, "export-edf", night, edf], check=True, stdout=subprocess.DEVNULL)

    rec = razivera.open(night)
    r = rec.records[0]
    windows = range(0, int(r.duration) - WINDOW + 1, WINDOW)
    print("night: %s, %d channels, %g h, %d windows of %d s; numpy %s, mne %s" % (
        night, len(r.channels), r.duration / 3600, len(windows), WINDOW, np.__version__, mne.__version__))

    # 1. Review into numpy: package against the C interface, alternating.
    def package():
        for t in windows:
            r.read(start=t, stop=t + WINDOW)

    def c_api():
        return rec._file._time_windows(0, WINDOW)

    py_best, c_best = [], []
    for _ in range(a.repeat):
        py_best.append(best(1, package))
        c_best.append(min(c_api() for _ in range(2)))
    py_t, c_t = min(py_best), min(c_best)
    print("review, whole night in %d-s windows, all channels:" % WINDOW)
    print("  C interface (same calls, reused buffers)  %8.3f s  %6.1f us/window" % (c_t, 1e6 * c_t / len(windows)))
    print("  razivera.Record.read -> numpy             %8.3f s  %6.1f us/window" % (py_t, 1e6 * py_t / len(windows)))
    print("  ratio package / C interface               %8.2f   (goal <= 1.5)" % (py_t / c_t))

    # 2. A 30-second window of all channels as MNE Raw data.
    sfreq = max(c.rate for c in r.channels)
    step = max(1, len(windows) // a.windows)
    starts = [t * sfreq for t in list(windows)[::step][:a.windows]]
    ours = razivera.mne.read_raw(night)
    theirs = mne.io.read_raw_edf(edf, stim_channel="EVENT", verbose="error")
    for s in starts[:3]:
        assert np.array_equal(ours.get_data(start=s, stop=s + WINDOW * sfreq),
                              theirs.get_data(start=s, stop=s + WINDOW * sfreq))

    def pages(raw):
        return lambda: [raw.get_data(start=s, stop=s + WINDOW * sfreq) for s in starts]

    open_ours = best(a.repeat, lambda: razivera.mne.read_raw(night))
    open_theirs = best(a.repeat, lambda: mne.io.read_raw_edf(edf, stim_channel="EVENT", verbose="error"))
    get_ours = best(a.repeat, pages(ours)) / len(starts)
    get_theirs = best(a.repeat, pages(theirs)) / len(starts)
    print("MNE Raw, one %d-s window of all channels at %d Hz (mean of %d windows):" % (WINDOW, sfreq, len(starts)))
    print("  mne.io.read_raw_edf(...).get_data        %8.2f ms" % (1e3 * get_theirs))
    print("  razivera.mne.read_raw(...).get_data      %8.2f ms   (%.1fx faster)" % (1e3 * get_ours,
                                                                                  get_theirs / get_ours))
    print("  opening: read_raw_edf %.0f ms, razivera.mne.read_raw %.0f ms (events, hypnogram included)" % (
        1e3 * open_theirs, 1e3 * open_ours))
    rec.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
