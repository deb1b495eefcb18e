"""Builds the zelset package with the project's CMake: the library and the zelset command,
placed beside the modules. pip runs it from a checkout:

    pip install --no-build-isolation bindings/python

CMake's build folder and setuptools' own folders are temporary, so the checkout is left
as it was. CMAKE_GENERATOR and CMAKE_BUILD_PARALLEL_LEVEL are honoured as CMake honours them.
"""
import atexit
import os
import pathlib
import shutil
import subprocess
import tempfile

from setuptools import setup
from setuptools.command.build_py import build_py
from wheel.bdist_wheel import bdist_wheel

SOURCE = pathlib.Path(__file__).resolve().parents[2]
SCRATCH = pathlib.Path(tempfile.mkdtemp(prefix="zelset-package-"))
atexit.register(shutil.rmtree, SCRATCH, ignore_errors=True)

# Only the library and the command, in the layout the package needs.
CONFIGURE = ["-DCMAKE_BUILD_TYPE=Release", "-DZEL_PYTHON_PACKAGE=ON", "-DZEL_BUILD_TOOLS=ON", "-DZEL_BUILD_TESTS=OFF",
             "-DZEL_BUILD_EXAMPLES=OFF", "-DZEL_BUILD_BENCH=OFF", "-DZEL_BUILD_FUZZ=OFF"]


def cmake(*arguments) -> None:
    subprocess.run(["cmake", *map(str, arguments)], check=True)


class BuildWithLibrary(build_py):
    """build_py, then the library and the command built by CMake into the package folder."""

    def run(self) -> None:
        super().run()
        if not (SOURCE / "include" / "zelset.h").exists():
            raise SystemExit(f"zelset builds from a checkout: {SOURCE} holds no zelset sources")
        build, stage = SCRATCH / "cmake", SCRATCH / "stage"
        generator = ["-G", "Ninja"] if shutil.which("ninja") and "CMAKE_GENERATOR" not in os.environ else []
        cmake("-S", SOURCE, "-B", build, *generator, *CONFIGURE)
        parallel = [] if "CMAKE_BUILD_PARALLEL_LEVEL" in os.environ else ["--parallel", os.cpu_count() or 1]
        cmake("--build", build, "--target", "zelset", "zelset_cli", *parallel)
        cmake("--install", build, "--component", "python_package", "--prefix", stage)
        package = pathlib.Path(self.build_lib) / "zelset"
        for built in (stage / "zelset").iterdir():  # libzelset.so and zelset, or zelset.dll and zelset.exe
            shutil.copy2(built, package / built.name)


class PlatformWheel(bdist_wheel):
    """A wheel of one platform (it holds native code) for any Python 3 (through ctypes)."""

    def finalize_options(self) -> None:
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):
        return "py3", "none", super().get_tag()[2]


setup(cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel},
      options={"build": {"build_base": str(SCRATCH / "build")}, "egg_info": {"egg_base": str(SCRATCH)}})
