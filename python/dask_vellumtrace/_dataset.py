"""The fleet's Parquet dataset: OUT/events and OUT/diagnostics, each
partitioned by collection (hive style, `collection=HOST`), one file per host
written straight from the host's Arrow tables. The files carry no pandas
metadata, so pandas, Dask, pyarrow, polars and DuckDB all read them back.
The dataset is built in a folder beside OUT and renamed into place once
complete: a run that fails or is stopped leaves no partial dataset."""

from __future__ import annotations

import os
import shutil
import tempfile

import pyarrow.dataset as ds

from ._partitions import DIAGNOSTICS, EVENTS, HostTables

HALVES = (EVENTS, DIAGNOSTICS)


def check_destination(out: str) -> None:
    """Raises ValueError unless `out` is new or an empty folder."""
    if not os.path.lexists(out):
        return
    if os.path.islink(out) or not os.path.isdir(out) or os.listdir(out):
        raise ValueError(f"{out} exists: give a new or empty folder")


def staging_folder(out: str) -> str:
    """A private folder beside `out`, on its file system, for the dataset."""
    folder = tempfile.mkdtemp(prefix=".vellumtrace-fleet-", dir=os.path.dirname(os.path.abspath(out)))
    for half in HALVES:
        os.mkdir(os.path.join(folder, half))
    return folder


def write_host(tables: HostTables, folder: str, index: int) -> int:
    """Writes one host's rows into the staged dataset; returns its event count."""
    for half, table in zip(HALVES, tables):
        if table.num_rows:
            ds.write_dataset(table, os.path.join(folder, half), format="parquet", partitioning=["collection"],
                             partitioning_flavor="hive", basename_template=f"part-{index:06d}-{{i}}.parquet",
                             existing_data_behavior="overwrite_or_ignore")
    return tables.events.num_rows


def publish(folder: str, out: str) -> None:
    """Moves the complete dataset to `out` (a new name, or over an empty folder)."""
    check_destination(out)
    os.rename(folder, out)


def discard(folder: str) -> None:
    shutil.rmtree(folder, ignore_errors=True)
