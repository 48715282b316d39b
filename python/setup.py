"""Builds the razivera package with pip, without CMake:

    /usr/bin/python3 -m pip install --no-build-isolation ./python

from a checkout of the project.  The extension module is compiled together
with the library's sources (only the public interface is called), so the
installed package needs nothing beside numpy.  Needs a C++17 compiler and the
headers of Python (python3-dev) and pybind11 (pybind11-dev)."""

import glob
import os
import re

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LIBRARY_PARTS = ("frame", "container", "channels", "metadata", "events", "platform")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(RAZIVERA VERSION ([0-9.]+)", f.read()).group(1)


def pybind11_includes():
    try:
        import pybind11  # the Python package, when it is installed

        return [pybind11.get_include()]
    except ImportError:
        return []  # Debian's pybind11-dev puts the headers on the default path


library = sorted(p for part in LIBRARY_PARTS for p in glob.glob(os.path.join(ROOT, "src", part, "*.cpp")))
module = Extension(
    "razivera._razivera",
    sources=[os.path.join(HERE, "src", "_razivera.cpp")] + library,
    include_dirs=[os.path.join(ROOT, "include"), os.path.join(ROOT, "src")] + pybind11_includes(),
    extra_compile_args=["-std=c++17", "-fvisibility=hidden", "-O2"],
    language="c++",
)

setup(
    name="razivera",
    version=project_version(),
    description="Polysomnography recordings in the VOZO-PSG File Format as numpy arrays and MNE Raw objects",
    packages=["razivera"],
    package_dir={"razivera": os.path.relpath(os.path.join(HERE, "razivera"))},
    ext_modules=[module],
    install_requires=["numpy"],
    extras_require={"mne": ["mne"]},
    python_requires=">=3.8",
)
