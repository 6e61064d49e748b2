"""Conversions shared by the wrappers: sample arrays, integers, sides, tables."""

import enum
import operator

import numpy as np


class Side(enum.IntEnum):
    """A bipolar side; as a priority, NONE means: stay on a side while it is clean."""

    LEFT = 0
    RIGHT = 1
    NONE = 2


def side(value):
    """Side from a Side, its number, or its name in any case ("left", "RIGHT", "none")."""
    if isinstance(value, str):
        try:
            return Side[value.upper()]
        except KeyError:
            raise ValueError(f"side must be 'left', 'right' or 'none', not {value!r}") from None
    return Side(operator.index(value))


def samples(values, name="samples"):
    """Volts as a C-ordered float64 array (the library reads doubles in place), from floating-point
    arrays of any dtype and layout. Masked arrays and integers are refused: the library would see the
    masked values, and whole numbers are counts or microvolts, never volts of EEG."""
    if isinstance(values, np.ma.MaskedArray):
        raise TypeError(f"{name}: a masked array; the library would analyse the masked samples too. Pass "
                        "the samples to analyse as a plain array (array.filled(...) or array.compressed())")
    array = np.asarray(values)
    if array.dtype == object:
        try:
            array = array.astype(np.float64)
        except (TypeError, ValueError):
            raise TypeError(f"{name} must be real numbers (volts), got objects that are not numbers") from None
    if np.issubdtype(array.dtype, np.integer):
        raise TypeError(f"{name} must be volts as floating-point numbers, not integers of dtype {array.dtype}: "
                        "convert raw counts or microvolts to volts first (e.g. samples * 1e-6 for microvolts)")
    if not np.issubdtype(array.dtype, np.floating):
        raise TypeError(f"{name} must be real numbers (volts), not an array of dtype {array.dtype}")
    # asarray keeps a scalar 0-D (ascontiguousarray would make it 1-D) and copies only when needed.
    return np.asarray(array, dtype=np.float64, order="C")


def int32(name, value):
    """An int that fits the library's 32-bit fields: ctypes would silently wrap a larger one."""
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {value!r}") from None
    if not -2**31 <= number < 2**31:
        raise ValueError(f"{name} = {number} does not fit a signed 32-bit integer")
    return number


def flag(name, value):
    if isinstance(value, (bool, np.bool_)) or value in (0, 1):
        return bool(value)
    raise TypeError(f"{name} must be True or False, not {value!r}")


def table(array, as_frame):
    """A structured array, or the same columns as a pandas DataFrame."""
    if not as_frame:
        return array
    try:
        import pandas
    except ImportError:
        raise ImportError("as_frame=True needs pandas (Debian: python3-pandas)") from None
    return pandas.DataFrame(array)
