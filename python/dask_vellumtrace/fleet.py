"""vellumtrace-fleet: the timelines of many hosts' archives into one Parquet
dataset, partitioned by collection (one folder per host), with the
diagnostics beside it, and Dask's progress bar on standard error.

    vellumtrace-fleet 'hosts/*.tar.gz' -o fleet/
    vellumtrace-fleet 's3://bucket/hosts/*.tgz' -o fleet/ --scheduler tcp://10.0.0.5:8786
"""

from __future__ import annotations

import argparse
import os
import sys
from typing import Optional, Sequence

import dask

from . import read_diagnostics, read_roots


def _arguments(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="vellumtrace-fleet",
        description="Timelines of many hosts' archives (or roots) into one Parquet dataset: "
                    "OUT/events and OUT/diagnostics, each partitioned by collection.")
    parser.add_argument("inputs", nargs="+", metavar="GLOB",
                        help="archives or roots: paths, URLs or globs (quote them)")
    parser.add_argument("-o", "--output", required=True, metavar="OUT", help="output folder")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a Dask distributed scheduler to run on (default: threads here)")
    parser.add_argument("--documented", action="store_true", help="the documented reading")
    parser.add_argument("--include-raw", action="store_true", help="add the raw column")
    parser.add_argument("--include-content", action="store_true", help="add the content column")
    parser.add_argument("--max-archive-bytes", type=int, help="bound of one archive's extracted size")
    return parser.parse_args(argv)


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _arguments(argv)
    options = {"documented": args.documented, "include_raw": args.include_raw,
               "include_content": args.include_content}
    if args.max_archive_bytes is not None:
        options["max_bytes"] = args.max_archive_bytes
    try:
        events = read_roots(args.inputs, **options)
        diagnostics = read_diagnostics(args.inputs, **options)
    except (ValueError, OSError) as error:
        print(f"vellumtrace-fleet: {error}", file=sys.stderr)
        return 2
    writes = [frame.to_parquet(os.path.join(args.output, name), partition_on=["collection"],
                               write_index=False, compute=False)
              for name, frame in (("events", events), ("diagnostics", diagnostics))]
    if args.scheduler:
        from distributed import Client, progress
        with Client(args.scheduler) as client:
            futures = client.compute(writes)
            progress(futures)
            client.gather(futures)
    else:
        from dask.diagnostics import ProgressBar
        with ProgressBar(out=sys.stderr):
            dask.compute(*writes, scheduler="threads")
    print(f"{events.npartitions} inputs -> {os.path.join(args.output, 'events')}, "
          f"{os.path.join(args.output, 'diagnostics')}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
