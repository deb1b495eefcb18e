"""The loaded zelset library and what it builds: token meshes and token units."""
import array
import ctypes
import os
from ctypes import c_float, c_uint8, c_uint32, c_uint64
from typing import TYPE_CHECKING, Optional, Sequence

from . import _native
from . import _records as R
from ._arrays import checked_in, id_words
from ._errors import InvalidInputError, ZelsetOSError, failed_call, os_error
from ._units import Token, TokenMesh, Unit, check

if TYPE_CHECKING:
    from ._archive import Mesh

_default: Optional["Library"] = None


def default_library() -> "Library":
    """The library found as zelset's docstring says, loaded once."""
    global _default
    if _default is None:
        _default = Library()
    return _default


class Library:
    """The loaded zelset library: the one at `path`, else the one the package carries (see
    zelset's docstring). Most programs use default_library()."""

    def __init__(self, path: Optional[_native.PathLike] = None):
        """Loads the library at path, else the one that $ZELSET_LIBRARY names or the package
        carries."""
        self.path = os.fsdecode(path or _native.library_path())
        try:
            self._lib = _native.load(self.path)
        except OSError as cause:
            raise ZelsetOSError(f"the zelset library cannot be loaded ({cause}); pip install bindings/python "
                                "puts one in the package, or ZELSET_LIBRARY names one") from None
        self._free = _native.release_function(self._lib)

    def __repr__(self) -> str:
        return f"zelset.Library({self.path!r})"

    # -- the archive reader

    def read_first_mesh(self, path: _native.PathLike) -> "Mesh":
        """The first polygon mesh of an Alembic (Ogawa) archive, sample 0."""
        from ._archive import Archive  # the archive module builds on this one
        with Archive(path, self) as archive:
            return archive.mesh()

    def archive_report(self, path: _native.PathLike) -> str:
        """The library's text report of an archive."""
        from ._archive import Archive
        with Archive(path, self) as archive:
            return archive.report()

    # -- mesh to tokens

    def tokenize(self, positions, triangles, name: str = "mesh") -> TokenMesh:
        """Places every vertex on the 48-cubed lattice of the mesh's box and makes its token.
        positions: n x 3 numbers (taken as float32); triangles: t x 3 vertex indices, each
        below n. Both may be numpy arrays, array.array or sequences, flat or in rows."""
        p = checked_in(positions, "positions", c_float, 3)
        if not 0 < p.count < 2**32:
            raise InvalidInputError(f"positions holds {p.count} vertices; a mesh has 1 to 2**32 - 1")
        t = checked_in(triangles, "triangles", c_uint32, 3, below=p.count)
        mesh = R.AlembicMesh()
        status = self._lib.zel_alembic_load_raw(p.pointer, p.count, t.pointer, t.count, name.encode("utf-8"),
                                                ctypes.byref(mesh))
        if status != 0:
            self._lib.zel_alembic_mesh_free(ctypes.byref(mesh))
            check("zel_alembic_load_raw", status, f"mesh {name}")
        return TokenMesh(self, mesh)

    # -- token units

    def create_unit(self, tokens: Optional[Sequence[Token]] = None, *, keys=None, ids=None, signatures=None,
                    layers=None) -> Unit:
        """A unit from Token records, or from four arrays of one length: keys (u64), ids
        (strings of up to 8 ASCII characters, or 8-byte words, first character lowest),
        signatures (u64) and layers (u8)."""
        if tokens is not None:
            keys = array.array("Q", [t.morton for t in tokens])
            ids = [t.hex_id for t in tokens]
            signatures = array.array("Q", [t.signature for t in tokens])
            layers = [t.layer for t in tokens]
        k, i = checked_in(keys, "keys", c_uint64), id_words(ids)
        s, l = checked_in(signatures, "signatures", c_uint64), checked_in(layers, "layers", c_uint8)
        if not k.count == i.count == s.count == l.count:
            raise InvalidInputError(f"keys, ids, signatures and layers differ in length: "
                                    f"{k.count}, {i.count}, {s.count}, {l.count}")
        if not 0 < k.count < 2**31:
            raise InvalidInputError(f"{k.count} tokens; a unit holds 1 to 2**31 - 1")
        unit = R.Unit()
        check("zelset_create", self._lib.zelset_create(ctypes.byref(unit), k.count, k.pointer, i.pointer, s.pointer,
                                                       l.pointer), f"unit of {k.count} tokens")
        return Unit(self, unit)

    def load_unit(self, path: _native.PathLike) -> Unit:
        """A unit from a unit file: tokens sorted by key, both indexes built."""
        unit = R.Unit()
        status = self._lib.zelset_load(os.fsencode(path), ctypes.byref(unit))
        if status == -1:
            try:
                open(path, "rb").close()
            except OSError as cause:
                raise failed_call(os_error(cause), "zelset_load", status) from None
        check("zelset_load", status, os.fsdecode(path))
        return Unit(self, unit)
