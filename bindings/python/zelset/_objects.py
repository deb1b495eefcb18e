"""The objects of an open archive as Python sees them: the tree, and an object found by
its full path. This is the one place that reads the library's object records."""
import ctypes
import weakref
from typing import Callable, ContextManager, Dict, Iterator, List, Optional, Tuple

from . import _records as R
from ._errors import ClosedError
from ._scene import text

# Schemas the mesh readers read: a subdivision surface is read as its control cage.
MESH_SCHEMAS = ("PolyMesh", "SubD")


class ArchiveObject:
    """One object of an archive's tree.

    path: its full path; name; schema: "PolyMesh", "Xform", "SubD", "Points", "Curves",
    "Camera" or "Unknown"; schema_text: the schema as its writer wrote it
    ("AbcGeom_PolyMesh_v1", "AbcGeom_FaceSet_v1", ...; "" when none); instance_source: for
    an instance, the full path of the object it stands for (it then shows that object's
    schema and children under its own path), "" for an ordinary object; children: in
    stored order; sample_count: see below."""

    __slots__ = ("path", "name", "schema", "schema_text", "instance_source", "children", "_index", "_number",
                 "_samples")

    def __init__(self, index: "ObjectIndex", number: int, info: R.ObjectInfo, schema: str):
        self.path: str = text(info.path)
        self.name: str = text(info.name)
        self.schema: str = schema
        self.schema_text: str = text(info.schema_text)
        self.instance_source: str = text(info.instance_source)
        self.children: Tuple[ArchiveObject, ...] = ()
        self._index, self._number = index, number
        self._samples: Optional[int] = None

    @property
    def sample_count(self) -> int:
        """The samples of the object's schema: of its positions for a mesh, of its transform
        for an Xform; 0 for other schemas. The archive decodes the object's properties the
        first time this is asked, so that first time needs the archive open."""
        if self._samples is None:
            self._samples = self._index.sample_count(self._number)
        return self._samples

    def __repr__(self) -> str:
        return f"ArchiveObject(path={self.path!r}, schema={self.schema!r}, children={self.children!r})"


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
    index. An undescribed archive has no tree: its readers do not consult object paths.
    using, a method of the archive, lends its record for one call; the index holds it
    weakly, so objects kept after the archive is dropped do not keep it open."""

    def __init__(self, lib: ctypes.CDLL, using: Callable[[], ContextManager[R.Archive]]):
        self._lib, self._using = lib, weakref.WeakMethod(using)
        with using() as archive:
            self._described = lib.ogawa_archive_state(ctypes.byref(archive)) == 0
            self.tree = self._tree(archive)
        self._by_path: Dict[str, ArchiveObject] = {o.path: o for o in preorder(self.tree)}

    def _tree(self, archive: R.Archive) -> Tuple[ArchiveObject, ...]:
        # The index lists objects in pre-order with their parents: each is made, then
        # handed its children.
        count = self._lib.ogawa_object_count(ctypes.byref(archive))
        objects: List[ArchiveObject] = []
        children: List[List[int]] = [[] for _ in range(count)]
        top = []
        info = R.ObjectInfo()
        for i in range(count):
            self._lib.ogawa_get_object(ctypes.byref(archive), i, ctypes.byref(info))
            schema = self._lib.ogawa_schema_to_string(info.schema).decode("ascii")
            objects.append(ArchiveObject(self, i, info, schema))
            (top if info.parent == 0xFFFFFFFF else children[info.parent]).append(i)
        for o, numbers in zip(objects, children):
            o.children = tuple(objects[c] for c in numbers)
        return tuple(objects[i] for i in top)

    def find(self, path: str) -> Optional[ArchiveObject]:
        """The object at this full path, or None."""
        return self._by_path.get(path)

    def number(self, o: ArchiveObject) -> int:
        """The object's index in the library's object index."""
        return o._number

    def meshes(self) -> Iterator[ArchiveObject]:
        """The meshes (PolyMesh and SubD), in pre-order."""
        return (o for o in self._by_path.values() if o.schema in MESH_SCHEMAS)

    def sample_count(self, number: int) -> int:
        using = self._using()
        if using is None:
            raise ClosedError("operation on a closed archive")
        with using() as archive:
            return self._lib.ogawa_object_samples(ctypes.byref(archive), number)

    def samples(self, archive: R.Archive, path: Optional[str]) -> Tuple[Optional[str], Optional[int]]:
        """The full path and sample count of the mesh at path (None: the first mesh), or
        None and None when they cannot be told (an undescribed archive, or no such mesh).
        For a caller that holds the archive's record already."""
        if not self._described:
            return None, None
        if path is None:
            mesh = R.Polymesh()
            if self._lib.ogawa_read_polymesh(ctypes.byref(archive), None, 0, ctypes.byref(mesh)) != 0:
                return None, None
            path = text(mesh.path)
            self._lib.ogawa_free_polymesh(ctypes.byref(mesh))
        index = self._lib.ogawa_find_object(ctypes.byref(archive), path.encode("utf-8"))
        if index < 0:
            return None, None
        return path, self._lib.ogawa_object_samples(ctypes.byref(archive), index)
