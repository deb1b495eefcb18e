"""The Python host's read of a 1,000,000-vertex mesh against the C read of the same mesh.

C read: ogawa_open + ogawa_get_first_polymesh + ogawa_close, called through ctypes (the
calls' own time; nothing is copied into Python). Python read: zelset.Archive(path).mesh(),
every array copied once into numpy (or array.array with ZELSET_NO_NUMPY) and the library's
released. Target: the Python read takes less than twice the C read's time.

    python3 bench/python_read.py BUILD_FOLDER     (after building write_terrain and zelset)
"""
import ctypes
import os
import pathlib
import subprocess
import sys
import tempfile
import time

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build")
os.environ.setdefault("ZELSET_LIBRARY", str(build / "lib" / "libzelset.so"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "bindings" / "python"))
import zelset  # noqa: E402
from zelset import _records  # noqa: E402


def best_of(rounds, read):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        read()
        times.append(time.perf_counter() - start)
    return min(times)


with tempfile.TemporaryDirectory() as folder:
    archive_path = os.path.join(folder, "terrain.abc")
    subprocess.run([str(build / "bin" / "write_terrain"), archive_path], check=True)
    library = zelset.default_library()
    L = library._lib

    def c_read():
        archive = _records.Archive()
        if L.ogawa_open(archive_path.encode(), ctypes.byref(archive)) != 0:
            raise RuntimeError("ogawa_open")
        if not L.ogawa_get_first_polymesh(ctypes.byref(archive)):
            raise RuntimeError("ogawa_get_first_polymesh")
        L.ogawa_close(ctypes.byref(archive))

    def python_read():
        with zelset.Archive(archive_path) as archive:
            mesh = archive.mesh()
        assert len(mesh.face_indices) == 4 * 999 * 999

    L.ogawa_get_first_polymesh.restype = ctypes.c_void_p
    c_read(), python_read()  # warm the cache
    c_seconds, python_seconds = best_of(10, c_read), best_of(10, python_read)
    arrays = "numpy" if zelset._np is not None else "array.array"
    print(f"| python_read ({arrays}) | 1,000,000 vertices | C read {1e3 * c_seconds:.2f} ms, "
          f"Python read {1e3 * python_seconds:.2f} ms, python/C = {python_seconds / c_seconds:.2f} (target < 2) |")
