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
    """The tree of an open archive and its objects by full path. An undescribed archive has
    no tree: its readers do not consult object paths."""

    def __init__(self, lib: ctypes.CDLL, archive: R.Archive):
        self._lib, self._archive, self._described = lib, archive, archive.reserved != 0
        self.tree = self._tree(lib, archive.objects, archive.object_count)
        self._by_path: Dict[str, ArchiveObject] = {o.path: o for o in preorder(self.tree)}

    @classmethod
    def _tree(cls, lib: ctypes.CDLL, objects, count: int) -> Tuple[ArchiveObject, ...]:
        records = ctypes.cast(objects, POINTER(POINTER(R.Object)))
        out = []
        for i in range(count):
            o = records[i].contents
            out.append(ArchiveObject(o.path.decode("utf-8", "replace"), o.name.decode("utf-8", "replace"),
                                     lib.ogawa_schema_to_string(o.schema).decode("ascii"),
                                     cls._tree(lib, o.children, o.child_count)))
        return tuple(out)

    def find(self, path: str) -> Optional[ArchiveObject]:
        """The object at this full path, or None."""
        return self._by_path.get(path)

    def samples(self, path: Optional[str]) -> Tuple[Optional[str], Optional[int]]:
        """The full path and sample count of the mesh at path (None: the first mesh), or
        None and None when they cannot be told (an undescribed archive, or a mesh whose
        first sample does not read). The count comes from a read of sample 0."""
        if not self._described:
            return None, None
        target = None if path is None else object_record(path)
        mesh = R.Polymesh()
        if self._lib.ogawa_read_polymesh(ctypes.byref(self._archive), target, 0, ctypes.byref(mesh)) != 0:
            return None, None
        found = mesh.path.decode("utf-8", "replace"), mesh.sample_count
        self._lib.ogawa_free_polymesh(ctypes.byref(mesh))
        return found
