"""kalo: the kalo_artifacts library for Python.

The engine turns EEG samples (volts) into attention, relaxation and band
values; the detector, filters, filter lists and the filter catalogue are
offered on their own too. Everything goes through the library's C interface
(ctypes), so the numbers are those a C host gets, bit for bit.

    import kalo
    with kalo.Engine(250) as engine:            # bipolar, fft_window 500
        engine.start_calibration()
        records = engine.feed(left_volts, right_volts)   # any length: every record, one per window step

    result = kalo.analyze_file("S001R01.edf", left="O1", right="O2")
    kalo.plot_session(result, "session.png")
    study = kalo.analyze_many(paths, left="O1", right="O2")   # a DataFrame

The library is found through KALO_LIBRARY, next to this package, or by the
dynamic loader (LD_LIBRARY_PATH, installed copies). pandas, MNE and
dask.distributed are needed only by the functions that use them.
"""

from ._convert import Side
from ._host import lib as _host_lib

# The version of the package: that of the host layer it was built with.
__version__ = _host_lib.kalo_host_version().decode("ascii")
from ._library import path as library_path
from .analysis import WINDOW_DTYPE, Analysis, analyze_file, analyze_raw, analyze_samples, read_csv
from .detector import ARTIFACT_DTYPE, Detector
from .engine import MIND_DTYPE, SPECTRA_DTYPE, Engine, default_settings
from .errors import KaloError
from .filters import Filter, FilterList, catalogue
from .many import analyze_many
from .plots import plot_session

__all__ = [
    "__version__", "ARTIFACT_DTYPE", "Analysis", "Detector", "Engine", "Filter", "FilterList", "KaloError", "MIND_DTYPE",
    "SPECTRA_DTYPE", "Side", "WINDOW_DTYPE", "analyze_file", "analyze_many", "analyze_raw", "analyze_samples",
    "catalogue", "default_settings", "library_path", "plot_session", "read_csv",
]
