"""The exceptions zelset raises. Each is a ZelsetError and also the built-in exception a
Python user expects for its cause, so `except KeyError` and `except ZelsetError` both work."""
import errno as _errno
from typing import Optional, Type


class ZelsetError(Exception):
    """Base of every zelset error. When a library call failed, function and status name
    the call and the status it returned; otherwise both are None."""

    function: Optional[str] = None
    status: Optional[int] = None


class NotAnArchiveError(ZelsetError):
    """The file is not an Alembic archive in the Ogawa container (an HDF5-based Alembic
    archive is one of them, and the message says so), or it is a whole Ogawa container whose
    Alembic description does not decode and salvage was not asked for."""


class DamagedArchiveError(ZelsetError, ValueError):
    """An Ogawa archive whose structure is broken (cut short, overwritten, a reference out of
    the file): it is refused whole, salvage or not, and the message says what was found."""


class ClosedError(ZelsetError, ValueError):
    """An operation on an archive, unit or token mesh that was closed."""


class ObjectNotFoundError(ZelsetError, KeyError):
    """The archive has no object at that path."""

    def __str__(self) -> str:  # the message, not KeyError's quoted key
        return str(self.args[0]) if self.args else ""


class NotAMeshError(ZelsetError, TypeError):
    """The object exists but is not a polygon mesh (nor a subdivision surface)."""


class SampleOutOfRangeError(ZelsetError, IndexError):
    """A sample index that is negative, at least 2**32, or past the mesh's last sample."""


class InvalidInputError(ZelsetError, ValueError):
    """An input array of the wrong shape, or with a value out of range; the message names
    the first bad row."""


class InputTypeError(ZelsetError, TypeError):
    """An input array whose element type cannot be converted without losing values."""


class ZelsetOSError(ZelsetError, OSError):
    """A file that cannot be opened (errno and filename as OSError gives them)."""


class MissingFileError(ZelsetOSError, FileNotFoundError):
    """A file that does not exist."""


class FilePermissionError(ZelsetOSError, PermissionError):
    """A file that may not be read or written."""


def failed_call(error: ZelsetError, function: str, status: int) -> ZelsetError:
    """error, marked with the library call that failed and its status."""
    error.function, error.status = function, status
    return error


def os_error(cause: OSError) -> ZelsetOSError:
    """The zelset error of cause's kind, with its errno, text and file name."""
    kinds: dict = {_errno.ENOENT: MissingFileError, _errno.EACCES: FilePermissionError,
                   _errno.EPERM: FilePermissionError}
    kind: Type[ZelsetOSError] = kinds.get(cause.errno, ZelsetOSError)
    return kind(cause.errno, cause.strerror, cause.filename)
