"""Objects that hold library memory until close() or the end of a with block."""
from typing import Any

from ._errors import ClosedError


class Owned:
    """Holds a library record in self._record (None once closed); subclasses release it in
    _release and name themselves in _what."""

    _what = "object"
    _record: Any = None

    def __enter__(self):
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self) -> None:
        self.close()

    @property
    def closed(self) -> bool:
        """True once close() was called (or opening failed)."""
        return self._record is None

    def close(self) -> None:
        """Releases the library memory; later calls do nothing."""
        if self._record is not None:
            self._release(self._record)
            self._record = None

    def _release(self, record) -> None:
        raise NotImplementedError

    def _live(self) -> Any:
        """The record, or ClosedError when it was closed."""
        if self._record is None:
            raise ClosedError(f"operation on a closed {self._what}")
        return self._record
