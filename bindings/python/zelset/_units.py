"""Token meshes (a mesh turned into tokens) and token units with their hash indexes."""
import ctypes
import os
from ctypes import c_int32, c_uint32, c_uint64
from typing import TYPE_CHECKING, List, NamedTuple, Optional, Tuple

from . import _records as R
from ._arrays import Input, checked_in, checked_integer, copy_out, id_bytes, id_words
from ._errors import ZelsetError, failed_call
from ._native import PathLike
from ._owned import Owned

if TYPE_CHECKING:
    from ._library import Library


class Token(NamedTuple):
    """A token: 64-bit Morton key, id of up to 8 characters, 64-bit signature, layer byte."""
    morton: int
    hex_id: str
    signature: int
    layer: int


def token_of(t: R.Token) -> Token:
    return Token(t.morton, bytes(t.hex_id).rstrip(b"\0").decode("ascii", "replace"), t.signature, t.layer)


def check(function: str, status: int, subject) -> None:
    """ZelsetError naming the function, its status and the file or object it worked on."""
    if status != 0:
        raise failed_call(ZelsetError(f"{subject}: {function} returned {status}"), function, status)


class TokenMesh(Owned):
    """A processed mesh: one lattice record and one token per vertex. tokens and lattice
    (the vertex's cell, three coordinates in 0..47) are lists in vertex order."""

    _what = "token mesh"

    def __init__(self, library: "Library", mesh: R.AlembicMesh):
        super().__init__()
        self._library, self._record = library, mesh
        self.tokens: List[Token] = [token_of(mesh.tokens[i].token) for i in range(mesh.vertex_count)]
        self.lattice: List[Tuple[int, int, int]] = [tuple(mesh.vertices[i].matrix) for i in range(mesh.vertex_count)]

    def report(self) -> str:
        """The library's text report of the mesh."""
        buffer = ctypes.create_string_buffer(4096)
        with self._using() as mesh:
            self._library._lib.zel_alembic_mesh_info(ctypes.byref(mesh), buffer, len(buffer))
        return buffer.value.decode("utf-8", "replace")

    def export(self, path: PathLike) -> None:
        """Writes the tokens as a unit file."""
        with self._using() as mesh:
            status = self._library._lib.zel_alembic_export_zel(ctypes.byref(mesh), os.fsencode(path))
        check("zel_alembic_export_zel", status, os.fsdecode(path))

    def _release(self, record: R.AlembicMesh) -> None:
        self._library._lib.zel_alembic_mesh_free(ctypes.byref(record))


class Unit(Owned):
    """A token unit with its two hash indexes (by key and by id). len(unit) tokens,
    unit[i] the token at position i."""

    _what = "unit"
    _shared = True

    def __init__(self, library: "Library", unit: R.Unit):
        super().__init__()
        self._library, self._record = library, unit

    def __len__(self) -> int:
        with self._using() as unit:
            return unit.count

    def __getitem__(self, position: int) -> Token:
        with self._using() as unit:
            if not 0 <= position < unit.count:
                raise IndexError(f"position {position} of a unit of {unit.count} tokens")
            return token_of(unit.tokens[position])

    def lookup_morton(self, key: int) -> Optional[int]:
        """Position of a token with this key (0..2**64 - 1), or None."""
        key = checked_integer(key, "key", 2**64 - 1)
        with self._using() as unit:
            return _position(self._library._lib.zelset_lookup_morton(ctypes.byref(unit), key))

    def lookup_hex(self, hex_id: str) -> Optional[int]:
        """Position of a token with this id (up to 8 ASCII characters), or None."""
        word = id_bytes(hex_id)
        with self._using() as unit:
            return _position(self._library._lib.zelset_lookup_hex(ctypes.byref(unit), word))

    def lookup_morton_many(self, keys):
        """Positions of many keys (u64) in one call, in input order, -1 where absent."""
        return self._many(self._library._lib.zelset_lookup_morton_many, checked_in(keys, "keys", c_uint64))

    def lookup_hex_many(self, ids):
        """Positions of many ids (strings, or 8-byte words) in one call, -1 where absent."""
        return self._many(self._library._lib.zelset_lookup_hex_many, id_words(ids))

    def _many(self, function, words: Input):
        n = words.count
        positions = (c_int32 * max(n, 1))()
        with self._using() as unit:
            if n:
                function(ctypes.byref(unit), words.pointer, n, positions)
        return copy_out(positions, n, c_int32)

    def nearest(self, target: int, k: int) -> List[Tuple[int, int]]:
        """Up to k (position, hop distance) pairs closest to target in key order."""
        target = checked_integer(target, "target", 2**64 - 1)
        with self._using() as unit:
            n = min(k, unit.count, 2**31 - 1)
            if n < 1:
                return []
            indices, distances = (c_uint32 * n)(), (c_uint64 * n)()
            found = self._library._lib.zelset_query_nearest(ctypes.byref(unit), target, n, indices, distances)
        return [(indices[i], distances[i]) for i in range(found)]

    def layer(self, layer: int):
        """Positions of every token of a layer (0..255), ascending."""
        layer = checked_integer(layer, "layer", 255)
        with self._using() as unit:
            n = min(unit.count, 2**31 - 1)
            out = (c_uint32 * max(n, 1))()
            found = self._library._lib.zelset_query_layer(ctypes.byref(unit), layer, out, n)
        return copy_out(out, found, c_uint32)

    def save(self, path: PathLike) -> None:
        """Writes the unit's tokens to a unit file."""
        with self._using() as unit:
            status = self._library._lib.zelset_save(os.fsencode(path), ctypes.byref(unit))
        check("zelset_save", status, os.fsdecode(path))

    def _release(self, record: R.Unit) -> None:
        self._library._lib.zelset_free(ctypes.byref(record))


def _position(found: int) -> Optional[int]:
    return None if found < 0 else found
