"""The library's records, laid out as the public headers declare them."""
import ctypes
from ctypes import POINTER, c_char, c_char_p, c_double, c_float, c_uint8, c_uint32, c_uint64, c_void_p


class Token(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("morton", c_uint64), ("hex_id", c_char * 8), ("signature", c_uint64), ("layer", c_uint8)]


class Unit(ctypes.Structure):
    _fields_ = [
        ("version", c_uint32), ("count", c_uint32), ("reserved", c_uint32),
        ("tokens", POINTER(Token)), ("morton_index", c_void_p), ("hex_index", c_void_p),
        ("order", POINTER(c_uint32)),
    ]


class UvSet(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 64), ("uvs", POINTER(c_float)), ("uv_count", c_uint32),
        ("indices", POINTER(c_uint32)), ("index_count", c_uint32), ("scope", c_uint32),
    ]


class TangentFrame(ctypes.Structure):
    _fields_ = [("tangents", POINTER(c_float)), ("bitangents", POINTER(c_float)),
                ("count", c_uint32), ("scope", c_uint32)]


class Manifold(ctypes.Structure):
    _fields_ = [
        ("vertex_faces", POINTER(c_uint32)), ("vertex_face_offsets", POINTER(c_uint32)),
        ("vertex_count", c_uint32), ("face_indices", POINTER(c_uint32)),
        ("face_offsets", POINTER(c_uint32)), ("face_count", c_uint32), ("spare0", c_void_p),
        ("spare_word", c_uint64), ("spare1", c_void_p), ("spare2", c_void_p),
    ]


class Bounds(ctypes.Structure):
    _fields_ = [("min", c_float * 3), ("max", c_float * 3)]


class Polymesh(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 256), ("path", c_char * 1024),
        ("positions", POINTER(c_float)), ("position_count", c_uint32),
        ("aux_vectors", POINTER(c_float)), ("aux_vector_count", c_uint32),
        ("normals", POINTER(c_float)), ("normal_count", c_uint32),
        ("normal_indices", POINTER(c_uint32)), ("normal_scope", c_uint32),
        ("face_counts", POINTER(c_uint32)), ("face_count", c_uint32),
        ("face_indices", POINTER(c_uint32)), ("face_index_count", c_uint32),
        ("uv_sets", POINTER(UvSet)), ("uv_set_count", c_uint32),
        ("tangent_frame", TangentFrame), ("manifold", Manifold),
        ("bounds", Bounds), ("initial_bounds", Bounds),
        ("reserved0", c_uint64), ("reserved1", c_uint32), ("sample_count", c_uint32),
        ("sample_times", POINTER(c_double)), ("transform", c_double * 16),
    ]


class Object(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 256), ("path", c_char * 1024), ("schema", c_uint32), ("reserved0", c_uint32),
        ("polymesh", POINTER(Polymesh)), ("aux_record", c_void_p), ("reserved1", c_void_p),
        ("children", c_void_p), ("child_count", c_uint32),
    ]


class ObjectInfo(ctypes.Structure):
    _fields_ = [
        ("name", c_char_p), ("path", c_char_p), ("schema_text", c_char_p), ("schema", c_uint32),
        ("parent", c_uint32), ("depth", c_uint32), ("next_sibling", c_uint32), ("instance_source", c_char_p),
    ]


class TimeSamplingInfo(ctypes.Structure):
    _fields_ = [("kind", c_uint32), ("time_per_cycle", c_double), ("time_count", c_uint32),
                ("times", POINTER(c_double)), ("max_samples", c_uint32)]


class PropertyInfo(ctypes.Structure):
    _fields_ = [
        ("name", c_char_p), ("path", c_char_p), ("metadata", c_char_p), ("kind", c_uint32), ("pod", c_uint32),
        ("extent", c_uint32), ("sample_count", c_uint32), ("stored_count", c_uint32), ("time_sampling", c_uint32),
        ("depth", c_uint32),
    ]


class Archive(ctypes.Structure):
    _fields_ = [
        ("path", c_char * 1024), ("file", c_void_p), ("version_major", c_uint8), ("version_minor", c_uint8),
        ("reserved", c_uint64), ("objects", c_void_p), ("object_count", c_uint32),
        ("polymeshes", c_void_p), ("polymesh_count", c_uint32),
        ("start_time", c_double), ("end_time", c_double), ("fps", c_double), ("root", Object),
    ]


class AlembicVertex(ctypes.Structure):
    _fields_ = [
        ("position", c_float * 3), ("matrix", c_uint8 * 3), ("padding0", c_uint8), ("morton", c_uint64),
        ("k11_level", ctypes.c_int8), ("i_state", c_uint8), ("padding1", c_uint8 * 2),
        ("phi_norm", c_float), ("em_coupling", c_float), ("topology_hash", c_uint32),
    ]


class TokenSlot(ctypes.Structure):
    _fields_ = [("token", Token), ("padding", c_uint8 * 7)]


class AlembicMesh(ctypes.Structure):
    _fields_ = [
        ("name", c_char * 64), ("vertex_count", c_uint32), ("face_count", c_uint32),
        ("positions", POINTER(c_float)), ("faces", POINTER(c_uint32)), ("bounds", c_float * 6),
        ("reserved", c_uint32), ("vertices", POINTER(AlembicVertex)), ("tokens", POINTER(TokenSlot)),
        ("layer", c_uint8),
    ]


_SIZES = {Token: 25, Unit: 48, Polymesh: 1696, Object: 1328, ObjectInfo: 48, TimeSamplingInfo: 40, PropertyInfo: 56,
          Archive: 2432, AlembicVertex: 40, TokenSlot: 32, AlembicMesh: 144}
for _record, _size in _SIZES.items():
    assert ctypes.sizeof(_record) == _size, (_record.__name__, ctypes.sizeof(_record))
