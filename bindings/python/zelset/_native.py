"""What the package carries: the zelset library and the `zelset` command, found and loaded.

An installed package holds both beside its modules. $ZELSET_LIBRARY and $ZELSET_COMMAND
name others (a build tree's, for instance); without either, the system's search for the
plain name is the last resort.
"""
import ctypes
import os
import pathlib
import shutil
import sys
from ctypes import POINTER, c_char_p, c_float, c_int32, c_uint8, c_uint32, c_uint64, c_void_p
from typing import Callable, Optional, Union

from . import _records as R

# A file name as the package's functions take it.
PathLike = Union[str, bytes, os.PathLike]

_HERE = pathlib.Path(__file__).resolve().parent
_LIBRARY_NAMES = {"win32": "zelset.dll", "darwin": "libzelset.dylib"}
LIBRARY_NAME = _LIBRARY_NAMES.get(sys.platform, "libzelset.so")
COMMAND_NAME = "zelset.exe" if sys.platform == "win32" else "zelset"


def library_path() -> str:
    """$ZELSET_LIBRARY, else the library beside this module, else its plain name."""
    beside = _HERE / LIBRARY_NAME
    return os.environ.get("ZELSET_LIBRARY") or (str(beside) if beside.exists() else LIBRARY_NAME)


def command_path() -> Optional[str]:
    """$ZELSET_COMMAND, else the command beside this module, else `zelset` on the PATH."""
    beside = _HERE / COMMAND_NAME
    return os.environ.get("ZELSET_COMMAND") or (str(beside) if beside.exists() else shutil.which("zelset"))


_SIGNATURES = {
    "zelset_create": (c_int32, [POINTER(R.Unit), c_uint32, POINTER(c_uint64), POINTER(c_uint64), POINTER(c_uint64),
                                POINTER(c_uint8)]),
    "zelset_load": (c_int32, [c_char_p, POINTER(R.Unit)]),
    "zelset_save": (c_int32, [c_char_p, POINTER(R.Unit)]),
    "zelset_free": (None, [POINTER(R.Unit)]),
    "zelset_lookup_morton": (c_int32, [POINTER(R.Unit), c_uint64]),
    "zelset_lookup_hex": (c_int32, [POINTER(R.Unit), c_char_p]),
    "zelset_lookup_morton_many": (c_uint32, [POINTER(R.Unit), POINTER(c_uint64), c_uint32, POINTER(c_int32)]),
    "zelset_lookup_hex_many": (c_uint32, [POINTER(R.Unit), POINTER(c_uint64), c_uint32, POINTER(c_int32)]),
    "zelset_query_nearest": (c_int32, [POINTER(R.Unit), c_uint64, c_int32, POINTER(c_uint32), POINTER(c_uint64)]),
    "zelset_query_layer": (c_int32, [POINTER(R.Unit), c_uint8, POINTER(c_uint32), c_int32]),
    "ogawa_open": (c_int32, [c_char_p, POINTER(R.Archive)]),
    "ogawa_close": (None, [POINTER(R.Archive)]),
    "ogawa_get_info": (None, [POINTER(R.Archive), c_char_p, c_int32]),
    "ogawa_read_polymesh": (c_int32, [POINTER(R.Archive), POINTER(R.Object), c_uint32, POINTER(R.Polymesh)]),
    "ogawa_free_polymesh": (None, [POINTER(R.Polymesh)]),
    "ogawa_read_normals": (c_int32, [POINTER(R.Archive), POINTER(R.Object), c_uint32, POINTER(POINTER(c_float)),
                                     POINTER(POINTER(c_uint32)), POINTER(c_uint32), POINTER(c_uint32)]),
    "ogawa_read_uvs": (c_int32, [POINTER(R.Archive), POINTER(R.Object), c_uint32, c_uint32, POINTER(R.UvSet)]),
    "ogawa_free_uv_set": (None, [POINTER(R.UvSet)]),
    "ogawa_schema_to_string": (c_char_p, [c_uint32]),
    "ogawa_archive_state": (c_int32, [POINTER(R.Archive)]),
    "ogawa_archive_problem": (c_char_p, [POINTER(R.Archive)]),
    "ogawa_object_count": (c_uint32, [POINTER(R.Archive)]),
    "ogawa_get_object": (c_int32, [POINTER(R.Archive), c_uint32, POINTER(R.ObjectInfo)]),
    "ogawa_find_object": (c_int32, [POINTER(R.Archive), c_char_p]),
    "ogawa_object_samples": (c_uint32, [POINTER(R.Archive), c_uint32]),
    "ogawa_archive_metadata": (c_char_p, [POINTER(R.Archive)]),
    "ogawa_time_sampling_count": (c_uint32, [POINTER(R.Archive)]),
    "ogawa_get_time_sampling": (c_int32, [POINTER(R.Archive), c_uint32, POINTER(R.TimeSamplingInfo)]),
    "ogawa_decode_properties": (c_int32, [POINTER(R.Archive), c_uint32]),
    "ogawa_property_count": (c_uint32, [POINTER(R.Archive), c_uint32]),
    "ogawa_get_property": (c_int32, [POINTER(R.Archive), c_uint32, c_uint32, POINTER(R.PropertyInfo)]),
    "zel_alembic_load_raw": (c_int32, [POINTER(c_float), c_uint32, POINTER(c_uint32), c_uint32, c_char_p,
                                       POINTER(R.AlembicMesh)]),
    "zel_alembic_export_zel": (c_int32, [POINTER(R.AlembicMesh), c_char_p]),
    "zel_alembic_mesh_info": (None, [POINTER(R.AlembicMesh), c_char_p, c_int32]),
    "zel_alembic_mesh_free": (None, [POINTER(R.AlembicMesh)]),
}


def load(path: str) -> ctypes.CDLL:
    """The library at path, with the functions the package calls declared."""
    lib = ctypes.CDLL(path)
    for name, (result, arguments) in _SIGNATURES.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


def release_function(lib: ctypes.CDLL) -> Callable[[c_void_p], None]:
    """What releases arrays the library hands out: its own zel_release, else the C runtime's free."""
    free = getattr(lib, "zel_release", None) or (ctypes.cdll.msvcrt.free if sys.platform == "win32"
                                                 else ctypes.CDLL(None).free)
    free.argtypes = [c_void_p]
    free.restype = None
    return free
