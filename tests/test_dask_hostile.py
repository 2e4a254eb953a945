"""dask_vellumtrace against hostile archives, third round: links that
escape as a chain, header bombs, members too deep, any failure inside a
partition, labels that name other folders, archives read once, stored
twice, a dataset every reader reads back, and signals that stop the fleet
and leave nothing behind."""

import bz2
import io
import lzma
import os
import signal
import subprocess
import sys
import tarfile
import time
import zlib

import pytest

pa = pytest.importorskip("pyarrow")
dd = pytest.importorskip("dask.dataframe")
dask_vellumtrace = pytest.importorskip("dask_vellumtrace")

import dask  # noqa: E402

from dask_vellumtrace import _extract, _partitions, fleet  # noqa: E402

HISTORY = b'{"session_id":"s","text":"hi","ts":1700000000}\n'
SAMPLE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples", "agents")
ENV = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))


def member(name, data=b"", kind=tarfile.REGTYPE, link=""):
    info = tarfile.TarInfo(name)
    info.type, info.linkname, info.size = kind, link, len(data)
    return info, data


def archive(path, members, mode="w:gz"):
    with tarfile.open(path, mode) as tar:
        for info, data in members:
            tar.addfile(info, io.BytesIO(data))
    return str(path)


def codex_host(*more):
    return [member("home/.codex/history.jsonl", HISTORY), *more]


def symlink(name, target):
    return member(name, kind=tarfile.SYMTYPE, link=target)


def compute(path, **options):
    events, diagnostics = dask_vellumtrace.read_fleet(path, **options)
    got_events, got_diagnostics = dask.compute(events, diagnostics, scheduler="sync")
    return got_events, pa.Table.from_pandas(got_diagnostics, preserve_index=False).to_pylist()


# A chain whose links each stay inside when written (the next one is not
# there yet), and which once complete leads 24 folders up, to the machine's
# root. Links that climb are not made; the rest of the host is read.
CHAIN = [symlink("home/.codex/sessions", "../../L1/x")] + [
    symlink(f"L{i}", f"L{i + 1}/..") for i in range(1, 24)] + [symlink("L24", ".")]

LINKS = {
    "chain to the root": (CHAIN, {f"L{i}" for i in range(1, 24)} | {"home/.codex/sessions"}),
    "climbing link kept inside": ([member("home/notes/a.txt", b"a"), symlink("home/.codex/n", "../notes")],
                                  {"home/.codex/n"}),
    "link down is made": ([member("home/d/a.txt", b"a"), symlink("home/e", "d")], set()),
}


@pytest.mark.parametrize("extra, refused", LINKS.values(), ids=LINKS.keys())
def test_links_that_climb_are_not_made_and_the_host_is_read(tmp_path, extra, refused):
    path = archive(tmp_path / "h.tar.gz", codex_host(*extra))
    events, diagnostics = compute(path, tmpdir=str(tmp_path))
    assert events["source_relative_path"].tolist() == ["history.jsonl"]
    assert {d["source_relative_path"] for d in diagnostics} == refused
    assert all("link target climbs with '..': not extracted" in d["message"] for d in diagnostics)
    assert os.listdir(tmp_path) == ["h.tar.gz"]


def test_links_leading_out_after_extraction_are_removed(tmp_path):
    # Made here, not by an archive: what the check after extraction finds.
    folder, outside = tmp_path / "x", tmp_path / "outside"
    (folder / "d").mkdir(parents=True)
    outside.mkdir()
    (folder / "d" / "out").symlink_to(outside)
    (folder / "d" / "chain").symlink_to("../hop/up")
    (folder / "hop").symlink_to("d")
    (folder / "d" / "up").symlink_to("..", target_is_directory=True)
    (folder / "d" / "in").symlink_to("../d")
    (folder / "d" / "loop").symlink_to("loop")
    done = _extract.Extraction()
    _extract._remove_links_leaving(str(folder), done)
    assert sorted(done.refused) == [(os.path.join("d", "out"), "link leaves the extraction folder: removed")]
    assert sorted(os.listdir(folder / "d")) == ["chain", "in", "loop", "up"]


# (links made in the folder first, member name, error or None)
TARGETS = [
    ([("b", "outside")], "b/x", "leaves the extraction folder"),
    ([("d", "."), ("b", "d/..")], "b/x", "leaves the extraction folder"),  # two links: b is the folder's parent
    ([("d", ".")], "d/d/x", None),
    ([], "/".join(["a"] * 201), "more than 200 folders deep"),
    ([("deep", "/".join(["a"] * 199))], "deep/b/x", "more than 200 folders deep"),
    ([], "a/../../x", "leaves the extraction folder"),
]


@pytest.mark.parametrize("links, name, error", TARGETS)
def test_a_members_real_parent_stays_inside_and_shallow(tmp_path, links, name, error):
    folder = tmp_path / "x"
    (folder / "/".join(["a"] * 199)).mkdir(parents=True)
    (tmp_path / "outside").mkdir()
    for link, target in links:
        (folder / link).symlink_to(tmp_path / target if target == "outside" else target)
    if error is None:
        assert _extract._target(str(folder), name).startswith(str(folder))
    else:
        with pytest.raises(_extract.UnsafeArchive, match=error):
            _extract._target(str(folder), name)


COMPRESSORS = {
    "gzip": lambda: zlib.compressobj(6, zlib.DEFLATED, 31),
    # A few hundred bytes of these stand for the whole header.
    "bzip2": lambda: bz2.BZ2Compressor(9),
    "xz": lambda: lzma.LZMACompressor(preset=1),
}


def compressed_header(kind, size, tail, compression="gzip"):
    """A compressed stream: a header of `kind` announcing `size` bytes, those bytes, then `tail`."""
    info = tarfile.TarInfo("././@LongLink")
    info.type, info.size = kind, size
    packer = COMPRESSORS[compression]()
    parts = [packer.compress(info.tobuf(tarfile.GNU_FORMAT))]
    record = b"%d path=" % size
    chunk = b"a" * (1 << 20)
    left = size - len(record) if kind in (tarfile.XHDTYPE, tarfile.XGLTYPE) else size
    if kind in (tarfile.XHDTYPE, tarfile.XGLTYPE):
        parts.append(packer.compress(record))
    while left > 0:
        parts.append(packer.compress(chunk[:left]))
        left -= len(chunk)
    parts.append(packer.compress(bytes(-size % 512) + tail))
    return b"".join(parts) + packer.flush()


def tiny_member():
    info, data = member("x", b"x")
    return info.tobuf(tarfile.GNU_FORMAT) + data.ljust(512, b"\0") + bytes(1024)


# The peak is read from the process's own memory map (the resource usage
# figure would count what the forked parent held before the program started).
PEAK = """
import os, sys
from dask_vellumtrace import _extract
def rss(field):
    with open("/proc/self/status") as f:
        return next(int(l.split()[1]) for l in f if l.startswith(field))
before = rss("VmRSS:")
try:
    with open(sys.argv[1], "rb") as f:
        _extract.extract(f, sys.argv[2], _extract.Limits(max_bytes=1 << 20))
    print("extracted")
except _extract.UnsafeArchive as e:
    print(str(e))
print(rss("VmHWM:") - before)
"""

BOMBS = {
    "long name": (tarfile.GNUTYPE_LONGNAME, "gzip"),
    "long link": (tarfile.GNUTYPE_LONGLINK, "gzip"),
    "pax": (tarfile.XHDTYPE, "gzip"),
    "global pax": (tarfile.XGLTYPE, "gzip"),
    "long name, bzip2": (tarfile.GNUTYPE_LONGNAME, "bzip2"),
    "pax, xz": (tarfile.XHDTYPE, "xz"),
}


@pytest.mark.parametrize("kind, compression", BOMBS.values(), ids=BOMBS.keys())
def test_a_header_announcing_a_huge_name_is_refused_unread(tmp_path, kind, compression):
    path = tmp_path / "bomb.tar"
    path.write_bytes(compressed_header(kind, 128 << 20, tiny_member(), compression))
    assert path.stat().st_size < 1 << 20
    (tmp_path / "x").mkdir()
    done = subprocess.run([sys.executable, "-c", PEAK, str(path), str(tmp_path / "x")], capture_output=True,
                          text=True, env=ENV, timeout=120)
    assert done.returncode == 0, done.stderr[-2000:]
    message, grown_kb = done.stdout.splitlines()
    assert message.endswith(f"header of {128 << 20} bytes (more than {1 << 20})"), message[:300]
    assert int(grown_kb) < 64 * 1024
    assert os.listdir(tmp_path / "x") == []


def test_header_bytes_count_against_the_archive_bound(tmp_path):
    # Pax headers under the per-header bound, many of them: their bytes add up.
    path = tmp_path / "pax.tar.gz"
    with tarfile.open(path, "w:gz", format=tarfile.PAX_FORMAT) as tar:
        for i in range(40):
            info, data = member(f"home/{i:02d}", b"x")
            info.pax_headers = {"comment": "c" * 60000}
            tar.addfile(info, io.BytesIO(data))
    (tmp_path / "x").mkdir()
    with open(path, "rb") as f, pytest.raises(_extract.UnsafeArchive, match="takes the archive over 1048576"):
        _extract.extract(f, str(tmp_path / "x"), _extract.Limits(max_bytes=1 << 20))


def test_the_byte_bound_holds_over_many_members_that_each_fit(tmp_path):
    path = archive(tmp_path / "many.tar.gz", [member(f"home/f{i}", b"z" * 1000) for i in range(30)])
    (tmp_path / "x").mkdir()
    with open(path, "rb") as f, pytest.raises(_extract.UnsafeArchive, match="takes the archive over 20000 bytes"):
        _extract.extract(f, str(tmp_path / "x"), _extract.Limits(max_bytes=20_000))
    with open(path, "rb") as f:
        assert _extract.extract(f, str(tmp_path / "y"), _extract.Limits(max_bytes=30_000)).members == 30


def fail_with(error):
    def timeline(*args, **kwargs):
        raise error
    return timeline


FAILURES = {
    "memory": MemoryError(),
    "anything": RuntimeError("boom"),
}


@pytest.mark.parametrize("error", FAILURES.values(), ids=FAILURES.keys())
def test_any_failure_inside_a_partition_is_one_row(tmp_path, monkeypatch, error):
    good = archive(tmp_path / "good.tar.gz", codex_host())
    bad = archive(tmp_path / "bad.tar.gz", codex_host())
    real = _partitions.vellumtrace.Timeline

    def timeline(*paths, collection="", **options):
        if collection == "bad":
            raise error
        return real(*paths, collection=collection, **options)
    monkeypatch.setattr(_partitions.vellumtrace, "Timeline", timeline)
    events, diagnostics = compute([good, bad])
    assert events["collection"].tolist() == ["good"]
    assert [(d["collection"], d["code"]) for d in diagnostics] == [("bad", "unreadable_artifact")]
    assert type(error).__name__ in diagnostics[0]["message"]


def test_a_member_deeper_than_the_bound_is_one_row(tmp_path):
    deep = archive(tmp_path / "deep.tar.gz", codex_host(member("/".join(["d"] * 1500) + "/f", b"x")))
    events, diagnostics = compute(deep, tmpdir=str(tmp_path))
    assert len(events) == 0
    assert len(diagnostics) == 1
    assert diagnostics[0]["message"].endswith("d/d/\u2026' lies more than 200 folders deep")
    assert len(diagnostics[0]["message"]) < 600
    assert os.listdir(tmp_path) == ["deep.tar.gz"]


@pytest.mark.parametrize("label, accepted", [
    ("host-1", True), ("host one (2024)", True), ("a=b", True), ("../x", False), ("a/b", False),
    ("..", False), (".", False), ("", False), ("a\\b", False), ("a\nb", False), ("\x7f", False),
])
def test_collection_labels_must_name_a_folder_of_their_own(tmp_path, label, accepted):
    path = archive(tmp_path / "h.tar.gz", codex_host())
    for read in (dask_vellumtrace.read_roots, dask_vellumtrace.read_diagnostics, dask_vellumtrace.read_fleet):
        if accepted:
            read([path], collection=[label])
        else:
            with pytest.raises(ValueError, match="collection label"):
                read([path], collection=[label])
    with pytest.raises(ValueError, match="collection label"):
        dask_vellumtrace.read_roots([path], collection=lambda url: "../escape")


def test_each_archive_is_fetched_and_extracted_once(tmp_path, monkeypatch):
    paths = [archive(tmp_path / f"h{i}.tar.gz", codex_host()) for i in range(3)]
    opened = []
    real = _partitions.extract

    def counting(stream, folder, *args):
        opened.append(folder)
        return real(stream, folder, *args)
    monkeypatch.setattr(_partitions, "extract", counting)
    events, diagnostics = compute(paths)
    assert len(opened) == 3 and len(events) == 3
    opened.clear()
    assert fleet.main([str(tmp_path / "h*.tar.gz"), "-o", str(tmp_path / "out")]) == 0
    assert len(opened) == 3


STORED_TWICE = {
    "identical file": ([member("home/.codex/history.jsonl", HISTORY)], None),
    # What `tar czf h.tgz .codex .codex/history.jsonl` writes: a hard link to itself.
    "hard link to itself": ([member("home/.codex/history.jsonl", kind=tarfile.LNKTYPE,
                                    link="home/.codex/history.jsonl")], None),
    "identical link": ([symlink("home/l", ".codex"), symlink("home/l", ".codex")], None),
    "different file": ([member("home/.codex/history.jsonl", HISTORY + HISTORY)], "stored twice with different"),
    "file then link": ([symlink("home/.codex/history.jsonl", "x")], "stored twice with different"),
}


@pytest.mark.parametrize("extra, error", STORED_TWICE.values(), ids=STORED_TWICE.keys())
def test_a_member_stored_twice(tmp_path, extra, error):
    path = archive(tmp_path / "h.tar.gz", codex_host(*extra))
    events, diagnostics = compute(path)
    if error is None:
        assert (len(events), diagnostics) == (1, [])
    else:
        assert len(events) == 0 and error in diagnostics[0]["message"]


READERS = {
    "pyarrow": lambda p: pa.table(__import__("pyarrow.parquet").parquet.read_table(p)).num_rows,
    "pandas": lambda p: len(__import__("pandas").read_parquet(p)),
    "dask": lambda p: len(dd.read_parquet(p).compute()),
    "polars": lambda p: pytest.importorskip("polars").read_parquet(p + "/**/*.parquet", hive_partitioning=True).height,
    "duckdb": lambda p: pytest.importorskip("duckdb").sql(
        f"select count(*) from read_parquet('{p}/**/*.parquet', hive_partitioning=true)").fetchall()[0][0],
}


@pytest.fixture(scope="module")
def fleet_dataset(tmp_path_factory):
    base = tmp_path_factory.mktemp("fleet")
    for name, mode in (("a.tar.gz", "w:gz"), ("b.tar", "w")):
        with tarfile.open(base / name, mode) as tar:
            tar.add(SAMPLE, arcname="home")
    assert fleet.main([str(base / "*.tar*"), "-o", str(base / "out"), "--include-raw"]) == 0
    expected = dask_vellumtrace.read_roots([str(base / "a.tar.gz"), str(base / "b.tar")]).compute()
    return base / "out", len(expected)


@pytest.mark.parametrize("reader", READERS.values(), ids=READERS.keys())
def test_every_reader_reads_the_fleet_dataset_back(fleet_dataset, reader):
    out, events = fleet_dataset
    assert events > 0
    assert reader(str(out / "events")) == events
    assert reader(str(out / "diagnostics")) > 0


# The fleet, with an archive that never ends at endless://host.tar: one member
# of a terabyte whose bytes come a megabyte at a time, slowly. An extraction
# that is not stopped never ends.
ENDLESS_FLEET = """
import io, signal, sys, tarfile, time
import fsspec
from fsspec.spec import AbstractFileSystem
from dask_vellumtrace import fleet

class Endless(io.RawIOBase):
    def __init__(self):
        info = tarfile.TarInfo("home/.codex/big.bin")
        info.size = 1 << 40
        self.head = info.tobuf(tarfile.GNU_FORMAT)
    def readable(self):
        return True
    def readinto(self, buffer):
        if self.head:
            n = min(len(buffer), len(self.head))
            buffer[:n], self.head = self.head[:n], self.head[n:]
            return n
        n = min(len(buffer), 1 << 20)
        time.sleep(0.02 * n / (1 << 20))
        buffer[:n] = bytes(n)
        return n

class EndlessFileSystem(AbstractFileSystem):
    protocol = "endless"
    def _open(self, path, mode="rb", **kwargs):
        return io.BufferedReader(Endless())

fsspec.register_implementation("endless", EndlessFileSystem)
signal.signal(signal.SIGINT, signal.default_int_handler)
sys.exit(fleet.main(sys.argv[1:]))
"""


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT], ids=["SIGTERM", "SIGINT"])
def test_a_signal_stops_the_fleet_and_leaves_nothing(tmp_path, signum):
    small = archive(tmp_path / "small.tar.gz", codex_host())
    scratch = tmp_path / "scratch"
    scratch.mkdir()
    child = subprocess.Popen([sys.executable, "-c", ENDLESS_FLEET, small, "endless://host.tar",
                              "-o", str(tmp_path / "out"), "--max-archive-bytes", str(1 << 41)],
                             env=dict(ENV, TMPDIR=str(scratch)), stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 60
        while not any("big.bin" in files for _, _, files in os.walk(scratch)):
            assert child.poll() is None and time.monotonic() < deadline, "no extraction began"
            time.sleep(0.05)
        child.send_signal(signum)
        # The extraction stops at its next block: the run ends, though the archive never does.
        _, err = child.communicate(timeout=60)
    finally:
        child.kill()
    assert child.returncode == 128 + signum, err[-2000:]
    assert f"stopped by {signal.Signals(signum).name}; nothing written" in err
    assert os.listdir(scratch) == []
    assert sorted(os.listdir(tmp_path)) == ["scratch", "small.tar.gz"]
