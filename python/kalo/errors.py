"""The one exception of the package for calls the library did not carry out."""

REFUSED = 1                # a call the library refused: bad argument, settings, mode, null handle
STANDARD_EXCEPTION = 1002  # a failure inside, with its description
OTHER_FAILURE = 1003       # "Invalid error!"


class KaloError(RuntimeError):
    """A library call failed.

    ``code`` is the status code of the engine's and the detector's functions
    (1 refused, 1002 failure inside, 1003 other failure), or None for the
    filter functions, whose error flag carries no code and no message: their
    ``message`` is written here, from what the call was asked to do.
    ``function`` names the C function that failed.
    """

    def __init__(self, function, message, code=None):
        self.function = function
        self.message = message
        self.code = code
        where = f"{function}: {message}"
        super().__init__(where if code is None else f"{where} (code {code})")


def check_status(function, status, ok=None):
    """Raises KaloError unless the status record (and the returned flag) say success."""
    if (ok is None or ok) and status.success:
        return
    message = status.error_msg.decode("utf-8", "replace") or "the call failed without a message"
    raise KaloError(function, message, status.error_code)
