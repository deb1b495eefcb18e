"""Objects that hold library memory until close() or the end of a with block."""
import contextlib
import threading
from typing import Any, Iterator

from ._errors import ClosedError


class Owned:
    """Holds a library record in self._record (None once closed); subclasses release it in
    _release and name themselves in _what.

    Calls reach the record through _using(), which also keeps threads apart: close() waits
    for the calls under way, and a record the library allows only one thread at a time to
    use (_shared False: archives, token meshes) takes one call at a time. Units answer
    concurrent lookups, so their calls overlap."""

    _what = "object"
    _shared = False
    _record: Any = None

    def __init__(self) -> None:
        self._calls = 0
        self._turn = threading.Condition()

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
        """Releases the library memory, once the calls under way have returned; later calls
        do nothing."""
        if self._record is None:  # also where __init__ failed before the record was made
            return
        with self._turn:
            self._turn.wait_for(lambda: self._calls == 0)
            if self._record is not None:
                self._release(self._record)
                self._record = None

    def _release(self, record) -> None:
        raise NotImplementedError

    @contextlib.contextmanager
    def _using(self) -> Iterator[Any]:
        """The record, for one call; ClosedError when it was closed."""
        with self._turn:
            self._turn.wait_for(lambda: self._shared or self._calls == 0)
            if self._record is None:
                raise ClosedError(f"operation on a closed {self._what}")
            self._calls += 1
        try:
            yield self._record
        finally:
            with self._turn:
                self._calls -= 1
                self._turn.notify_all()
