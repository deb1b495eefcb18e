"""Python host of the zelset library: Alembic scenes as arrays, spatial tokens, token units.

    import zelset
    with zelset.Archive("scene.abc") as archive:
        for obj in archive.objects:            # the tree: path, name, schema, children
            print(obj.path, obj.schema, obj.schema_text, obj.sample_count)
        mesh = archive.mesh("/pCube1/pCubeShape1", sample=3)
        for path, mesh in archive.meshes():    # every mesh, in the tree's order
            ...
        archive.metadata, archive.time_samplings, archive.properties("/pCube1")
        mesh.positions, mesh.face_indices, mesh.transform, mesh.sample_times
    lib = zelset.default_library()
    with lib.tokenize(mesh.positions, mesh.triangles()) as tokens:
        tokens.export("cube.zel")
    with lib.load_unit("cube.zel") as unit:
        unit.lookup_morton_many(keys)           # positions, -1 where absent
    zelset.convert_many(paths, "out", "zelm")   # the zelset command on many archives at once

Arrays come back as numpy arrays when numpy can be imported (positions and normals n x 3,
texture coordinates n x 2, the transform 4 x 4), and as flat array.array otherwise
(USES_NUMPY says which); setting ZELSET_NO_NUMPY in the environment before the import
chooses array.array even where numpy exists. Every array is copied once from the library's
own, which is released before the call returns. The functions that take arrays (tokenize,
create_unit, the bulk lookups) take numpy arrays, array.array or any sequence, check their
shapes, element types and ranges, and pass arrays of the C type as they lie in memory.

The installed package carries the library and the `zelset` command beside its modules.
$ZELSET_LIBRARY and $ZELSET_COMMAND name others (a build tree's); without either, the
system's search finds them by their plain names.

Archives, units and token meshes hold library memory until close() (or the end of a with
block); calls release the interpreter lock while the library works, so threads read
archives in parallel. Every error is a ZelsetError and also the built-in exception of its
cause (FileNotFoundError, KeyError, TypeError, IndexError, ValueError, ...); see Archive.
"""
from . import _arrays
from ._archive import Archive, Mesh, UvSet
from ._convert import FORMATS, Conversion, convert_many
from ._errors import (ClosedError, DamagedArchiveError, FilePermissionError, InputTypeError, InvalidInputError,
                      MissingFileError, NotAMeshError, NotAnArchiveError, ObjectNotFoundError, SampleOutOfRangeError,
                      ZelsetError, ZelsetOSError)
from ._library import Library, default_library
from ._objects import ArchiveObject
from ._scene import Property, TimeSampling
from ._units import Token, TokenMesh, Unit

USES_NUMPY: bool = _arrays.np is not None
"""True when arrays come back as numpy arrays, False when as array.array."""

__all__ = ["Archive", "ArchiveObject", "ClosedError", "Conversion", "DamagedArchiveError", "FORMATS",
           "FilePermissionError", "InputTypeError", "InvalidInputError", "Library", "Mesh", "MissingFileError",
           "NotAMeshError", "NotAnArchiveError", "ObjectNotFoundError", "Property", "SampleOutOfRangeError",
           "TimeSampling", "Token", "TokenMesh", "USES_NUMPY", "Unit", "UvSet", "ZelsetError", "ZelsetOSError",
           "convert_many", "default_library"]

# The public classes present themselves as zelset.NAME: in help(), in tracebacks, in pickles.
for _name in __all__:
    if isinstance(globals()[_name], type):
        globals()[_name].__module__ = __name__
