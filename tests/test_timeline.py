"""vellumtrace.Timeline: the timeline as Arrow columns. Every consumer reads
the same rows that parse() (documented reading) or the program (full
reading) give; the stream follows the C stream interface's ownership rules."""

import gc
import json
import re
import subprocess
import sys
import threading

import pytest

pa = pytest.importorskip("pyarrow")
pq = pytest.importorskip("pyarrow.parquet")

import vellumtrace  # noqa: E402
from fact_columns import FACT_COLUMNS  # noqa: E402
from timeline_rows import diagnostic_row, event_row, plain_rows  # noqa: E402
from conftest import CORPUS, ROOT  # noqa: E402

SAMPLE = ROOT / "examples" / "agents"


def corpus_homes(corpus):
    return sorted(p for p in corpus.iterdir() if p.is_dir())


def odd_times_root(base):
    """A Codex rollout whose timestamps reach the calendar's edges and a leap second."""
    folder = base / "odd" / ".codex" / "sessions" / "2025" / "01" / "01"
    folder.mkdir(parents=True)
    stamps = ["0001-01-01T00:00:00Z", "9999-12-31T23:59:59.999999999Z", "2016-12-31T23:59:60.5Z",
              "1969-12-31T23:59:59.000001Z", "2025-01-01T00:00:00.1234567Z", 17, "not a time"]
    lines = [{"timestamp": "2025-01-01T00:00:00Z", "type": "session_meta",
              "payload": {"id": "0197aaaa-0000-7000-8000-00000000000a", "cwd": "/w"}}]
    lines += [{"timestamp": s, "type": "event_msg", "payload": {"type": "agent_message", "message": f"m{i}"}}
              for i, s in enumerate(stamps)]
    name = "rollout-2025-01-01T00-00-00-0197aaaa-0000-7000-8000-00000000000a.jsonl"
    (folder / name).write_text("".join(json.dumps(line) + "\n" for line in lines) + "\xff{bad\n",
                               encoding="latin-1")
    return base / "odd"


@pytest.fixture(scope="module")
def odd_root(tmp_path_factory):
    return odd_times_root(tmp_path_factory.mktemp("odd"))


@pytest.fixture(scope="module")
def homes():
    """The real-data homes when the corpus is there, none otherwise: the row
    comparisons run on the bundled sample (and the odd root) on any machine."""
    return corpus_homes(CORPUS) if CORPUS.is_dir() else []


def program_events(cli_path, *paths):
    """The full reading as the program gives it, one event dict per line."""
    out = subprocess.run([cli_path, *map(str, paths), "--format", "jsonl"], capture_output=True,
                         check=True, timeout=600).stdout
    return [json.loads(line) for line in out.splitlines()]


@pytest.mark.parametrize("options", [{}, {"include_raw": True, "include_content": True}])
def test_documented_reading_is_parse_row_for_row(odd_root, homes, options):
    for path in [SAMPLE, odd_root, *homes]:
        try:
            report = vellumtrace.parse(path, **options)
        except ValueError as error:  # a home whose only root holds transcripts alone
            with pytest.raises(ValueError, match=re.escape(str(error))):
                vellumtrace.Timeline(path, documented=True, **options)
            continue
        timeline = vellumtrace.Timeline(path, documented=True, collection="host-1", **options)
        assert plain_rows(timeline) == [event_row(e, "host-1", **options) for e in report["events"]], path
        assert plain_rows(timeline.diagnostics) == [diagnostic_row(d, "host-1") for d in report["diagnostics"]]


def test_full_reading_is_the_programs(cli_path, odd_root, homes):
    for path in [SAMPLE, odd_root, *homes]:
        assert plain_rows(vellumtrace.Timeline(path)) == [event_row(e) for e in program_events(cli_path, path)]
    # Several paths: one run, as the program reads them.
    several = homes[:3] or [SAMPLE / ".claude", SAMPLE / ".codex", odd_root]
    assert plain_rows(vellumtrace.Timeline(*several)) == [event_row(e) for e in program_events(cli_path, *several)]


def polars_rows(timeline):
    pl = pytest.importorskip("polars")
    return plain_rows(pl.DataFrame(timeline).to_arrow())


def duckdb_rows(timeline):
    duckdb = pytest.importorskip("duckdb")
    relation = duckdb.sql("select * from timeline order by sequence")
    export = getattr(relation, "to_arrow_table", None) or relation.fetch_arrow_table
    return plain_rows(export())


def pandas_rows(timeline):
    pd = pytest.importorskip("pandas")
    frame = pa.table(timeline).to_pandas(types_mapper=pd.ArrowDtype)
    return plain_rows(pa.Table.from_pandas(frame, preserve_index=False))


@pytest.mark.parametrize("read", [polars_rows, duckdb_rows, pandas_rows])
def test_data_tools_read_the_same_rows(read, odd_root, homes):
    for path in [SAMPLE, odd_root, *homes[:4]]:
        timeline = vellumtrace.Timeline(path, include_raw=True)
        expected = plain_rows(timeline)
        assert len(expected) == len(timeline) > 0
        assert read(timeline) == expected, path


@pytest.mark.parametrize("options, extra", [({}, []), ({"include_content": True}, ["content"]),
                                            ({"include_raw": True}, ["raw"])])
@pytest.mark.parametrize("documented", [True, False])
def test_schema_is_the_csv_columns_typed(cli_path, options, extra, documented):
    if documented:
        header = vellumtrace.to_csv(SAMPLE).split("\n", 1)[0].split(",")
    else:
        csv = subprocess.run([cli_path, str(SAMPLE), "--format", "csv"], capture_output=True, check=True).stdout
        header = csv.decode().split("\n", 1)[0].split(",")
        assert header[-len(FACT_COLUMNS) - 1:] == ["origin", *FACT_COLUMNS]
    expected = ["collection"] + [c for c in header if c not in ("content", "raw") or c in extra]
    timeline = vellumtrace.Timeline(SAMPLE, documented=documented, **options)
    schema = pa.schema(timeline)
    assert schema.names == expected == pa.table(timeline).schema.names
    assert schema.metadata == {b"vellumtrace.schema_version": b"1"}
    assert schema.field("timestamp").type == pa.timestamp("us", "UTC")
    assert schema.field("sequence").type == pa.uint64() and not schema.field("sequence").nullable
    words = ("provider", "event_type", "collection") + (() if documented else
                                                        ("origin", "model", "tool_name", "agent_id", "git_branch"))
    for name in words:
        assert schema.field(name).type == pa.dictionary(pa.int32(), pa.large_string()), name
    assert schema.field("warnings").type.value_type == pa.large_string()
    assert pa.schema(timeline.diagnostics).names[:4] == ["collection", "code", "severity", "message"]
    if documented:
        return
    typed = {pa.uint64(): [c for c in FACT_COLUMNS if c.endswith("_tokens")],
             pa.float64(): ["cost_usd", "recorded_cost_usd"], pa.bool_(): ["tool_error", "sidechain"],
             pa.int64(): ["exit_code"],
             pa.large_string(): ["tool_call_id", "tool_input", "record_id", "message_id", "parent_id"]}
    for arrow_type, names in typed.items():
        assert [schema.field(n).type for n in names] == [arrow_type] * len(names)


def test_no_path_gives_the_columns_alone():
    empty = vellumtrace.Timeline(include_raw=True)
    assert len(empty) == 0 and len(empty.diagnostics) == 0
    table = pa.table(empty)
    assert table.num_rows == 0 and table.schema == pa.schema(vellumtrace.Timeline(SAMPLE, include_raw=True))


@pytest.mark.parametrize("args, kwargs, error, text", [
    ((b"x",), {}, TypeError, "cannot be converted"),
    ((SAMPLE,), {"mode": "fast"}, ValueError, "Invalid mode 'fast'"),
    ((SAMPLE,), {"collection": 3}, TypeError, "argument 'collection'"),
    ((SAMPLE,), {"pretty": True}, TypeError, "Timeline() got an unexpected keyword argument 'pretty'"),
    (("/nonexistent/vt",), {}, OSError, "I/O error at /nonexistent/vt"),
    ((SAMPLE,), {"mode": "strict"}, ValueError, "JSON parse error at .codex/sessions/"),
])
def test_bad_calls_raise(args, kwargs, error, text):
    with pytest.raises(error, match=None) as raised:
        vellumtrace.Timeline(*args, **kwargs)
    assert text in str(raised.value)


def test_streams_follow_the_ownership_rules():
    timeline = vellumtrace.Timeline(SAMPLE)
    expected = pa.table(timeline)
    # An unconsumed stream and an unconsumed schema are released with their capsule.
    timeline.__arrow_c_stream__()
    timeline.__arrow_c_schema__()
    # A capsule consumed once is spent: the second import is refused, nothing freed twice.
    capsule = timeline.__arrow_c_stream__()
    first = pa.RecordBatchReader._import_from_c_capsule(capsule)
    with pytest.raises(Exception):
        pa.RecordBatchReader._import_from_c_capsule(capsule)
    del capsule
    # Streams are independent, and outlive the Timeline and each other.
    second = pa.RecordBatchReader.from_stream(timeline)
    del timeline
    gc.collect()
    assert first.read_all() == expected == second.read_all()
    with pytest.raises(StopIteration):
        first.read_next_batch()


def test_eight_threads_consume_one_object(corpus_dir):
    timeline = vellumtrace.Timeline(corpus_homes(corpus_dir)[1])
    expected = pa.table(timeline)
    results = [None] * 8
    start = threading.Barrier(8)

    def consume(index):
        start.wait()
        tables = [pa.table(timeline) for _ in range(5)]
        results[index] = all(t.equals(expected) for t in tables)

    threads = [threading.Thread(target=consume, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [True] * 8


def test_parquet_round_trip(tmp_path, corpus_dir):
    timeline = vellumtrace.Timeline(corpus_homes(corpus_dir)[1], collection="h", include_content=True)
    target = tmp_path / "timeline.parquet"
    timeline.write_parquet(target)
    back = pq.read_table(target)
    assert plain_rows(back) == plain_rows(timeline)
    assert back.schema.metadata[b"vellumtrace.schema_version"] == b"1"
    timeline.diagnostics.write_parquet(str(tmp_path / "diagnostics.parquet"))
    assert plain_rows(pq.read_table(tmp_path / "diagnostics.parquet")) == plain_rows(timeline.diagnostics)


def test_parquet_without_pyarrow_names_the_extra(tmp_path):
    code = ("import sys; sys.modules['pyarrow'] = None; import vellumtrace\n"
            f"vellumtrace.Timeline({str(SAMPLE)!r}).write_parquet({str(tmp_path / 'x.parquet')!r})")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert "ImportError: write_parquet needs pyarrow: pip install 'vellumtrace[parquet]'" in result.stderr
    assert not (tmp_path / "x.parquet").exists()
