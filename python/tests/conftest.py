"""Shared fixtures: the razivera tool and the shared library found through the
environment CTest sets (RAZIVERA_TOOL, RAZIVERA_LIBRARY), and small demo
recordings made by the tool once per run."""

import ctypes
import os
import re
import subprocess

import numpy as np
import pytest

DEMO_HOURS = "0.1"  # six minutes: a few events and twelve epochs

# The interface's named codes, read from the public header itself so that the
# independent reader below calls the library by the same names as C callers.
_CODES_H = os.path.join(os.path.dirname(__file__), "..", "..", "include", "razivera_codes.h")
with open(_CODES_H) as _f:
    RZ = {m.group(1): int(m.group(2)) for m in re.finditer(r"^#define (RZ_\w+) (\d+)\b", _f.read(), re.M)}


def _need(var):
    path = os.environ.get(var)
    if not path or not os.path.exists(path):
        pytest.skip("%s does not name a file (run through CTest)" % var)
    return path


@pytest.fixture(scope="session")
def tool():
    path = _need("RAZIVERA_TOOL")

    def run(*args, check=True):
        return subprocess.run([path, *map(str, args)], capture_output=True, text=True, check=check)

    return run


@pytest.fixture(scope="session", params=["little", "big"])
def demo(request, tool, tmp_path_factory):
    """A demo night of six minutes in either byte order."""
    path = tmp_path_factory.mktemp("demo") / ("night-%s.vzo" % request.param)
    tool("demo", path, "--hours", DEMO_HOURS, *(["--big-endian"] if request.param == "big" else []))
    return path


class CApi:
    """The library's reading calls through ctypes: a reader independent of
    the extension module."""

    def __init__(self, path):
        lib = ctypes.CDLL(path)
        h, u16, u32, i32 = ctypes.c_void_p, ctypes.c_uint16, ctypes.c_uint32, ctypes.c_int32
        sig = {
            "RAZIVERAOpenBioFile": (h, [ctypes.c_char_p, u16, u32]),
            "RAZIVERACloseBioFile": (h, [h]),
            "DARARARReadRecordInfo": (i32, [h, u32]),
            "DARARARReadChannelInfo": (i32, [h, u16]),
            "DARARARReadFrameInfo": (i32, [h, u16]),
            "DARARARGetWaveInfo": (u32, [h, u16, u16]),
            "DARARARGetFrameChInfo": (u32, [h, u16, u16, u16]),
            "DARARARCreateReadFrameBuf": (i32, [h, u16, u32]),
            "DARARARReadFrameWaveEx": (i32, [h, u16, i32, u32]),
            "DARARARGetFrameWaveEx": (i32, [h, u16, u16, ctypes.c_void_p, u32, u32]),
        }
        for name, (res, args) in sig.items():
            f = getattr(lib, name)
            f.restype, f.argtypes = res, args
        self.lib = lib

    def read_all(self, path):
        """Every channel's samples of record 0, one second at a time."""
        lib = self.lib
        h = lib.RAZIVERAOpenBioFile(str(path).encode(), RZ["RZ_OPEN_READ"], 1)
        assert h
        try:
            assert lib.DARARARReadRecordInfo(h, 0) == 1 and lib.DARARARReadChannelInfo(h, 0) == 1
            assert lib.DARARARReadFrameInfo(h, 0) == 1
            channels = lib.DARARARGetWaveInfo(h, 0, RZ["RZ_WAVE_CHANNEL_COUNT"])
            seconds = (lib.DARARARGetWaveInfo(h, 0, RZ["RZ_WAVE_TOTAL_FRAMES"])
                       * lib.DARARARGetWaveInfo(h, 0, RZ["RZ_WAVE_FRAME_SECONDS"]))
            rates = [lib.DARARARGetFrameChInfo(h, 0, RZ["RZ_CHANNEL_SAMPLE_RATE"], c) for c in range(channels)]
            out = [np.zeros(seconds * r, np.int16) for r in rates]
            lib.DARARARCreateReadFrameBuf(h, 0, 1)
            for s in range(seconds):
                assert lib.DARARARReadFrameWaveEx(h, 0, s, 1) > 0
                for c, r in enumerate(rates):
                    got = lib.DARARARGetFrameWaveEx(h, 0, c, out[c][s * r:].ctypes.data, 0, 1)
                    assert got == r
            return out
        finally:
            lib.RAZIVERACloseBioFile(h)


@pytest.fixture(scope="session")
def capi():
    return CApi(_need("RAZIVERA_LIBRARY"))
