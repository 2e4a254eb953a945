"""vellumtrace-fleet: the timelines of many hosts' archives into one Parquet
dataset, partitioned by collection (one folder per host), with the
diagnostics beside it, and Dask's progress bar on standard error.

    vellumtrace-fleet 'hosts/*.tar.gz' -o fleet/
    vellumtrace-fleet 's3://bucket/hosts/*.tgz' -o fleet/ --scheduler tcp://10.0.0.5:8786

Each archive is fetched and extracted once for both halves. SIGINT and
SIGTERM stop the run: extractions end at their next block, every private
folder and the unfinished dataset are removed, and the exit status is 130
or 143.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from typing import Iterator, Optional, Sequence

import dask

from . import host_tasks
from ._dataset import check_destination, discard, publish, staging_folder, write_host
from ._partitions import STOP


class _Stopped(KeyboardInterrupt):
    def __init__(self, signum: int) -> None:
        super().__init__(signal.Signals(signum).name)
        self.signum = signum


def _arguments(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="vellumtrace-fleet",
        description="Timelines of many hosts' archives (or roots) into one Parquet dataset: "
                    "OUT/events and OUT/diagnostics, each partitioned by collection.")
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


def _compute_here(writes: list) -> None:
    from dask.diagnostics import ProgressBar
    pool = ThreadPoolExecutor(max(1, os.cpu_count() or 1))
    try:
        with ProgressBar(out=sys.stderr):
            dask.compute(*writes, scheduler="threads", pool=pool)
    finally:
        # After a stop, the running partitions end at their next block.
        pool.shutdown(wait=True, cancel_futures=True)


def _compute_on(address: str, writes: list) -> None:
    from distributed import Client, progress
    with Client(address) as client:
        futures = client.compute(writes)
        try:
            progress(futures)
            client.gather(futures)
        except BaseException:
            client.cancel(futures)
            raise


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _arguments(argv)
    options = {"documented": args.documented, "include_raw": args.include_raw,
               "include_content": args.include_content}
    if args.max_archive_bytes is not None:
        options["max_bytes"] = args.max_archive_bytes
    try:
        hosts = host_tasks(args.inputs, **options)
        check_destination(args.output)
        staging = staging_folder(args.output)
    except (ValueError, OSError) as error:
        print(f"vellumtrace-fleet: {error}", file=sys.stderr)
        return 2
    STOP.clear()
    try:
        with _stopping_signals():
            writes = [dask.delayed(write_host, pure=False)(host, staging, index) for index, host in enumerate(hosts)]
            if args.scheduler:
                _compute_on(args.scheduler, writes)
            else:
                _compute_here(writes)
            publish(staging, args.output)
    except _Stopped as stopped:
        discard(staging)
        print(f"vellumtrace-fleet: stopped by {stopped}; nothing written", file=sys.stderr)
        return 128 + stopped.signum
    except BaseException:
        discard(staging)
        raise
    finally:
        STOP.clear()
    print(f"{len(hosts)} inputs -> {os.path.join(args.output, 'events')}, "
          f"{os.path.join(args.output, 'diagnostics')}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
