"""Alembic archives (Ogawa container) opened for reading, and what is read from them."""
import ctypes
import operator
import os
from ctypes import POINTER, c_double, c_float, c_uint32, c_void_p
from typing import Any, Dict, Iterator, NamedTuple, Optional, Tuple

from . import _records as R
from ._arrays import checked_integer, copy_out, fan
from ._errors import (DamagedArchiveError, InputTypeError, NotAMeshError, NotAnArchiveError, ObjectNotFoundError,
                      SampleOutOfRangeError, ZelsetError, failed_call, os_error)
from ._library import Library, default_library
from ._native import PathLike
from ._objects import MESH_SCHEMAS, ArchiveObject, ObjectIndex, object_record
from ._owned import Owned
from ._scene import Property, TimeSampling, metadata, properties, text, time_samplings

# The first bytes of an HDF5 file, where HDF5-based Alembic archives begin.
_HDF5_SIGNATURE = b"\x89HDF\r\n\x1a\n"
_OPEN_FAULTS = {-2: 'it does not begin with "Ogawa"',
                -3: "its frozen byte is not 0xFF (its writer did not finish it)",
                -4: "its header is cut short", -5: "its header is cut short"}
_MISSING = {"ogawa_read_polymesh": "no positions", "ogawa_read_normals": "no normals"}


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
        return fan(self.face_counts, self.face_indices)


class UvSet(NamedTuple):
    """A texture-coordinate set: uvs (n x 2, flat without numpy), indices as stored (empty
    when the set is not indexed), scope 3 per vertex or 4 per face corner."""
    name: str
    uvs: Any
    indices: Any
    scope: int


class Archive(Owned):
    """An Alembic archive in the Ogawa container, open for reading until close() or the end
    of a with block.

        with zelset.Archive("scene.abc") as archive:
            for obj in archive.objects:
                print(obj.path, obj.schema, obj.sample_count)
            for path, mesh in archive.meshes(sample=3):
                print(path, len(mesh.positions))
            archive.metadata["_ai_AlembicVersion"], archive.time_samplings

    Attributes: path; described, True when the archive's own description of its objects,
    samples and properties decoded: meshes are then read exactly as stored, by path and
    sample. False only for an archive opened with salvage=True whose container is whole but
    whose description does not decode: its mesh is then found by the shape of its blocks,
    object paths and sample numbers are not consulted, and what comes back is a guess.
    start_time and end_time in seconds, and fps; objects, the tree of ArchiveObject;
    metadata, the archive's metadata (key -> value); time_samplings, a TimeSampling per
    sampling, sampling 0 first (objects, metadata and time_samplings are empty when
    undescribed).

    Every error is a ZelsetError and also the built-in exception of its cause:
    MissingFileError (FileNotFoundError) and FilePermissionError (PermissionError) when
    the file cannot be opened; NotAnArchiveError for a file that is not an Ogawa archive,
    or one whose description does not decode (unless salvage=True); DamagedArchiveError
    (ValueError) for an archive that is cut short or overwritten, salvage or not, and for
    the properties of an object that do not decode; ObjectNotFoundError (KeyError) for a
    path with no object; NotAMeshError (TypeError) for an object that is not a mesh;
    SampleOutOfRangeError (IndexError) for a sample past the mesh's last, negative, or at
    least 2**32; ClosedError (ValueError) after close().
    """

    def __init__(self, path: PathLike, library: Optional[Library] = None, *, salvage: bool = False):
        """Opens the archive at path and reads its description, through library (default:
        default_library()). salvage=True accepts an archive whose description does not
        decode and reads it by the shape of its blocks (described is then False)."""
        super().__init__()
        self.path = os.fsdecode(path)
        self._what = f"archive {self.path}"
        self._library = library or default_library()
        L = self._library._lib
        record = R.Archive()
        status = L.ogawa_open(os.fsencode(path), ctypes.byref(record))
        if status != 0:
            raise self._open_failure(status)
        state = L.ogawa_archive_state(ctypes.byref(record))
        if state != 0 and not (state == 1 and salvage):
            problem = text(L.ogawa_archive_problem(ctypes.byref(record)))
            L.ogawa_close(ctypes.byref(record))
            raise self._state_failure(state, problem)
        self._record = record
        self.described: bool = state == 0
        self.start_time: float = record.start_time
        self.end_time: float = record.end_time
        self.fps: float = record.fps
        self.metadata: Dict[str, str] = metadata(text(L.ogawa_archive_metadata(ctypes.byref(record))))
        self.time_samplings: Tuple[TimeSampling, ...] = time_samplings(L, record)
        self._objects = ObjectIndex(L, self._using)
        # The index decodes the whole tree, which may find damage that opening did not reach.
        state = L.ogawa_archive_state(ctypes.byref(record))
        if state == 2:
            problem = text(L.ogawa_archive_problem(ctypes.byref(record)))
            self.close()
            raise self._state_failure(state, problem)

    @property
    def objects(self) -> Tuple[ArchiveObject, ...]:
        """The top-level objects, each with its children (empty when undescribed)."""
        return self._objects.tree

    def find(self, path: str) -> ArchiveObject:
        """The object at this full path (ObjectNotFoundError, a KeyError, when none)."""
        found = self._objects.find(path)
        if found is None:
            raise ObjectNotFoundError(f"{self.path} has no object {path}")
        return found

    def properties(self, path: str) -> Tuple[Property, ...]:
        """The properties of the object at this full path, in pre-order (a compound before
        what it holds), decoded on first use; DamagedArchiveError when they do not decode."""
        found = self.find(path)
        L = self._library._lib
        with self._using() as archive:
            number = self._objects.number(found)
            status = L.ogawa_decode_properties(ctypes.byref(archive), number)
            if status != 0:
                raise self._properties_failure(found.path, status)
            return properties(L, archive, number)

    def meshes(self, sample: int = 0) -> Iterator[Tuple[str, Mesh]]:
        """(path, Mesh) for every mesh of the tree (PolyMesh and SubD), in pre-order, each
        read as mesh(path, sample) reads it; a mesh with fewer samples gives its last (a
        static mesh's one sample holds at every time), and Mesh.sample_count tells. Nothing
        when undescribed. Each mesh is read as the iteration reaches it."""
        sample = self._sample_number(sample, "every mesh")
        return ((o.path, self.mesh(o.path, min(sample, max(o.sample_count, 1) - 1))) for o in self._objects.meshes())

    def report(self) -> str:
        """The library's text report: path, version, object and mesh counts, time range, fps."""
        buffer = ctypes.create_string_buffer(4096)
        with self._using() as archive:
            self._library._lib.ogawa_get_info(ctypes.byref(archive), buffer, len(buffer))
        return text(buffer.value)

    def mesh(self, path: Optional[str] = None, sample: int = 0) -> Mesh:
        """The mesh at this full path (None: the first PolyMesh that holds positions; a SubD
        by its path) at a sample,
        every array copied once; an empty mesh has arrays of length 0."""
        m = R.Polymesh()
        L = self._library._lib
        with self._using() as archive:
            target, sample = self._target(path, sample)
            status = L.ogawa_read_polymesh(ctypes.byref(archive), target, sample, ctypes.byref(m))
            if status != 0:
                raise self._read_failure(archive, "ogawa_read_polymesh", status, path, sample)
        try:
            return Mesh(name=text(m.name), path=text(m.path),
                        positions=copy_out(m.positions, m.position_count, c_float, 3),
                        face_counts=copy_out(m.face_counts, m.face_count, c_uint32),
                        face_indices=copy_out(m.face_indices, m.face_index_count, c_uint32),
                        normals=copy_out(m.normals, m.normal_count, c_float, 3), normal_scope=m.normal_scope,
                        sample_count=m.sample_count, sample_times=copy_out(m.sample_times, m.sample_count, c_double),
                        transform=copy_out(m.transform, 4, c_double, 4))
        finally:
            L.ogawa_free_polymesh(ctypes.byref(m))

    def normals(self, path: Optional[str] = None, sample: int = 0) -> Tuple[Any, int]:
        """The mesh's normals (n x 3) and their scope, 3 per vertex or 4 per face corner."""
        values, indices, count, scope = POINTER(c_float)(), POINTER(c_uint32)(), c_uint32(), c_uint32()
        with self._using() as archive:
            target, sample = self._target(path, sample)
            status = self._library._lib.ogawa_read_normals(ctypes.byref(archive), target, sample, ctypes.byref(values),
                                                           ctypes.byref(indices), ctypes.byref(count),
                                                           ctypes.byref(scope))
            if status != 0:
                raise self._read_failure(archive, "ogawa_read_normals", status, path, sample)
        try:
            return copy_out(values, count.value, c_float, 3), scope.value
        finally:
            self._library._free(ctypes.cast(values, c_void_p))

    def uvs(self, path: Optional[str] = None, sample: int = 0, set: int = 0) -> UvSet:
        """Texture-coordinate set number `set`: "uv" first, then the mesh's other sets."""
        set = checked_integer(set, "set", 2**32 - 1)
        s = R.UvSet()
        L = self._library._lib
        with self._using() as archive:
            target, sample = self._target(path, sample)
            status = L.ogawa_read_uvs(ctypes.byref(archive), target, sample, set, ctypes.byref(s))
            if status != 0:
                raise self._read_failure(archive, "ogawa_read_uvs", status, path, sample,
                                         f"no texture-coordinate set {set}")
        try:
            return UvSet(text(s.name), copy_out(s.uvs, s.uv_count, c_float, 2),
                         copy_out(s.indices, s.index_count, c_uint32), s.scope)
        finally:
            L.ogawa_free_uv_set(ctypes.byref(s))

    def _release(self, record: R.Archive) -> None:
        self._library._lib.ogawa_close(ctypes.byref(record))

    # -- what a read is given, and why it failed

    def _target(self, path: Optional[str], sample: int) -> Tuple[Optional[R.Object], int]:
        """The object record and the sample index of a read, checked: the object exists and
        is a mesh, the sample fits 32 bits."""
        sample = self._sample_number(sample, path or "the first mesh")
        if path is None:
            return None, sample
        found = self.find(path) if self.described else None
        if found is not None and found.schema not in MESH_SCHEMAS:
            raise NotAMeshError(f"{self.path}: {path} is a {found.schema}, not a mesh")
        return object_record(path), sample

    def _sample_number(self, sample: int, what: str) -> int:
        """sample as an int, checked to fit 32 bits."""
        try:
            sample = operator.index(sample)
        except TypeError:
            raise InputTypeError(f"sample must be an integer, not {type(sample).__name__}") from None
        if not 0 <= sample < 2**32:
            raise SampleOutOfRangeError(f"{self.path}: sample {sample} of {what} is out of range (sample numbers "
                                        "run from 0 to 2**32 - 1)")
        return sample

    def _state_failure(self, state: int, problem: str) -> ZelsetError:
        if state == 1:
            error: ZelsetError = NotAnArchiveError(
                f"{self.path} is not an Alembic archive this reader can describe: {problem} (salvage=True reads "
                "it by the shape of its blocks, as guesses)")
        else:
            error = DamagedArchiveError(f"{self.path} is damaged: {problem}")
        return failed_call(error, "ogawa_archive_state", state)

    def _open_failure(self, status: int) -> ZelsetError:
        try:
            with open(self.path, "rb") as file:
                head = file.read(16)
        except OSError as cause:
            return failed_call(os_error(cause), "ogawa_open", status)
        if head.startswith(_HDF5_SIGNATURE):
            fault = "it is an HDF5-based Alembic archive; only archives in the Ogawa container are read"
        elif status == -1 and len(head) < 5:
            fault = f"it holds {len(head)} bytes, fewer than the container's header"
        else:
            fault = _OPEN_FAULTS.get(status, f"ogawa_open failed with status {status}")
        return failed_call(NotAnArchiveError(f"{self.path} is not an Ogawa archive: {fault}"), "ogawa_open", status)

    def _properties_failure(self, path: str, status: int) -> ZelsetError:
        if status == -2:
            error: ZelsetError = DamagedArchiveError(f"{self.path}: the properties of {path} cannot be read (damaged)")
        else:
            error = ZelsetError(f"{self.path}: the properties of {path} cannot be read (ogawa_decode_properties "
                                f"returned {status})")
        return failed_call(error, "ogawa_decode_properties", status)

    def _read_failure(self, archive: R.Archive, function: str, status: int, path: Optional[str], sample: int,
                      missing: Optional[str] = None) -> ZelsetError:
        mesh_path, sample_count = self._objects.samples(archive, path)
        what = mesh_path or path or "the first mesh"
        if sample_count is not None and sample >= sample_count:
            error: ZelsetError = SampleOutOfRangeError(
                f"{self.path}: {what} has {sample_count} samples, sample {sample} is out of range")
        else:
            missing = missing or _MISSING.get(function, "nothing to read")
            error = ZelsetError(f"{self.path}: {what}, sample {sample}: {missing}, or the archive is damaged there "
                                f"({function} returned {status})")
        return failed_call(error, function, status)
