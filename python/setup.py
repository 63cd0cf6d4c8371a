"""Builds ulvex._ulvex with the repository's CMake project and ships it with
libulvex.so.0 inside the package (the module finds the library beside it).

The version comes from the project() line of the top-level CMakeLists.txt,
the one place it is set. ULVEX_CMAKE_BUILD_DIR chooses the CMake build
directory (default: setuptools' temporary build directory).
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*ulvex\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("no project(ulvex VERSION ...) in " + str(ROOT / "CMakeLists.txt"))
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = Path(os.environ.get("ULVEX_CMAKE_BUILD_DIR") or Path(self.build_temp) / "cmake").resolve()
        build_dir.mkdir(parents=True, exist_ok=True)
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DULVEX_BUILD_PYTHON=ON",
            "-DULVEX_BUILD_TESTS=OFF",
            "-DULVEX_BUILD_TOOLS=OFF",
            "-DULVEX_BUILD_EXAMPLES=OFF",
            # The interpreter running this build is the one the module is for.
            "-DPYTHON_EXECUTABLE=" + sys.executable,
            "-DPython_EXECUTABLE=" + sys.executable,
        ]
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        try:  # pybind11 from the Python registry (an isolated build) brings its CMake files
            import pybind11

            configure.append("-Dpybind11_DIR=" + pybind11.get_cmake_dir())
        except ImportError:  # Debian's pybind11-dev puts them where CMake looks anyway
            pass
        jobs = os.environ.get("ULVEX_BUILD_JOBS", "2")
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "ulvex_python", "-j", jobs], check=True)

        built = build_dir / "python" / "ulvex"
        modules = sorted(built.glob("_ulvex*.so"))
        if len(modules) != 1:
            raise RuntimeError("expected one built module in %s, found %s" % (built, modules))
        dest = Path(self.get_ext_fullpath(ext.name))
        dest.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(modules[0], dest)
        shutil.copyfile(built / "libulvex.so.0", dest.parent / "libulvex.so.0")


setup(
    version=project_version(),
    ext_modules=[Extension("ulvex._ulvex", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
