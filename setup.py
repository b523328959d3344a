"""Builds the Python package glyphwick with the project's own CMake build,
through setuptools alone, so that it installs on Debian without a package
index:

    pip install --no-build-isolation .

needs python3-setuptools, python3-wheel, pybind11-dev and python3-numpy,
besides the C and C++ libraries of scripts/install-deps. The wheel holds the
package, libglyphwick.so and its default pattern file side by side (the
extension finds the library through its rpath, $ORIGIN). The version is the
project's, read from CMakeLists.txt.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(Glyphwick VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Configures, builds and installs the CMake project's python component
    into the wheel's package folder."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        stage = Path(self.build_temp).resolve() / "stage"
        shutil.rmtree(stage, ignore_errors=True)
        args = ["-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                "-DGW_BUILD_TESTS=OFF", "-DGW_BUILD_TOOLS=OFF", "-DGW_BUILD_PYTHON=ON",
                "-DGW_PYTHON_WHEEL=ON", f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja"):
            args += ["-G", "Ninja"]
        if shutil.which("ccache"):
            args += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", *args], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_glyphwick", "-j", jobs],
                       check=True)
        subprocess.run(["cmake", "--install", str(build), "--component", "python", "--prefix",
                        str(stage)], check=True)
        target = Path(self.get_ext_fullpath(ext.name)).parent
        target.mkdir(parents=True, exist_ok=True)
        # The extension, the pattern file and the library under its SONAME
        # (the name the extension asks for), not its other two names.
        soname = "libglyphwick.so." + version().split(".")[0]
        for f in (stage / "glyphwick").iterdir():
            if f.name.endswith((".py", ".pyi", ".typed")):
                continue
            if f.name.startswith("libglyphwick.so") and f.name != soname:
                continue
            shutil.copy2(f, target / f.name, follow_symlinks=True)


setup(
    version=version(),
    packages=["glyphwick"],
    package_dir={"": "python"},
    package_data={"glyphwick": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("glyphwick._glyphwick", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
