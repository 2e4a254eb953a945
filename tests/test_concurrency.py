"""Calls from several threads at once, and other threads running while a call works."""

import json
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

import vellumtrace


def write_history(root, count, width=80):
    root.mkdir(parents=True)
    with open(root / "history.jsonl", "w") as f:
        for i in range(count):
            f.write(json.dumps({"session_id": f"s{i % 5}", "text": f"{i} " + "w" * width,
                                "ts": 1700000000 + i % 977, "n": i}) + "\n")
        f.write("{not json\n")


@pytest.fixture(scope="module")
def roots(tmp_path_factory):
    base = tmp_path_factory.mktemp("roots")
    made = []
    for index, count in enumerate([300, 1200, 2500]):
        root = base / f"r{index}" / ".codex"
        write_history(root, count)
        made.append(root)
    return made


def test_parallel_calls_match_sequential_ones(roots):
    calls = [(vellumtrace.parse, {"include_raw": True}), (vellumtrace.to_jsonl, {}),
             (vellumtrace.to_csv, {}), (vellumtrace.to_json, {"pretty": False})]
    jobs = [(func, root, kwargs) for func, kwargs in calls for root in roots] * 3
    expected = [func(root, **kwargs) for func, root, kwargs in jobs]
    with ThreadPoolExecutor(max_workers=6) as pool:
        got = list(pool.map(lambda job: job[0](job[1], **job[2]), jobs))
    assert got == expected
    assert len(expected[2]["events"]) == 2500 and len(expected[2]["diagnostics"]) == 1


def test_parallel_errors_stay_with_their_call(roots, tmp_path):
    missing = [tmp_path / f"missing{i}" for i in range(8)]

    def call(path):
        try:
            return len(vellumtrace.parse(path)["events"])
        except OSError as error:
            return str(error)

    with ThreadPoolExecutor(max_workers=4) as pool:
        results = list(pool.map(call, [p for pair in zip(missing, roots * 3) for p in pair]))
    for path, result in zip(missing, results[0::2]):
        assert result.startswith(f"I/O error at {path}")
    assert results[1::2] == [300, 1200, 2500] * 2 + [300, 1200]


def test_other_threads_run_during_a_long_call(tmp_path):
    root = tmp_path / ".codex"
    write_history(root, 30000, width=300)
    stamps = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            stamps.append(time.perf_counter())
            time.sleep(0.002)

    thread = threading.Thread(target=ticker)
    thread.start()
    try:
        time.sleep(0.02)
        started = time.perf_counter()
        text = vellumtrace.to_csv(root)  # run and rendering both work without the lock
        elapsed = time.perf_counter() - started
    finally:
        stop.set()
        thread.join()
    assert text.count("\n") > 30000
    assert elapsed > 0.1, "the call was too short to tell"
    # A call holding the lock throughout would leave the ticker no turn strictly
    # inside it; released, the ticker keeps stamping through the middle of it.
    middle = [s for s in stamps if started + 0.2 * elapsed < s < started + 0.8 * elapsed]
    assert len(middle) >= 5, (len(middle), elapsed)
