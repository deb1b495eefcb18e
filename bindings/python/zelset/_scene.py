"""What an archive says about itself: its metadata, its time samplings and its objects'
properties, read from the library's records into plain Python values."""
import ctypes
from typing import Dict, NamedTuple, Optional, Tuple

from . import _records as R

_SAMPLING_KINDS = ("uniform", "cyclic", "acyclic")
_PROPERTY_KINDS = ("compound", "scalar", "array")
# The element types of properties, in the archive's numbering.
_PODS = ("bool", "uint8", "int8", "uint16", "int16", "uint32", "int32", "uint64", "int64", "float16", "float32",
         "float64", "string", "wstring")


def text(raw: Optional[bytes]) -> str:
    """A library text as str ("" for null); bytes that are not UTF-8 are replaced."""
    return raw.decode("utf-8", "replace") if raw else ""


def metadata(written: str) -> Dict[str, str]:
    """Metadata as written ("key=value;key=value") as a dict, in written order. A value
    keeps any further "="; an entry without one maps to ""."""
    pairs = (entry.partition("=") for entry in written.split(";") if entry)
    return {key: value for key, _, value in pairs}


class TimeSampling(NamedTuple):
    """How samples map to times. kind: "uniform" (a sample every time_per_cycle seconds from
    times[0]), "cyclic" (the times of one cycle, repeated every time_per_cycle) or "acyclic"
    (every sample's time stored). max_samples: the most samples any property on it holds."""
    kind: str
    time_per_cycle: float
    times: Tuple[float, ...]
    max_samples: int


class Property(NamedTuple):
    """One property of an object. path is inside the object (".geom/P"); kind "compound",
    "scalar" or "array"; pod the element type ("float32", "int32", "string", ...; None for a
    compound) and extent the values per element (3 for a point); stored_count is 1 for a
    constant property; time_sampling indexes Archive.time_samplings; depth is 1 for the
    object's top-level properties; metadata as a dict."""
    name: str
    path: str
    kind: str
    pod: Optional[str]
    extent: int
    sample_count: int
    stored_count: int
    time_sampling: int
    depth: int
    metadata: Dict[str, str]


def _named(names: Tuple[str, ...], number: int, what: str) -> str:
    return names[number] if number < len(names) else f"{what} {number}"


def time_samplings(lib: ctypes.CDLL, archive: R.Archive) -> Tuple[TimeSampling, ...]:
    """The archive's time samplings, sampling 0 first (none when not described)."""
    info, found = R.TimeSamplingInfo(), []
    for i in range(lib.ogawa_time_sampling_count(ctypes.byref(archive))):
        if lib.ogawa_get_time_sampling(ctypes.byref(archive), i, ctypes.byref(info)) != 0:
            break
        found.append(TimeSampling(_named(_SAMPLING_KINDS, info.kind, "kind"), info.time_per_cycle,
                                  tuple(info.times[:info.time_count]), info.max_samples))
    return tuple(found)


def properties(lib: ctypes.CDLL, archive: R.Archive, number: int) -> Tuple[Property, ...]:
    """The properties of object `number` of the index, in pre-order (nested compounds
    included); none when they do not decode (ogawa_decode_properties tells)."""
    info, found = R.PropertyInfo(), []
    for i in range(lib.ogawa_property_count(ctypes.byref(archive), number)):
        if lib.ogawa_get_property(ctypes.byref(archive), number, i, ctypes.byref(info)) != 0:
            break
        compound = info.kind == 0
        found.append(Property(text(info.name), text(info.path), _named(_PROPERTY_KINDS, info.kind, "kind"),
                              None if compound else _named(_PODS, info.pod, "pod"), info.extent, info.sample_count,
                              info.stored_count, info.time_sampling, info.depth, metadata(text(info.metadata))))
    return tuple(found)
