"""Python host for the zelset shared library, through ctypes (standard library only).

The road from an Alembic archive to a queried token unit in a few calls:

    import zelset
    lib = zelset.Library()                      # or Library("/path/to/libzelset.so")
    mesh = lib.read_first_mesh("pentagons.abc") # positions, face counts, face indices
    tokens = lib.tokenize(mesh.positions, mesh.triangles(), name="pentagons")
    tokens.export("pentagons.zel")              # a unit file
    with lib.load_unit("pentagons.zel") as unit:
        unit.lookup_morton(tokens.tokens[0].morton)
        unit.lookup_morton_many([t.morton for t in tokens.tokens])  # array('i'), -1 where absent
        unit.nearest(target=1234, k=8)          # [(position, distance), ...]

Records are declared field by field as the C headers lay them out; every array the
library hands out is copied into Python objects and released before a call returns,
except for units and token meshes, which are released by close() (or a with block).
"""

import array
import ctypes
import os
import pathlib
import sys
from ctypes import POINTER, c_char, c_char_p, c_double, c_float, c_int32, c_uint8, c_uint32, c_uint64, c_void_p
from typing import List, NamedTuple, Optional, Sequence, Tuple

__all__ = ["Library", "Token", "Mesh", "TokenMesh", "Unit", "ZelsetError"]


class ZelsetError(RuntimeError):
    """A library call returned a failure status."""

    def __init__(self, function: str, status: int):
        super().__init__(f"{function} failed with status {status}")
        self.function = function
        self.status = status


# ---- Records (layouts as in the public headers) --------------------------------------


class _Token(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("morton", c_uint64), ("hex_id", c_char * 8), ("signature", c_uint64), ("layer", c_uint8)]


class _Unit(ctypes.Structure):
    _fields_ = [
        ("version", c_uint32), ("count", c_uint32), ("reserved", c_uint32),
        ("tokens", POINTER(_Token)), ("morton_index", c_void_p), ("hex_index", c_void_p),
        ("order", POINTER(c_uint32)),
    ]


class _UvSet(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 64), ("uvs", POINTER(c_float)), ("uv_count", c_uint32),
        ("indices", POINTER(c_uint32)), ("index_count", c_uint32), ("scope", c_uint32),
    ]


class _TangentFrame(ctypes.Structure):
    _fields_ = [("tangents", POINTER(c_float)), ("bitangents", POINTER(c_float)),
                ("count", c_uint32), ("scope", c_uint32)]


class _Manifold(ctypes.Structure):
    _fields_ = [
        ("vertex_faces", POINTER(c_uint32)), ("vertex_face_offsets", POINTER(c_uint32)),
        ("vertex_count", c_uint32), ("face_indices", POINTER(c_uint32)),
        ("face_offsets", POINTER(c_uint32)), ("face_count", c_uint32), ("spare0", c_void_p),
        ("spare_word", c_uint64), ("spare1", c_void_p), ("spare2", c_void_p),
    ]


class _Bounds(ctypes.Structure):
    _fields_ = [("min", c_float * 3), ("max", c_float * 3)]


class _Polymesh(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 256), ("path", c_char * 1024),
        ("positions", POINTER(c_float)), ("position_count", c_uint32),
        ("aux_vectors", POINTER(c_float)), ("aux_vector_count", c_uint32),
        ("normals", POINTER(c_float)), ("normal_count", c_uint32),
        ("normal_indices", POINTER(c_uint32)), ("normal_scope", c_uint32),
        ("face_counts", POINTER(c_uint32)), ("face_count", c_uint32),
        ("face_indices", POINTER(c_uint32)), ("face_index_count", c_uint32),
        ("uv_sets", POINTER(_UvSet)), ("uv_set_count", c_uint32),
        ("tangent_frame", _TangentFrame), ("manifold", _Manifold),
        ("bounds", _Bounds), ("initial_bounds", _Bounds),
        ("reserved0", c_uint64), ("reserved1", c_uint32), ("sample_count", c_uint32),
        ("sample_times", POINTER(c_double)), ("transform", c_double * 16),
    ]


class _Object(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 256), ("path", c_char * 1024), ("schema", c_uint32), ("reserved0", c_uint32),
        ("polymesh", POINTER(_Polymesh)), ("aux_record", c_void_p), ("reserved1", c_void_p),
        ("children", c_void_p), ("child_count", c_uint32),
    ]


class _Archive(ctypes.Structure):
    _fields_ = [
        ("path", c_char * 1024), ("file", c_void_p), ("version_major", c_uint8), ("version_minor", c_uint8),
        ("reserved", c_uint64), ("objects", c_void_p), ("object_count", c_uint32),
        ("polymeshes", c_void_p), ("polymesh_count", c_uint32),
        ("start_time", c_double), ("end_time", c_double), ("fps", c_double), ("root", _Object),
    ]


class _AlembicVertex(ctypes.Structure):
    _fields_ = [
        ("position", c_float * 3), ("matrix", c_uint8 * 3), ("padding0", c_uint8), ("morton", c_uint64),
        ("k11_level", ctypes.c_int8), ("i_state", c_uint8), ("padding1", c_uint8 * 2),
        ("phi_norm", c_float), ("em_coupling", c_float), ("topology_hash", c_uint32),
    ]


class _TokenSlot(ctypes.Structure):
    _fields_ = [("token", _Token), ("padding", c_uint8 * 7)]


class _AlembicMesh(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 64), ("vertex_count", c_uint32), ("face_count", c_uint32),
        ("positions", POINTER(c_float)), ("faces", POINTER(c_uint32)), ("bounds", c_float * 6),
        ("reserved", c_uint32), ("vertices", POINTER(_AlembicVertex)), ("tokens", POINTER(_TokenSlot)),
        ("layer", c_uint8),
    ]


_RECORD_SIZES = {_Token: 25, _Unit: 48, _Polymesh: 1696, _Archive: 2432, _AlembicVertex: 40,
                 _TokenSlot: 32, _AlembicMesh: 144}
for _record, _size in _RECORD_SIZES.items():
    assert ctypes.sizeof(_record) == _size, (_record.__name__, ctypes.sizeof(_record))


# ---- Values handed to Python ----------------------------------------------------------


class Token(NamedTuple):
    morton: int
    hex_id: str
    signature: int
    layer: int


def _token(t: _Token) -> Token:
    return Token(t.morton, bytes(t.hex_id).rstrip(b"\0").decode("ascii", "replace"), t.signature, t.layer)


class Mesh(NamedTuple):
    """A polygon mesh as the archive reader found it."""
    name: str
    positions: List[Tuple[float, float, float]]
    face_counts: List[int]
    face_indices: List[int]
    normals: List[Tuple[float, float, float]]

    def triangles(self) -> List[Tuple[int, int, int]]:
        """Fan triangulation of every face from its first corner (faces of fewer than 3
        corners give none); without face counts the indices are taken three at a time."""
        counts = self.face_counts or [3] * (len(self.face_indices) // 3)
        out, cursor = [], 0
        for n in counts:
            corners = self.face_indices[cursor:cursor + n]
            cursor += n
            out += [(corners[0], corners[k + 1], corners[k + 2]) for k in range(len(corners) - 2)]
        return out


def _id_bytes(hex_id: str) -> bytes:
    """The 8 bytes of an id as tokens hold it: up to 8 characters, NUL-padded."""
    return hex_id.encode("ascii")[:8].ljust(8, b"\0")


def _triples(array, count: int) -> List[Tuple[float, float, float]]:
    if not array or count == 0:
        return []
    flat = array[:3 * count]
    return [tuple(flat[3 * i:3 * i + 3]) for i in range(count)]


def _default_library_path() -> pathlib.Path:
    names = {"win32": "zelset.dll", "darwin": "libzelset.dylib"}
    name = names.get(sys.platform, "libzelset.so")
    here = pathlib.Path(__file__).resolve().parent
    for folder in (here, here.parents[1] / "build" / "lib", here.parents[1] / "build" / "bin"):
        if (folder / name).exists():
            return folder / name
    return pathlib.Path(name)  # left to the system's search


class Library:
    """The loaded zelset library. `path` defaults to $ZELSET_LIBRARY, then to the build tree."""

    def __init__(self, path: Optional[os.PathLike] = None):
        path = path or os.environ.get("ZELSET_LIBRARY") or _default_library_path()
        self._lib = ctypes.CDLL(str(path))
        self._declare()

    def _declare(self):
        L = self._lib
        signatures = {
            "zelset_create": (c_int32, [POINTER(_Unit), c_uint32, POINTER(c_uint64), POINTER(c_uint64),
                                        POINTER(c_uint64), POINTER(c_uint8)]),
            "zelset_load": (c_int32, [c_char_p, POINTER(_Unit)]),
            "zelset_save": (c_int32, [c_char_p, POINTER(_Unit)]),
            "zelset_free": (None, [POINTER(_Unit)]),
            "zelset_lookup_morton": (c_int32, [POINTER(_Unit), c_uint64]),
            "zelset_lookup_hex": (c_int32, [POINTER(_Unit), c_char_p]),
            "zelset_lookup_morton_many": (c_uint32, [POINTER(_Unit), POINTER(c_uint64), c_uint32, POINTER(c_int32)]),
            "zelset_lookup_hex_many": (c_uint32, [POINTER(_Unit), POINTER(c_uint64), c_uint32, POINTER(c_int32)]),
            "zelset_query_nearest": (c_int32, [POINTER(_Unit), c_uint64, c_int32, POINTER(c_uint32),
                                               POINTER(c_uint64)]),
            "zelset_query_layer": (c_int32, [POINTER(_Unit), c_uint8, POINTER(c_uint32), c_int32]),
            "ogawa_open": (c_int32, [c_char_p, POINTER(_Archive)]),
            "ogawa_close": (None, [POINTER(_Archive)]),
            "ogawa_get_first_polymesh": (POINTER(_Polymesh), [POINTER(_Archive)]),
            "ogawa_get_info": (None, [POINTER(_Archive), c_char_p, c_int32]),
            "zel_alembic_load_raw": (c_int32, [POINTER(c_float), c_uint32, POINTER(c_uint32), c_uint32,
                                               c_char_p, POINTER(_AlembicMesh)]),
            "zel_alembic_export_zel": (c_int32, [POINTER(_AlembicMesh), c_char_p]),
            "zel_alembic_mesh_info": (None, [POINTER(_AlembicMesh), c_char_p, c_int32]),
            "zel_alembic_mesh_free": (None, [POINTER(_AlembicMesh)]),
        }
        for name, (result, arguments) in signatures.items():
            function = getattr(L, name)
            function.restype = result
            function.argtypes = arguments

    def _check(self, name: str, status: int):
        if status != 0:
            raise ZelsetError(name, status)

    # -- the archive reader

    def read_first_mesh(self, path: os.PathLike) -> Mesh:
        """The first polygon mesh of an Alembic (Ogawa) archive."""
        archive = _Archive()
        self._check("ogawa_open", self._lib.ogawa_open(os.fsencode(path), ctypes.byref(archive)))
        try:
            found = self._lib.ogawa_get_first_polymesh(ctypes.byref(archive))
            if not found:
                raise ZelsetError("ogawa_get_first_polymesh", -1)
            m = found.contents
            return Mesh(
                name=m.name.decode("utf-8", "replace"),
                positions=_triples(m.positions, m.position_count),
                face_counts=list(m.face_counts[:m.face_count]) if m.face_counts else [],
                face_indices=list(m.face_indices[:m.face_index_count]) if m.face_indices else [],
                normals=_triples(m.normals, m.normal_count),
            )
        finally:
            self._lib.ogawa_close(ctypes.byref(archive))  # also releases the cached mesh

    def archive_report(self, path: os.PathLike) -> str:
        archive = _Archive()
        self._check("ogawa_open", self._lib.ogawa_open(os.fsencode(path), ctypes.byref(archive)))
        try:
            self._lib.ogawa_get_first_polymesh(ctypes.byref(archive))
            buffer = ctypes.create_string_buffer(4096)
            self._lib.ogawa_get_info(ctypes.byref(archive), buffer, len(buffer))
            return buffer.value.decode("utf-8", "replace")
        finally:
            self._lib.ogawa_close(ctypes.byref(archive))

    # -- mesh to tokens

    def tokenize(self, positions: Sequence[Sequence[float]], triangles: Sequence[Sequence[int]],
                 name: str = "mesh") -> "TokenMesh":
        """Places every vertex on the 48-cubed lattice of the mesh's box and makes its token."""
        flat_positions = (c_float * (3 * len(positions)))(*[c for p in positions for c in p])
        flat_faces = (c_uint32 * (3 * len(triangles)))(*[i for t in triangles for i in t])
        mesh = _AlembicMesh()
        status = self._lib.zel_alembic_load_raw(flat_positions, len(positions), flat_faces, len(triangles),
                                                name.encode("utf-8"), ctypes.byref(mesh))
        self._check("zel_alembic_load_raw", status)
        return TokenMesh(self, mesh)

    # -- token units

    def create_unit(self, tokens: Sequence[Token]) -> "Unit":
        n = len(tokens)
        ids = [int.from_bytes(_id_bytes(t.hex_id), "little") for t in tokens]
        unit = _Unit()
        status = self._lib.zelset_create(ctypes.byref(unit), n, (c_uint64 * n)(*[t.morton for t in tokens]),
                                         (c_uint64 * n)(*ids), (c_uint64 * n)(*[t.signature for t in tokens]),
                                         (c_uint8 * n)(*[t.layer for t in tokens]))
        self._check("zelset_create", status)
        return Unit(self, unit)

    def load_unit(self, path: os.PathLike) -> "Unit":
        """A unit from a unit file: tokens sorted by key, both indexes built."""
        unit = _Unit()
        self._check("zelset_load", self._lib.zelset_load(os.fsencode(path), ctypes.byref(unit)))
        return Unit(self, unit)


class _Owned:
    """Something holding library memory, released by close() or at the end of a with block."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()


class TokenMesh(_Owned):
    """A processed mesh: one lattice record and one token per vertex."""

    def __init__(self, library: Library, mesh: _AlembicMesh):
        self._library, self._mesh = library, mesh
        self.tokens = [_token(mesh.tokens[i].token) for i in range(mesh.vertex_count)]
        self.lattice = [tuple(mesh.vertices[i].matrix) for i in range(mesh.vertex_count)]

    def report(self) -> str:
        buffer = ctypes.create_string_buffer(4096)
        self._library._lib.zel_alembic_mesh_info(ctypes.byref(self._mesh), buffer, len(buffer))
        return buffer.value.decode("utf-8", "replace")

    def export(self, path: os.PathLike):
        """Writes the tokens as a unit file."""
        status = self._library._lib.zel_alembic_export_zel(ctypes.byref(self._mesh), os.fsencode(path))
        self._library._check("zel_alembic_export_zel", status)

    def close(self):
        if getattr(self, "_mesh", None) is not None:
            self._library._lib.zel_alembic_mesh_free(ctypes.byref(self._mesh))
            self._mesh = None


class Unit(_Owned):
    """A token unit with its two hash indexes."""

    def __init__(self, library: Library, unit: _Unit):
        self._library, self._unit = library, unit

    def __len__(self) -> int:
        return self._unit.count

    def __getitem__(self, position: int) -> Token:
        if not 0 <= position < self._unit.count:
            raise IndexError(position)
        return _token(self._unit.tokens[position])

    def _position(self, found: int) -> Optional[int]:
        return None if found < 0 else found

    def lookup_morton(self, key: int) -> Optional[int]:
        """Position of a token with this key, or None."""
        return self._position(self._library._lib.zelset_lookup_morton(ctypes.byref(self._unit), key))

    def lookup_hex(self, hex_id: str) -> Optional[int]:
        """Position of a token with this id (up to 8 characters, NUL-padded), or None."""
        return self._position(self._library._lib.zelset_lookup_hex(ctypes.byref(self._unit), _id_bytes(hex_id)))

    def lookup_morton_many(self, keys: Sequence[int]) -> array.array:
        """Positions of many keys in one call, in input order: array('i'), -1 where absent."""
        return self._many(self._library._lib.zelset_lookup_morton_many, array.array("Q", keys))

    def lookup_hex_many(self, hex_ids: Sequence[str]) -> array.array:
        """Positions of many ids in one call, in input order: array('i'), -1 where absent."""
        words = array.array("Q")
        words.frombytes(b"".join(_id_bytes(hex_id) for hex_id in hex_ids))  # each id's bytes in memory order
        return self._many(self._library._lib.zelset_lookup_hex_many, words)

    def _many(self, function, words: array.array) -> array.array:
        n = len(words)
        positions = array.array("i", bytes(4 * n))
        if n:
            function(ctypes.byref(self._unit), (c_uint64 * n).from_buffer(words), n,
                     (c_int32 * n).from_buffer(positions))
        return positions

    def nearest(self, target: int, k: int) -> List[Tuple[int, int]]:
        """Up to k (position, hop distance) pairs closest to target in key order."""
        if k < 1:
            return []
        n = min(k, self._unit.count)
        indices, distances = (c_uint32 * n)(), (c_uint64 * n)()
        found = self._library._lib.zelset_query_nearest(ctypes.byref(self._unit), target, k, indices, distances)
        return [(indices[i], distances[i]) for i in range(found)]

    def layer(self, layer: int) -> List[int]:
        """Positions of every token of a layer, ascending."""
        n = self._unit.count
        out = (c_uint32 * max(n, 1))()
        found = self._library._lib.zelset_query_layer(ctypes.byref(self._unit), layer, out, n)
        return list(out[:found])

    def save(self, path: os.PathLike):
        self._library._check("zelset_save", self._library._lib.zelset_save(os.fsencode(path), ctypes.byref(self._unit)))

    def close(self):
        if getattr(self, "_unit", None) is not None:
            self._library._lib.zelset_free(ctypes.byref(self._unit))
            self._unit = None
