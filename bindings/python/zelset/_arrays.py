"""Arrays between Python and the library: copied out once into numpy arrays (array.array
without numpy), and taken in checked: shapes, element types and ranges, with the first bad
row named."""
import array
import ctypes
import numbers
import operator
import os
from ctypes import POINTER, c_double, c_float, c_int32, c_uint8, c_uint32, c_uint64
from typing import Any, NamedTuple, Optional

from ._errors import InputTypeError, InvalidInputError, ZelsetError


def _load_numpy():
    if os.environ.get("ZELSET_NO_NUMPY"):
        return None
    try:
        import numpy
    except ImportError:
        return None
    return numpy


np = _load_numpy()


class _Kind(NamedTuple):
    typecode: str         # array.array's
    dtype: str            # numpy's
    limit: Optional[int]  # inputs: the largest value of an unsigned kind, None for floats


# int32 is only copied out (lookup positions); every integer taken in is unsigned.
_KINDS = {c_float: _Kind("f", "float32", None), c_double: _Kind("d", "float64", None),
          c_uint32: _Kind("I", "uint32", 2**32 - 1), c_int32: _Kind("i", "int32", None),
          c_uint64: _Kind("Q", "uint64", 2**64 - 1), c_uint8: _Kind("B", "uint8", 255)}


def copy_out(pointer, rows: int, ctype, columns: int = 1):
    """rows x columns values of library memory, copied once into a new array."""
    kind = _KINDS[ctype]
    count = rows * columns if pointer else 0
    nbytes = count * ctypes.sizeof(ctype)
    if np is not None:
        out = np.empty((count // columns, columns) if columns > 1 else (count,), dtype=kind.dtype)
        address = out.ctypes.data
    else:
        out = array.array(kind.typecode, [0]) * count  # sized in one pass, then filled
        address = out.buffer_info()[0]
    if nbytes:
        ctypes.memmove(address, pointer, nbytes)
    return out


class Input(NamedTuple):
    pointer: Any  # what the C function takes; None for no values
    count: int    # rows of `columns` values
    keep: Any     # the object that owns the memory, alive while the call runs


def _where(name: str, index: int, columns: int) -> str:
    return f"{name} row {index // columns}" if columns > 1 else f"{name}[{index}]"


def _fault(value, limit: Optional[int]) -> Optional[ZelsetError]:
    """Why value cannot be an element of a kind (integers within 0..limit, or numbers when
    limit is None), as the error to raise without its place; None when it can."""
    if limit is None:
        return None if isinstance(value, numbers.Real) else InputTypeError(f"{value!r} is not a number")
    try:
        integer = operator.index(value)
    except TypeError:
        return InputTypeError(f"{value!r} is not an integer")
    return None if 0 <= integer <= limit else InvalidInputError(f"{integer} is not within 0..{limit}")


def _placed(error: ZelsetError, name: str, index: int, columns: int) -> ZelsetError:
    """error, its message prefixed with the place of the bad value."""
    return type(error)(f"{_where(name, index, columns)}: {error}")


def _numpy_values(values, name: str, kind: _Kind, columns: int):
    shape = " x ".join(map(str, values.shape))
    if columns > 1 and not (values.ndim == 2 and values.shape[1] == columns or values.ndim == 1):
        raise InvalidInputError(f"{name} must be n x {columns}, not {shape}")
    if columns == 1 and values.ndim != 1:
        raise InvalidInputError(f"{name} must be one-dimensional, not {shape}")
    if values.dtype.kind not in ("fiu" if kind.limit is None else "iu"):
        wanted = "numbers" if kind.limit is None else "integers"
        raise InputTypeError(f"{name} must hold {wanted}, not {values.dtype}")
    flat = values.reshape(-1)
    if kind.limit is not None and flat.size:
        bounds = np.iinfo(flat.dtype)
        bad = np.zeros(flat.shape, dtype=bool)
        if bounds.min < 0:
            bad |= flat < 0
        if bounds.max > kind.limit:
            bad |= flat > np.array(kind.limit, dtype=flat.dtype)
        if bad.any():
            index = int(np.argmax(bad))
            raise _placed(_fault(int(flat[index]), kind.limit), name, index, columns)
    return np.ascontiguousarray(flat, dtype=kind.dtype)


def _sequence_values(values, name: str, kind: _Kind, columns: int) -> array.array:
    """Values of any other sequence (array.array, flat or nested lists, bytes) as array.array."""
    if isinstance(values, array.array) and values.typecode == kind.typecode:
        return values
    flat = list(values)
    if columns > 1 and flat and not isinstance(flat[0], numbers.Real):
        for row, items in enumerate(flat):
            size = len(items) if hasattr(items, "__len__") else 1
            if size != columns:
                raise InvalidInputError(f"{name} row {row} has {size} values, not {columns}")
        flat = [v for items in flat for v in items]
    try:
        return array.array(kind.typecode, flat)
    except (TypeError, OverflowError) as failure:
        faults = ((i, _fault(v, kind.limit)) for i, v in enumerate(flat))
        index, fault = next(((i, f) for i, f in faults if f), (0, InputTypeError(str(failure))))
        raise _placed(fault, name, index, columns) from None


def _first_at_least(flat, bound: int) -> Optional[int]:
    """Index of the first value >= bound, or None."""
    if np is not None and isinstance(flat, np.ndarray):
        return int(np.argmax(flat >= bound)) if flat.size and flat.max() >= bound else None
    return next((i for i, v in enumerate(flat) if v >= bound), None) if flat and max(flat) >= bound else None


def checked_in(values, name: str, ctype, columns: int = 1, below: Optional[int] = None) -> Input:
    """values as a C array of ctype in rows of `columns` (numpy n x columns or flat, nested
    sequences or flat). Numpy arrays and array.array of the C type pass as they lie in
    memory; other element types are converted when no value changes, else refused. below,
    when given, bounds every value (indices into something of that size)."""
    kind = _KINDS[ctype]
    if np is not None and isinstance(values, np.ndarray):
        flat = _numpy_values(values, name, kind, columns)
    else:
        flat = _sequence_values(values, name, kind, columns)
    count = len(flat)
    if count % columns:
        raise InvalidInputError(f"{name} holds {count} values, not rows of {columns}")
    over = None if below is None else _first_at_least(flat, below)
    if over is not None:
        raise InvalidInputError(f"{_where(name, over, columns)}: {int(flat[over])} is not below {below}")
    if not count:
        return Input(None, 0, flat)
    pointer = flat.ctypes.data_as(POINTER(ctype)) if np is not None and isinstance(flat, np.ndarray) \
        else (ctype * count).from_buffer(flat)
    return Input(pointer, count // columns, flat)


def id_words(ids, name: str = "ids") -> Input:
    """Ids as 8-byte words (first character lowest): strings of up to 8 ASCII characters are
    packed, integers pass as u64 words."""
    if len(ids) and isinstance(ids[0], str):
        words = array.array("Q")
        words.frombytes(b"".join(id_bytes(i, f"{name}[{n}]") for n, i in enumerate(ids)))
        return checked_in(words, name, c_uint64)
    return checked_in(ids, name, c_uint64)


def id_bytes(hex_id, name: str = "id") -> bytes:
    """The 8 bytes of an id as tokens hold it: up to 8 ASCII characters, NUL-padded."""
    if not isinstance(hex_id, str):
        raise InputTypeError(f"{name}: {hex_id!r} is not a string")
    if not hex_id.isascii() or len(hex_id) > 8:
        raise InvalidInputError(f"{name}: {hex_id!r} is not up to 8 ASCII characters")
    return hex_id.encode("ascii").ljust(8, b"\0")


def checked_integer(value, name: str, limit: int) -> int:
    """A single integer argument within 0..limit."""
    fault = _fault(value, limit)
    if fault:
        raise type(fault)(f"{name}: {fault}")
    return operator.index(value)


def fan(face_counts, face_indices):
    """Fan triangulation of every face from its first corner (faces of fewer than 3 corners
    give none): t x 3 indices (flat without numpy)."""
    if np is not None:
        counts = np.asarray(face_counts, dtype=np.int64)
        indices = np.asarray(face_indices, dtype=np.uint32)
        starts = np.cumsum(counts) - counts
        fans = np.maximum(counts - 2, 0)
        first = np.repeat(starts, fans)
        step = np.arange(int(fans.sum())) - np.repeat(np.cumsum(fans) - fans, fans)
        return np.stack([indices[first], indices[first + step + 1], indices[first + step + 2]], axis=1)
    out, cursor = array.array("I"), 0
    for n in face_counts:
        for k in range(n - 2):
            out.extend((face_indices[cursor], face_indices[cursor + k + 1], face_indices[cursor + k + 2]))
        cursor += n
    return out

