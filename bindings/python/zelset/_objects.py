"""The objects of an open archive as Python sees them: the tree, and an object found by
its full path. This is the one place that reads the library's object records."""
import ctypes
from ctypes import POINTER
from typing import Dict, Iterator, NamedTuple, Optional, Tuple

from . import _records as R

# Schemas the mesh readers read: a subdivision surface is read as its control cage.
MESH_SCHEMAS = ("PolyMesh", "SubD")


class ArchiveObject(NamedTuple):
    """One object of an archive's tree: its full path, its name, its schema ("PolyMesh",
    "Xform", "SubD", "Camera", ... or "Unknown") and its children in stored order."""
    path: str
    name: str
    schema: str
    children: Tuple["ArchiveObject", ...]


def preorder(objects: Tuple[ArchiveObject, ...]) -> Iterator[ArchiveObject]:
    """Every object of the trees, each before its children."""
    for o in objects:
        yield o
        yield from preorder(o.children)


def object_record(path: str) -> R.Object:
    """The record that names an object to the readers: its full path (cut at 1,023 bytes)."""
    record = R.Object()
    record.path = path.encode("utf-8")[:1023]
    return record


class ObjectIndex:
    """The tree of an open archive and its objects by full path, from the library's object
    index. An undescribed archive has no tree: its readers do not consult object paths."""

    def __init__(self, lib: ctypes.CDLL, archive: R.Archive):
        self._lib, self._archive = lib, archive
        self._described = lib.ogawa_archive_state(ctypes.byref(archive)) == 0
        self.tree = self._tree()
        self._by_path: Dict[str, ArchiveObject] = {o.path: o for o in preorder(self.tree)}

    def _tree(self) -> Tuple[ArchiveObject, ...]:
        # The index lists objects in pre-order with their parents: children are gathered
        # under their parent, then each object is made after its children.
        count = self._lib.ogawa_object_count(ctypes.byref(self._archive))
        infos, children = [], [[] for _ in range(count)]
        top = []
        info = R.ObjectInfo()
        for i in range(count):
            self._lib.ogawa_get_object(ctypes.byref(self._archive), i, ctypes.byref(info))
            infos.append((info.path.decode("utf-8", "replace"), info.name.decode("utf-8", "replace"),
                          self._lib.ogawa_schema_to_string(info.schema).decode("ascii")))
            (top if info.parent == 0xFFFFFFFF else children[info.parent]).append(i)
        made: Dict[int, ArchiveObject] = {}
        for i in reversed(range(count)):
            made[i] = ArchiveObject(*infos[i], tuple(made[c] for c in children[i]))
        return tuple(made[i] for i in top)

    def find(self, path: str) -> Optional[ArchiveObject]:
        """The object at this full path, or None."""
        return self._by_path.get(path)

    def samples(self, path: Optional[str]) -> Tuple[Optional[str], Optional[int]]:
        """The full path and sample count of the mesh at path (None: the first mesh), or
        None and None when they cannot be told (an undescribed archive, or no such mesh)."""
        if not self._described:
            return None, None
        if path is None:
            mesh = R.Polymesh()
            if self._lib.ogawa_read_polymesh(ctypes.byref(self._archive), None, 0, ctypes.byref(mesh)) != 0:
                return None, None
            path = mesh.path.decode("utf-8", "replace")
            self._lib.ogawa_free_polymesh(ctypes.byref(mesh))
        index = self._lib.ogawa_find_object(ctypes.byref(self._archive), path.encode("utf-8"))
        if index < 0:
            return None, None
        return path, self._lib.ogawa_object_samples(ctypes.byref(self._archive), index)
