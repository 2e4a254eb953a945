"""Type information for the vellumtrace extension module.

The TypedDict and alias names below exist for type checkers only; import them
under ``if typing.TYPE_CHECKING:``.
"""

import os
from typing import Any, Literal, Sequence, SupportsIndex, TypedDict, Union, final

__all__ = ["parse", "convert", "to_json", "to_jsonl", "to_csv"]

__version__: str

_Path = Union[str, os.PathLike[str]]
# The module also takes a numpy boolean scalar; wrap it in bool() for checkers.
_Flag = bool
# "best_effort" or "strict"; other text raises ValueError.
_Mode = str
# "json", "jsonl" or "csv"; other text raises ValueError.
_Format = str

# A held JSON value as Python objects (objects keep keys in ascending order).
JsonValue = Union[None, bool, int, float, str, list["JsonValue"], dict[str, "JsonValue"]]

Provider = Literal["claude_code", "codex", "open_code", "unknown"]
TimestampSource = Literal["embedded", "referenced_event", "filesystem_modified", "none"]
EventType = Literal[
    "prompt_input",
    "paste_attachment",
    "image_attachment",
    "orphan_cache",
    "file_snapshot",
    "session_start",
    "developer_message",
    "agent_message",
    "agent_reasoning",
    "tool_call",
    "tool_result",
    "task_state",
    "token_usage",
    "context_compacted",
    "attachment",
    "error",
    "unknown",
]
ArtifactKind = Literal[
    "history", "paste_cache", "image_cache", "file_history", "session", "attachment", "unknown",
    "transcript",
]
ReferenceStatus = Literal["resolved", "missing", "ambiguous"]
ContentEncoding = Literal["utf8", "base64"]
Severity = Literal["error", "warning", "info"]
DiagnosticCode = Literal[
    "invalid_json",
    "invalid_field_type",
    "invalid_timestamp",
    "unknown_record",
    "missing_reference",
    "ambiguous_reference",
    "unreadable_artifact",
    "unexpected_file_name",
    "snapshot_version_gap",
    "duplicate_snapshot_version",
    "hash_mismatch",
]

class SourceRef(TypedDict):
    artifact_kind: ArtifactKind
    line_number: int | None
    record_type: str | None
    relative_path: str
    source_id: str | None

class Artifact(TypedDict):
    content: str | None
    content_encoding: ContentEncoding | None
    media_type: str | None
    reference_status: ReferenceStatus | None
    resolved_path: str | None
    sha256: str | None
    size: int | None
    snapshot_version: int | None

class FsTimes(TypedDict):
    # Instants as text, for example "2024-05-01T12:00:00.250Z".
    accessed: str | None
    created: str | None
    modified: str | None

class Event(TypedDict):
    artifact: Artifact | None
    event_id: str
    event_type: EventType
    fs_times: FsTimes | None
    message: str | None
    provider: Provider
    raw: JsonValue
    schema_version: str
    sequence: int
    session_id: str | None
    source: SourceRef
    source_file_sha256: str | None
    timestamp: str | None
    timestamp_raw: JsonValue
    timestamp_source: TimestampSource
    warnings: list[str]
    working_directory: str | None

class Diagnostic(TypedDict):
    code: DiagnosticCode
    message: str
    severity: Severity
    source: SourceRef | None

class Report(TypedDict):
    events: list[Event]
    diagnostics: list[Diagnostic]

def parse(
    path: _Path,
    mode: _Mode = "best_effort",
    include_raw: _Flag = False,
    include_content: _Flag = False,
    follow_symlinks: _Flag = False,
    max_line_size: SupportsIndex = 10485760,
    max_content_size: SupportsIndex = 52428800,
) -> Report: ...
def convert(
    path: _Path,
    output_path: _Path,
    format: _Format = "json",
    mode: _Mode = "best_effort",
    include_raw: _Flag = False,
    include_content: _Flag = False,
    include_message: _Flag = True,
    follow_symlinks: _Flag = False,
    max_line_size: SupportsIndex = 10485760,
    max_content_size: SupportsIndex = 52428800,
) -> None: ...
def to_json(
    path: _Path,
    mode: _Mode = "best_effort",
    include_raw: _Flag = False,
    include_content: _Flag = False,
    pretty: _Flag = True,
    follow_symlinks: _Flag = False,
    max_line_size: SupportsIndex = 10485760,
    max_content_size: SupportsIndex = 52428800,
) -> str: ...
def to_jsonl(
    path: _Path,
    mode: _Mode = "best_effort",
    include_raw: _Flag = False,
    include_content: _Flag = False,
    follow_symlinks: _Flag = False,
    max_line_size: SupportsIndex = 10485760,
    max_content_size: SupportsIndex = 52428800,
) -> str: ...
def to_csv(
    path: _Path,
    mode: _Mode = "best_effort",
    include_content: _Flag = False,
    include_message: _Flag = True,
    include_raw: _Flag = False,
    follow_symlinks: _Flag = False,
    max_line_size: SupportsIndex = 10485760,
    max_content_size: SupportsIndex = 52428800,
) -> str: ...

@final
class Diagnostics:
    """A Timeline's diagnostics as Arrow columns (made by Timeline only)."""
    def __arrow_c_stream__(self, requested_schema: object = None) -> Any: ...
    def __arrow_c_schema__(self) -> Any: ...
    def __len__(self) -> int: ...
    def write_parquet(self, path: _Path, /) -> None: ...

@final
class Timeline:
    """The timeline of one or several paths as Arrow columns."""
    def __init__(
        self,
        *paths: _Path,
        documented: _Flag = False,
        collection: str = "",
        mode: _Mode = "best_effort",
        include_raw: _Flag = False,
        include_content: _Flag = False,
        follow_symlinks: _Flag = False,
        max_line_size: SupportsIndex = 10485760,
        max_content_size: SupportsIndex = 52428800,
        labels: Sequence[str] | None = None,
    ) -> None: ...
    @property
    def diagnostics(self) -> Diagnostics: ...
    def __arrow_c_stream__(self, requested_schema: object = None) -> Any: ...
    def __arrow_c_schema__(self) -> Any: ...
    def __len__(self) -> int: ...
    def write_parquet(self, path: _Path, /) -> None: ...
