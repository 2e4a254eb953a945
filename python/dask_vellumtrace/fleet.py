"""vellumtrace-fleet: the timelines of many hosts' archives into one Parquet
dataset, partitioned by collection (one folder per host), with the
diagnostics beside it, and Dask's progress bar on standard error.

    vellumtrace-fleet 'hosts/*.tar.gz' -o fleet/
    vellumtrace-fleet 's3://bucket/hosts/*.tgz' -o fleet/ --scheduler tcp://10.0.0.5:8786

Each archive is fetched and extracted once for both halves. SIGINT and
SIGTERM stop the run: extractions end at their next block, every private
folder and the unfinished dataset are removed, and the exit status is 130
or 143.

Exit status: 0 when every input was read; 1 when the dataset was written but
some inputs could not be read (each named on standard error, and a
diagnostic row in the dataset), or when the run failed; 2 for a usage error
or a missing optional package. Problems are said in one line, never as a
traceback. Dask, pandas and pyarrow are imported only once the arguments
are read, so that --help and these lines need none of them.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from typing import Any, Iterator, NoReturn, Optional, Sequence

PROG = "vellumtrace-fleet"
EXIT_UNREADABLE = 1
EXIT_USAGE = 2
# How many unreadable inputs are named one by one before the rest is counted.
_NAMED = 20
# What `pip install 'vellumtrace[dask]'` brings.
_DASK_EXTRA = ("dask", "distributed", "pandas", "pyarrow", "fsspec", "numpy", "toolz", "cloudpickle")


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        """A usage error as one line (argparse prints the usage and the error)."""
        _say(f"{message} (see {PROG} --help)")
        sys.exit(EXIT_USAGE)


def _say(text: object) -> None:
    print(f"{PROG}: {' '.join(str(text).split())}", file=sys.stderr)


def _missing(error: ImportError) -> str:
    if not error.name:  # fsspec: "Install s3fs to access S3"
        return f"a Python package this input needs is missing: {error}"
    root = error.name.split(".")[0]
    if root in _DASK_EXTRA:
        return f"needs the Python package {root}: pip install 'vellumtrace[dask]'"
    return f"needs the Python package {root}: pip install {root}"


class _Stopped(KeyboardInterrupt):
    def __init__(self, signum: int) -> None:
        super().__init__(signal.Signals(signum).name)
        self.signum = signum


def _arguments(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = _Parser(
        prog=PROG,
        description="Timelines of many hosts' archives (or roots) into one Parquet dataset: "
                    "OUT/events and OUT/diagnostics, each partitioned by collection.",
        epilog="Exit status: 0 every input read; 1 the dataset was written but some inputs could not "
               "be read (named on standard error), or the run failed; 2 usage error or missing package.")
    parser.add_argument("inputs", nargs="+", metavar="GLOB",
                        help="archives or roots: paths, URLs or globs (quote them)")
    parser.add_argument("-o", "--output", required=True, metavar="OUT", help="output folder (new or empty)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a Dask distributed scheduler to run on (default: threads here)")
    parser.add_argument("--documented", action="store_true", help="the documented reading")
    parser.add_argument("--include-raw", action="store_true", help="add the raw column")
    parser.add_argument("--include-content", action="store_true", help="add the content column")
    parser.add_argument("--max-archive-bytes", type=int, help="bound of one archive's extracted size")
    return parser.parse_args(argv)


@contextlib.contextmanager
def _stopping_signals() -> Iterator[None]:
    """SIGINT and SIGTERM set the stop and interrupt the main thread once
    (a signal ignored when the program started stays ignored)."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return

    from ._partitions import STOP

    def stop(signum: int, frame: object) -> None:
        first = not STOP.is_set()
        STOP.set()
        if first:
            raise _Stopped(signum)

    previous = {}
    for signum in (signal.SIGINT, signal.SIGTERM):
        if signal.getsignal(signum) != signal.SIG_IGN:
            previous[signum] = signal.signal(signum, stop)
    try:
        yield
    finally:
        for signum, handler in previous.items():
            signal.signal(signum, handler)


def _compute_here(writes: list) -> list:
    import dask
    from dask.diagnostics import ProgressBar
    pool = ThreadPoolExecutor(max(1, os.cpu_count() or 1))
    try:
        with ProgressBar(out=sys.stderr):
            return list(dask.compute(*writes, scheduler="threads", pool=pool))
    finally:
        # After a stop, the running partitions end at their next block.
        pool.shutdown(wait=True, cancel_futures=True)


def _compute_on(address: str, writes: list) -> list:
    from distributed import Client, progress
    with Client(address) as client:
        futures = client.compute(writes)
        try:
            progress(futures)
            return list(client.gather(futures))
        except BaseException:
            client.cancel(futures)
            raise


def _write(host: Any, staging: str, index: int) -> list[tuple[str, str]]:
    """Writes one host's rows; gives (collection, message) when the host could
    not be read: no events, and nothing but rows about the whole archive (a
    host read with some members refused is read)."""
    from ._dataset import write_host

    write_host(host, staging, index)
    rows = host.diagnostics.select(["collection", "code", "message"]).to_pylist()
    about_archive = [r for r in rows if r["code"] == "unreadable_artifact" and
                     str(r["message"] or "").startswith("Archive ")]
    if host.events.num_rows or not about_archive or len(about_archive) != len(rows):
        return []
    return [(str(about_archive[0]["collection"]), str(about_archive[0]["message"]))]


def _run(args: argparse.Namespace) -> int:
    import dask

    from . import host_tasks
    from ._dataset import check_destination, discard, publish, staging_folder
    from ._partitions import STOP

    options = {"documented": args.documented, "include_raw": args.include_raw,
               "include_content": args.include_content}
    if args.max_archive_bytes is not None:
        options["max_bytes"] = args.max_archive_bytes
    try:
        hosts = host_tasks(args.inputs, **options)
        check_destination(args.output)
        staging = staging_folder(args.output)
    except (ValueError, TypeError, OSError) as error:
        _say(error)
        return EXIT_USAGE
    STOP.clear()
    try:
        with _stopping_signals():
            writes = [dask.delayed(_write, pure=False)(host, staging, index) for index, host in enumerate(hosts)]
            if args.scheduler:
                found = _compute_on(args.scheduler, writes)
            else:
                found = _compute_here(writes)
            publish(staging, args.output)
    except _Stopped as stopped:
        discard(staging)
        _say(f"stopped by {stopped}; nothing written")
        return 128 + stopped.signum
    except BaseException:
        discard(staging)
        raise
    finally:
        STOP.clear()
    print(f"{len(hosts)} inputs -> {os.path.join(args.output, 'events')}, "
          f"{os.path.join(args.output, 'diagnostics')}", file=sys.stderr)
    unreadable = sorted(row for rows in found for row in rows)
    if not unreadable:
        return 0
    _say(f"{len(unreadable)} of {len(hosts)} inputs could not be read (no events; a diagnostic row each):")
    for collection, message in unreadable[:_NAMED]:
        _say(f"{collection}: {message}")
    if len(unreadable) > _NAMED:
        _say(f"and {len(unreadable) - _NAMED} more (see {os.path.join(args.output, 'diagnostics')})")
    return EXIT_UNREADABLE


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _arguments(argv)
    try:
        return _run(args)
    except ImportError as error:
        _say(_missing(error))
        return EXIT_USAGE
    except KeyboardInterrupt:
        _say("interrupted")
        return 130
    except Exception as error:  # noqa: BLE001 - one line for the person, not a traceback
        _say(f"failed: {type(error).__name__}: {error}")
        return 1


if __name__ == "__main__":
    sys.exit(main())
