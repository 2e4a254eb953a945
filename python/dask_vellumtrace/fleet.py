"""vellumtrace-fleet: the timelines of many hosts' archives into one Parquet
dataset, partitioned by collection (one folder per host), with the
diagnostics beside it, and Dask's progress bar on standard error.

    vellumtrace-fleet 'hosts/*.tar.gz' -o fleet/
    vellumtrace-fleet 's3://bucket/hosts/*.tgz' -o fleet/ --scheduler tcp://10.0.0.5:8786

Exit status: 0 when every input was read; 1 when the dataset was written but
some inputs could not be read (each named on standard error, and a
diagnostic row in the dataset), or when the run failed; 2 for a usage error
or a missing optional package. Problems are said in one line, never as a
traceback.
"""

from __future__ import annotations

import argparse
import os
import sys
from typing import NoReturn, Optional, Sequence

PROG = "vellumtrace-fleet"
EXIT_UNREADABLE = 1
EXIT_USAGE = 2
# How many unreadable inputs are named one by one before the rest is counted.
_NAMED = 20


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        """A usage error as one line (argparse prints the usage and the error)."""
        _say(f"{message} (see {PROG} --help)")
        sys.exit(EXIT_USAGE)


def _say(text: str) -> None:
    print(f"{PROG}: {' '.join(str(text).split())}", file=sys.stderr)


def _arguments(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    parser = _Parser(
        prog=PROG,
        description="Timelines of many hosts' archives (or roots) into one Parquet dataset: "
                    "OUT/events and OUT/diagnostics, each partitioned by collection.",
        epilog="Exit status: 0 every input read; 1 the dataset was written but some inputs could not "
               "be read (named on standard error), or the run failed; 2 usage error or missing package.")
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


# What `pip install 'vellumtrace[dask]'` brings.
_DASK_EXTRA = ("dask", "distributed", "pandas", "pyarrow", "fsspec", "numpy", "toolz", "cloudpickle")


def _missing(error: ImportError) -> str:
    if not error.name:  # fsspec: "Install s3fs to access S3"
        return f"a Python package this input needs is missing: {error}"
    root = error.name.split(".")[0]
    if root in _DASK_EXTRA:
        return f"needs the Python package {root}: pip install 'vellumtrace[dask]'"
    return f"needs the Python package {root}: pip install {root}"


def _unreadable(diagnostics_folder: str) -> list[tuple[str, str]]:
    """The inputs that gave no timeline, as (collection, message), from the
    diagnostics the run wrote: its rows about a whole archive."""
    import pyarrow as pa
    import pyarrow.parquet as pq

    try:
        table = pq.read_table(diagnostics_folder, columns=["collection", "code", "severity", "message"])
    except pa.ArrowInvalid:
        return []  # no diagnostic at all: no file written
    found = []
    for row in table.to_pylist():
        message = str(row["message"] or "")
        if row["code"] == "unreadable_artifact" and row["severity"] == "error" and message.startswith("Archive "):
            found.append((str(row["collection"]), message))
    return sorted(found)


def _run(args: argparse.Namespace) -> int:
    import dask

    from . import read_diagnostics, read_roots

    options = {"documented": args.documented, "include_raw": args.include_raw,
               "include_content": args.include_content}
    if args.max_archive_bytes is not None:
        options["max_bytes"] = args.max_archive_bytes
    try:
        events = read_roots(args.inputs, **options)
        diagnostics = read_diagnostics(args.inputs, **options)
    except (ValueError, TypeError, OSError) as error:
        _say(error)
        return EXIT_USAGE
    folders = {name: os.path.join(args.output, name) for name in ("events", "diagnostics")}
    writes = [frame.to_parquet(folders[name], partition_on=["collection"], write_index=False, compute=False)
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
    inputs = events.npartitions
    print(f"{inputs} inputs -> {folders['events']}, {folders['diagnostics']}", file=sys.stderr)
    unreadable = _unreadable(folders["diagnostics"])
    if not unreadable:
        return 0
    _say(f"{len(unreadable)} of {inputs} inputs could not be read (no events; a diagnostic row each):")
    for collection, message in unreadable[:_NAMED]:
        _say(f"{collection}: {message}")
    if len(unreadable) > _NAMED:
        _say(f"and {len(unreadable) - _NAMED} more (see {folders['diagnostics']})")
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
