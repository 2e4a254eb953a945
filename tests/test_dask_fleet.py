"""dask_vellumtrace on a real two-worker cluster (processes, loopback only):
host archives built from the corpus give the rows of a Timeline of each root
alone; hostile archives give one diagnostic each and nothing else, and write
nothing outside their private folder; a killed worker's partitions are
retried; vellumtrace-fleet writes the Parquet dataset."""

import gzip
import io
import os
import shutil
import signal
import tarfile

import pytest

pa = pytest.importorskip("pyarrow")
pq = pytest.importorskip("pyarrow.parquet")
distributed = pytest.importorskip("distributed")
dask_vellumtrace = pytest.importorskip("dask_vellumtrace")

import vellumtrace  # noqa: E402
from dask_vellumtrace import fleet  # noqa: E402
from timeline_rows import plain_rows  # noqa: E402

HOSTS = 40
# Times of the extracted copy itself, not of what the host held.
COPY_TIMES = ("fs_accessed", "fs_created")


def whole_second_copy(home, target):
    """`home` copied with whole-second times, which a tar header keeps exactly."""
    shutil.copytree(home, target, symlinks=True)
    for folder, _, files in os.walk(target):
        for name in files:
            path = os.path.join(folder, name)
            if not os.path.islink(path):
                seconds = int(os.stat(path).st_mtime)
                os.utime(path, (seconds, seconds))
    return target


def rows_by_collection(table):
    grouped = {}
    for row in plain_rows(table):
        for name in COPY_TIMES:
            row.pop(name, None)
        grouped.setdefault(row["collection"], []).append(row)
    return {k: sorted(v, key=lambda r: r["sequence"]) for k, v in grouped.items()}


def frame_table(frame):
    return pa.Table.from_pandas(frame, preserve_index=False)


@pytest.fixture(scope="module")
def hosts(tmp_path_factory, corpus_dir):
    """40 host archives (gzip and plain tar), each a copy of a corpus home,
    and the rows of a Timeline of each copy alone."""
    base = tmp_path_factory.mktemp("hosts")
    homes = sorted(p for p in corpus_dir.iterdir() if p.is_dir())
    copies = [whole_second_copy(home, base / "copies" / home.name) for home in homes]
    archives = base / "archives"
    archives.mkdir()
    expected = {}
    for index in range(HOSTS):
        copy = copies[index % len(copies)]
        name = f"host-{index:02d}"
        suffix = ".tar.gz" if index % 2 else ".tar"
        with tarfile.open(archives / (name + suffix), "w:gz" if index % 2 else "w") as tar:
            tar.add(copy, arcname=name)
        # The archive names its root holder by its place there: the top folder.
        expected.update(rows_by_collection(vellumtrace.Timeline(copy, collection=name, labels=[name])))
    return archives, expected


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def test_hosts_give_the_rows_of_each_root_alone(hosts, client, tmp_path):
    archives, expected = hosts
    frame = dask_vellumtrace.read_roots(str(archives / "host-*"), tmpdir=str(tmp_path))
    assert frame.npartitions == HOSTS
    got = rows_by_collection(frame_table(client.compute(frame).result()))
    assert got.keys() == expected.keys() and got == expected
    assert not os.listdir(tmp_path)  # every private folder removed


def kill_holder_of_first(client, futures):
    """Kills the worker process holding the first partition done, so that at
    least that partition is lost; returns the killed process id."""
    first = next(distributed.as_completed(futures))
    holder = client.who_has([first])[first.key][0]
    pid = client.run(os.getpid, workers=[holder])[holder]
    os.kill(pid, signal.SIGKILL)
    return pid


def test_a_killed_workers_partitions_are_retried(hosts, client):
    archives, expected = hosts
    frame = dask_vellumtrace.read_roots(sorted(str(p) for p in archives.iterdir())[:12])
    futures = client.compute(frame.to_delayed())
    killed = kill_holder_of_first(client, futures)
    parts = client.gather(futures)
    assert killed not in client.run(os.getpid).values()
    got = rows_by_collection(pa.concat_tables(frame_table(p) for p in parts))
    assert got == {k: v for k, v in expected.items() if k in got} and len(got) == 12


class Zeros(io.RawIOBase):
    def __init__(self, size):
        self.left = size

    def readable(self):
        return True

    def readinto(self, buffer):
        n = min(len(buffer), self.left)
        buffer[:n] = bytes(n)
        self.left -= n
        return n


def add(tar, name, data=b"x", kind=tarfile.REGTYPE, link="", size=None):
    info = tarfile.TarInfo(name)
    info.type, info.linkname = kind, link
    info.size = len(data) if size is None else size
    tar.addfile(info, io.BufferedReader(Zeros(size)) if size is not None else io.BytesIO(data))


def hostile(path, outside, build):
    """A tar.gz holding a valid Codex root, plus what `build` adds."""
    with tarfile.open(path, "w:gz") as tar:
        add(tar, "home/.codex/history.jsonl", b'{"session_id":"s","text":"hi","ts":1700000000}\n')
        build(tar, outside)
    return path


HOSTILE = {
    "traversal": (lambda t, out: add(t, "home/../../escaped.txt"), "leaves the extraction folder"),
    "absolute": (lambda t, out: add(t, str(out / "absolute.txt")), "has an absolute name"),
    "link-out": (lambda t, out: (add(t, "home/.codex/out", kind=tarfile.SYMTYPE, link="../../.."),
                                 add(t, "home/.codex/out/linked.txt")), "points outside"),
    "hardlink-out": (lambda t, out: add(t, "home/x", kind=tarfile.LNKTYPE, link="/etc/passwd"),
                     "points to an absolute path"),
    "over-size": (lambda t, out: add(t, "home/big.bin", size=3 << 20), "takes the archive over"),
    "bomb": (lambda t, out: add(t, "home/bomb.bin", size=256 << 20), "takes the archive over"),
    "many-members": (lambda t, out: [add(t, f"home/f{i}") for i in range(60)], "more than 50 members"),
    "not-a-tar": (None, "cannot be read"),
}


def test_hostile_archives_give_their_diagnostics_only(tmp_path, client):
    folders = tmp_path / "extract"
    folders.mkdir()
    outside = tmp_path / "outside"
    outside.mkdir()
    paths = []
    for name, (build, _) in HOSTILE.items():
        path = tmp_path / f"{name}.tar.gz"
        if build is None:
            path.write_bytes(gzip.compress(b"this is no archive" * 100))
        else:
            hostile(path, outside, build)
        paths.append(str(path))
    assert os.path.getsize(tmp_path / "bomb.tar.gz") < 2 << 20
    limits = {"max_bytes": 2 << 20, "max_members": 50, "tmpdir": str(folders)}
    events = client.compute(dask_vellumtrace.read_roots(paths, **limits)).result()
    diagnostics = frame_table(client.compute(dask_vellumtrace.read_diagnostics(paths, **limits)).result())
    assert len(events) == 0
    rows = {r["collection"]: r for r in plain_rows(diagnostics)}
    assert len(rows) == diagnostics.num_rows == len(HOSTILE)
    for name, (_, text) in HOSTILE.items():
        assert rows[name]["code"] == "unreadable_artifact" and text in rows[name]["message"], rows[name]
    assert not os.listdir(folders) and not os.listdir(outside)
    assert not (tmp_path / "escaped.txt").exists()


def test_fleet_writes_a_dataset_partitioned_by_collection(hosts, tmp_path, capsys):
    archives, expected = hosts
    picked = tmp_path / "picked"
    picked.mkdir()
    for index in (0, 1, 5):
        source = next(archives.glob(f"host-{index:02d}.*"))
        (picked / source.name).symlink_to(source)
    hostile(picked / "evil.tar.gz", tmp_path, HOSTILE["traversal"][0])
    assert fleet.main([str(picked / "*"), "-o", str(tmp_path / "out")]) == fleet.EXIT_UNREADABLE
    events = pq.read_table(tmp_path / "out" / "events")
    got = rows_by_collection(events.select(list(expected["host-00"][0])))
    assert got == {k: expected[k] for k in ("host-00", "host-01", "host-05")}
    diagnostics = plain_rows(pq.read_table(tmp_path / "out" / "diagnostics"))
    assert [d["collection"] for d in diagnostics if d["code"] == "unreadable_artifact"] == ["evil"]
    assert "100%" in capsys.readouterr().err
