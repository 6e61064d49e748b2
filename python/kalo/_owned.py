"""The life of an object the library made: freed exactly once, by close(), at the end of a with block,
or by the garbage collector, whichever comes first."""

import weakref


class Owned:
    _handle = None
    _finalizer = None

    def _own(self, handle, free):
        """Takes ``handle``; ``free(handle)`` releases it in the library."""
        self._handle = handle
        self._finalizer = weakref.finalize(self, free, handle)

    def close(self):
        """Frees the object. Later calls reach the library with a null handle and raise KaloError."""
        if self._finalizer is not None:
            self._finalizer()
        self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
