"""A study: many recordings, each analysed in a worker process, on this machine or a dask cluster.

Workers are processes, never threads: the library serialises every engine of
a process on one lock, so threads would take turns. Without a client the
recordings go to a local process pool started with "spawn": a forked child
would inherit the parent's library state, including a lock another thread of
the parent might hold at that moment. With a dask.distributed Client the
recordings are handed to the client's workers with client.map; dask does the
scheduling. Give its workers one thread each (LocalCluster(threads_per_worker=1),
dask worker --nthreads 1) so that no two recordings share a process.
"""

import concurrent.futures
import functools
import multiprocessing
import os

import numpy as np

from .analysis import SUMMARY_COLUMNS, WINDOW_DTYPE, analyze_file

ON_ERROR = ("raise", "record")


def _analyze_one(path, options, keep_windows, on_error):
    """Runs in a worker: (summary row, per-window table or None)."""
    try:
        result = analyze_file(path, keep_signal=False, **options)
    except Exception as error:
        if on_error == "raise":
            if hasattr(error, "add_note"):  # Python 3.11; the note travels back with the pickled exception
                error.add_note(f"while analysing {path}")
            raise
        return {"recording": path, "error": f"{type(error).__name__}: {error}"}, None
    return dict(result.summary, error=None), (result.windows if keep_windows else None)


_GUARD = ("analyze_many starts worker processes, and each worker runs the calling script again before it "
          "starts; a script that calls analyze_many at its top level must do so under\n"
          "    if __name__ == \"__main__\":\n"
          "so that the workers, which import it under another name, do not call it themselves")


def _refuse_while_a_worker_starts():
    """A worker started with "spawn" runs the parent's main script again (as __mp_main__) while it is still
    inheriting its parent's state: a call made then is the script's unguarded top level. The worker stops
    quietly; its parent, which sees the pool break, explains."""
    if getattr(multiprocessing.current_process(), "_inheriting", False):
        raise SystemExit(1)


def analyze_many(paths, client=None, *, windows=False, as_frame=True, on_error="raise", max_workers=None,
                 **options):
    """Analyses every recording of ``paths`` (CSV or anything MNE reads) with the same options.

    ``client``: a dask.distributed Client to spread the recordings over its
    workers; None runs them in a local pool of ``max_workers`` processes (the
    number of processors by default). ``options`` are those of
    kalo.analyze_file: channels (``left``/``right`` or ``channels``), engine
    settings and setters.

    Returns the summary table, one row per recording in the order of
    ``paths`` (a pandas DataFrame, or a list of dicts with
    ``as_frame=False``), with an ``error`` column. ``windows=True`` returns
    ``(summary, windows)``: the per-window rows of every recording, as one
    DataFrame whose first column names the recording, or as a list of
    structured arrays in the order of ``paths``.

    ``on_error``: "raise" (the first failure is raised, with a note naming
    the recording) or "record" (a failed recording gets a row holding only
    its name and the error; the others go on).

    Without a client the workers are processes that import the calling
    script again, so a script calls analyze_many under a guard::

        import kalo

        if __name__ == "__main__":
            study = kalo.analyze_many(paths, left="O1", right="O2")
    """
    _refuse_while_a_worker_starts()
    if on_error not in ON_ERROR:
        raise ValueError(f"on_error must be one of {', '.join(ON_ERROR)}, not {on_error!r}")
    if isinstance(paths, (str, os.PathLike)):
        raise TypeError("paths is a list of recordings; for one recording use kalo.analyze_file")
    paths = [os.fspath(p) for p in paths]
    job = functools.partial(_analyze_one, options=options, keep_windows=windows, on_error=on_error)
    if not paths:
        outcomes = []
    elif client is not None:
        # pure=False: two identical paths are still two recordings of the study.
        outcomes = client.gather(client.map(job, paths, pure=False))
    else:
        workers = min(len(paths), max_workers or os.cpu_count() or 1)
        try:
            with concurrent.futures.ProcessPoolExecutor(workers,
                                                        mp_context=multiprocessing.get_context("spawn")) as pool:
                outcomes = list(pool.map(job, paths))
        except concurrent.futures.process.BrokenProcessPool:
            raise RuntimeError("a worker process stopped before it could analyse anything. " + _GUARD) from None

    rows = [row for row, _ in outcomes]
    tables = [table if table is not None else np.zeros(0, WINDOW_DTYPE) for _, table in outcomes]
    if not as_frame:
        return (rows, tables) if windows else rows
    try:
        import pandas
    except ImportError:
        raise ImportError("analyze_many returns DataFrames, which need pandas (Debian: python3-pandas); "
                          "as_frame=False returns plain rows") from None
    summary = pandas.DataFrame(rows, columns=SUMMARY_COLUMNS + ["error"])
    if not windows:
        return summary
    frames = [pandas.DataFrame(table).assign(recording=path) for path, table in zip(paths, tables)]
    per_window = (pandas.concat(frames, ignore_index=True) if frames
                  else pandas.DataFrame(np.zeros(0, WINDOW_DTYPE)).assign(recording=""))
    return summary, per_window[["recording"] + list(WINDOW_DTYPE.names)]
