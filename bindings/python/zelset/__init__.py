"""Python host for the zelset shared library, through ctypes.

Scenes and arrays in a few calls:

    import zelset
    with zelset.Archive("scene.abc") as archive:
        for obj in archive.objects:            # the tree: path, name, schema, children
            print(obj.path, obj.schema)
        mesh = archive.mesh("/pCube1/pCubeShape1", sample=3)
        mesh.positions, mesh.face_indices, mesh.transform, mesh.sample_times
        tokens = zelset.default_library().tokenize(mesh.positions, mesh.triangles())
    tokens.export("cube.zel")
    with zelset.default_library().load_unit("cube.zel") as unit:
        unit.lookup_morton_many(keys)           # positions, -1 where absent

Arrays come back as numpy arrays when numpy can be imported (positions and
normals n x 3, texture coordinates n x 2, the transform 4 x 4), and as flat
array.array otherwise; setting ZELSET_NO_NUMPY in the environment before the
import chooses array.array even where numpy exists. Every array is copied once
from the library's own, which is released before the call returns. The
functions that take arrays (tokenize, create_unit, the bulk lookups) take
numpy arrays, array.array or any sequence, without turning arrays into lists.

The library is found through $ZELSET_LIBRARY, else beside this module, else by
the system's search for its plain name (libzelset.so, zelset.dll).

Units and token meshes hold library memory until close() (or the end of a
with block); an Archive holds its open file the same way. Failures raise
ZelsetError with the function and its status.
"""

import array
import ctypes
import os
import pathlib
import sys
from ctypes import POINTER, c_char, c_char_p, c_double, c_float, c_int32, c_uint8, c_uint32, c_uint64, c_void_p
from typing import Any, List, NamedTuple, Optional, Sequence, Tuple

__all__ = ["Archive", "ArchiveObject", "Library", "Mesh", "Token", "TokenMesh", "Unit", "UvSet", "ZelsetError",
           "default_library"]


def _load_numpy():
    if os.environ.get("ZELSET_NO_NUMPY"):
        return None
    try:
        import numpy
    except ImportError:
        return None
    return numpy


_np = _load_numpy()


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


# ---- Arrays in and out -------------------------------------------------------------------

# array.array typecode and numpy type of each C value type.
_KINDS = {c_float: ("f", "float32"), c_double: ("d", "float64"), c_uint32: ("I", "uint32"),
          c_int32: ("i", "int32"), c_uint64: ("Q", "uint64"), c_uint8: ("B", "uint8")}


def _copy_out(pointer, rows: int, ctype, columns: int = 1):
    """rows x columns values of library memory, copied once into a new array."""
    typecode, dtype = _KINDS[ctype]
    count = rows * columns if pointer else 0
    nbytes = count * ctypes.sizeof(ctype)
    if _np is not None:
        out = _np.empty((count // columns, columns) if columns > 1 else (count,), dtype=dtype)
        address = out.ctypes.data
    else:
        out = array.array(typecode, [0]) * count  # sized in one pass, then filled
        address = out.buffer_info()[0]
    if nbytes:
        ctypes.memmove(address, pointer, nbytes)
    return out


class _Input(NamedTuple):
    pointer: Any  # what the C function takes; None for no values
    count: int    # values / columns
    keep: Any     # the object that owns the memory, alive while the call runs


def _copy_in(values, ctype, columns: int = 1) -> _Input:
    """Values for a C array of ctype: numpy arrays and array.array of the same type are
    passed as they lie in memory; anything else is packed once."""
    typecode, dtype = _KINDS[ctype]
    if _np is not None and isinstance(values, _np.ndarray):
        flat = _np.ascontiguousarray(values, dtype=dtype).reshape(-1)
        return _Input(flat.ctypes.data_as(POINTER(ctype)) if flat.size else None, flat.size // columns, flat)
    if not (isinstance(values, array.array) and values.typecode == typecode):
        flat = [v for row in values for v in row] if columns > 1 and len(values) and not _is_number(values[0]) \
            else list(values)
        values = array.array(typecode, flat)
    n = len(values)
    return _Input((ctype * n).from_buffer(values) if n else None, n // columns, values)


def _is_number(value) -> bool:
    return isinstance(value, (int, float)) or (_np is not None and isinstance(value, _np.generic))


# ---- Values handed to Python ----------------------------------------------------------


class Token(NamedTuple):
    morton: int
    hex_id: str
    signature: int
    layer: int


def _token(t: _Token) -> Token:
    return Token(t.morton, bytes(t.hex_id).rstrip(b"\0").decode("ascii", "replace"), t.signature, t.layer)


class Mesh(NamedTuple):
    """One sample of a polygon mesh, as the archive holds it. positions and normals are
    n x 3 (flat without numpy), transform the 4 x 4 world matrix at the sample's time
    (row-major, points as row vectors), sample_times the times of all the mesh's samples."""
    name: str
    path: str
    positions: Any
    face_counts: Any
    face_indices: Any
    normals: Any
    normal_scope: int
    sample_count: int
    sample_times: Any
    transform: Any

    def triangles(self):
        """Fan triangulation of every face from its first corner (faces of fewer than 3
        corners give none): t x 3 indices (flat without numpy)."""
        return _fan(self.face_counts, self.face_indices)


class UvSet(NamedTuple):
    """A texture-coordinate set: uvs (n x 2, flat without numpy), indices as stored (empty
    when the set is not indexed), scope 3 per vertex or 4 per face corner."""
    name: str
    uvs: Any
    indices: Any
    scope: int


class ArchiveObject(NamedTuple):
    path: str
    name: str
    schema: str  # "PolyMesh", "Xform", "SubD", "Camera", ... or "Unknown"
    children: Tuple["ArchiveObject", ...]


def _fan(face_counts, face_indices):
    if _np is not None:
        counts = _np.asarray(face_counts, dtype=_np.int64)
        indices = _np.asarray(face_indices, dtype=_np.uint32)
        starts = _np.cumsum(counts) - counts
        fans = _np.maximum(counts - 2, 0)
        first = _np.repeat(starts, fans)
        step = _np.arange(int(fans.sum())) - _np.repeat(_np.cumsum(fans) - fans, fans)
        return _np.stack([indices[first], indices[first + step + 1], indices[first + step + 2]], axis=1)
    out, cursor = array.array("I"), 0
    for n in face_counts:
        for k in range(n - 2):
            out.extend((face_indices[cursor], face_indices[cursor + k + 1], face_indices[cursor + k + 2]))
        cursor += n
    return out


def _id_bytes(hex_id: str) -> bytes:
    """The 8 bytes of an id as tokens hold it: up to 8 characters, NUL-padded."""
    return hex_id.encode("ascii")[:8].ljust(8, b"\0")


def _id_words(ids) -> Any:
    """Ids as 8-byte words: strings are packed, u64 words pass as they are."""
    if ids and isinstance(ids[0], str):
        words = array.array("Q")
        words.frombytes(b"".join(_id_bytes(i) for i in ids))  # each id's bytes in memory order
        return words
    return ids


def _library_path() -> str:
    names = {"win32": "zelset.dll", "darwin": "libzelset.dylib"}
    name = names.get(sys.platform, "libzelset.so")
    beside = pathlib.Path(__file__).resolve().parent / name
    return os.environ.get("ZELSET_LIBRARY") or (str(beside) if beside.exists() else name)


_default = None


def default_library() -> "Library":
    """The library found as the module's docstring says, loaded once."""
    global _default
    if _default is None:
        _default = Library()
    return _default


class Library:
    """The loaded zelset library: `path`, else as the module's docstring says."""

    def __init__(self, path: Optional[os.PathLike] = None):
        self._lib = ctypes.CDLL(str(path or _library_path()))
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
            "ogawa_get_info": (None, [POINTER(_Archive), c_char_p, c_int32]),
            "ogawa_read_polymesh": (c_int32, [POINTER(_Archive), POINTER(_Object), c_uint32, POINTER(_Polymesh)]),
            "ogawa_free_polymesh": (None, [POINTER(_Polymesh)]),
            "ogawa_read_normals": (c_int32, [POINTER(_Archive), POINTER(_Object), c_uint32, POINTER(POINTER(c_float)),
                                             POINTER(POINTER(c_uint32)), POINTER(c_uint32), POINTER(c_uint32)]),
            "ogawa_read_uvs": (c_int32, [POINTER(_Archive), POINTER(_Object), c_uint32, c_uint32, POINTER(_UvSet)]),
            "ogawa_free_uv_set": (None, [POINTER(_UvSet)]),
            "ogawa_schema_to_string": (c_char_p, [c_uint32]),
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
        # Arrays handed out are released in the library's own runtime.
        self._free = getattr(L, "zel_release", None) or (ctypes.cdll.msvcrt.free if sys.platform == "win32"
                                                         else ctypes.CDLL(None).free)
        self._free.argtypes = [c_void_p]
        self._free.restype = None

    def _check(self, name: str, status: int):
        if status != 0:
            raise ZelsetError(name, status)

    # -- the archive reader

    def read_first_mesh(self, path: os.PathLike) -> Mesh:
        """The first polygon mesh of an Alembic (Ogawa) archive, sample 0."""
        with Archive(path, self) as archive:
            return archive.mesh()

    def archive_report(self, path: os.PathLike) -> str:
        with Archive(path, self) as archive:
            return archive.report()

    # -- mesh to tokens

    def tokenize(self, positions, triangles, name: str = "mesh") -> "TokenMesh":
        """Places every vertex on the 48-cubed lattice of the mesh's box and makes its token.
        positions: n x 3 floats; triangles: t x 3 vertex indices."""
        p = _copy_in(positions, c_float, 3)
        t = _copy_in(triangles, c_uint32, 3)
        mesh = _AlembicMesh()
        status = self._lib.zel_alembic_load_raw(p.pointer, p.count, t.pointer, t.count, name.encode("utf-8"),
                                                ctypes.byref(mesh))
        self._check("zel_alembic_load_raw", status)
        return TokenMesh(self, mesh)

    # -- token units

    def create_unit(self, tokens: Optional[Sequence[Token]] = None, *, keys=None, ids=None, signatures=None,
                    layers=None) -> "Unit":
        """A unit from Token records, or from four arrays of one length: keys, ids (8-byte
        words, first character lowest, or strings), signatures (u64) and layers (u8)."""
        if tokens is not None:
            keys = array.array("Q", [t.morton for t in tokens])
            ids = [t.hex_id for t in tokens]
            signatures = array.array("Q", [t.signature for t in tokens])
            layers = array.array("B", [t.layer for t in tokens])
        k, i = _copy_in(keys, c_uint64), _copy_in(_id_words(ids), c_uint64)
        s, l = _copy_in(signatures, c_uint64), _copy_in(layers, c_uint8)
        if not k.count == i.count == s.count == l.count:
            raise ValueError("keys, ids, signatures and layers differ in length")
        unit = _Unit()
        self._check("zelset_create", self._lib.zelset_create(ctypes.byref(unit), k.count, k.pointer, i.pointer,
                                                             s.pointer, l.pointer))
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


class Archive(_Owned):
    """An open Alembic archive. objects is its tree; mesh, normals and uvs read any mesh
    by its full path (None: the first mesh that holds positions) at any sample."""

    def __init__(self, path: os.PathLike, library: Optional[Library] = None):
        self._library = library or default_library()
        self._archive = _Archive()
        self._check("ogawa_open", self._library._lib.ogawa_open(os.fsencode(path), ctypes.byref(self._archive)))
        self.described = self._archive.reserved != 0
        self.start_time, self.end_time, self.fps = self._archive.start_time, self._archive.end_time, self._archive.fps
        self.objects = self._tree(self._archive.objects, self._archive.object_count)

    def _check(self, name: str, status: int):
        self._library._check(name, status)

    def _tree(self, objects, count: int) -> Tuple[ArchiveObject, ...]:
        records = ctypes.cast(objects, POINTER(POINTER(_Object)))
        out = []
        for i in range(count):
            o = records[i].contents
            schema = self._library._lib.ogawa_schema_to_string(o.schema).decode("ascii")
            out.append(ArchiveObject(o.path.decode("utf-8", "replace"), o.name.decode("utf-8", "replace"), schema,
                                     self._tree(o.children, o.child_count)))
        return tuple(out)

    def _object(self, path: Optional[str]):
        if path is None:
            return None
        record = _Object()
        record.path = os.fsencode(path)[:1023]
        return ctypes.byref(record)

    def report(self) -> str:
        buffer = ctypes.create_string_buffer(4096)
        self._library._lib.ogawa_get_info(ctypes.byref(self._archive), buffer, len(buffer))
        return buffer.value.decode("utf-8", "replace")

    def mesh(self, path: Optional[str] = None, sample: int = 0) -> Mesh:
        m = _Polymesh()
        L = self._library._lib
        self._check("ogawa_read_polymesh", L.ogawa_read_polymesh(ctypes.byref(self._archive), self._object(path),
                                                                 sample, ctypes.byref(m)))
        try:
            return Mesh(name=m.name.decode("utf-8", "replace"), path=m.path.decode("utf-8", "replace"),
                        positions=_copy_out(m.positions, m.position_count, c_float, 3),
                        face_counts=_copy_out(m.face_counts, m.face_count, c_uint32),
                        face_indices=_copy_out(m.face_indices, m.face_index_count, c_uint32),
                        normals=_copy_out(m.normals, m.normal_count, c_float, 3), normal_scope=m.normal_scope,
                        sample_count=m.sample_count,
                        sample_times=_copy_out(m.sample_times, m.sample_count, c_double),
                        transform=_copy_out(m.transform, 4, c_double, 4))
        finally:
            L.ogawa_free_polymesh(ctypes.byref(m))

    def normals(self, path: Optional[str] = None, sample: int = 0) -> Tuple[Any, int]:
        """The mesh's normals (n x 3) and their scope, 3 per vertex or 4 per face corner."""
        values, indices, count, scope = POINTER(c_float)(), POINTER(c_uint32)(), c_uint32(), c_uint32()
        status = self._library._lib.ogawa_read_normals(ctypes.byref(self._archive), self._object(path), sample,
                                                       ctypes.byref(values), ctypes.byref(indices),
                                                       ctypes.byref(count), ctypes.byref(scope))
        self._check("ogawa_read_normals", status)
        try:
            return _copy_out(values, count.value, c_float, 3), scope.value
        finally:
            self._library._free(ctypes.cast(values, c_void_p))

    def uvs(self, path: Optional[str] = None, sample: int = 0, set: int = 0) -> UvSet:
        """Texture-coordinate set number `set`: "uv" first, then the mesh's other sets."""
        s = _UvSet()
        L = self._library._lib
        self._check("ogawa_read_uvs", L.ogawa_read_uvs(ctypes.byref(self._archive), self._object(path), sample, set,
                                                       ctypes.byref(s)))
        try:
            return UvSet(s.name.decode("utf-8", "replace"), _copy_out(s.uvs, s.uv_count, c_float, 2),
                         _copy_out(s.indices, s.index_count, c_uint32), s.scope)
        finally:
            L.ogawa_free_uv_set(ctypes.byref(s))

    def close(self):
        if getattr(self, "_archive", None) is not None:
            self._library._lib.ogawa_close(ctypes.byref(self._archive))
            self._archive = None


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

    def lookup_morton_many(self, keys):
        """Positions of many keys (u64) in one call, in input order, -1 where absent."""
        return self._many(self._library._lib.zelset_lookup_morton_many, _copy_in(keys, c_uint64))

    def lookup_hex_many(self, ids):
        """Positions of many ids (strings, or 8-byte words) in one call, -1 where absent."""
        return self._many(self._library._lib.zelset_lookup_hex_many, _copy_in(_id_words(ids), c_uint64))

    def _many(self, function, words: _Input):
        n = words.count
        positions = (c_int32 * max(n, 1))()
        if n:
            function(ctypes.byref(self._unit), words.pointer, n, positions)
        return _copy_out(positions, n, c_int32)

    def nearest(self, target: int, k: int) -> List[Tuple[int, int]]:
        """Up to k (position, hop distance) pairs closest to target in key order."""
        if k < 1:
            return []
        n = min(k, self._unit.count)
        indices, distances = (c_uint32 * max(n, 1))(), (c_uint64 * max(n, 1))()
        found = self._library._lib.zelset_query_nearest(ctypes.byref(self._unit), target, k, indices, distances)
        return [(indices[i], distances[i]) for i in range(found)]

    def layer(self, layer: int):
        """Positions of every token of a layer, ascending."""
        n = self._unit.count
        out = (c_uint32 * max(n, 1))()
        found = self._library._lib.zelset_query_layer(ctypes.byref(self._unit), layer, out, n)
        return _copy_out(out, found, c_uint32)

    def save(self, path: os.PathLike):
        self._library._check("zelset_save", self._library._lib.zelset_save(os.fsencode(path), ctypes.byref(self._unit)))

    def close(self):
        if getattr(self, "_unit", None) is not None:
            self._library._lib.zelset_free(ctypes.byref(self._unit))
            self._unit = None
