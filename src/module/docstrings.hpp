// The docstrings of the module and its functions. Each starts with the text
// signature line and "--", from which the interpreter derives what
// introspection reports as the function's signature.
#pragma once

namespace vtpy::doc {

// The module's own docstring is empty, as its documented surface has it;
// help() still lists every function with its own docstring.
inline constexpr const char* kModule = "";

inline constexpr const char* kParse =
    "parse(path, mode=\"best_effort\", include_raw=False, include_content=False, "
    "follow_symlinks=False, max_line_size=10485760, max_content_size=52428800)\n"
    "--\n"
    "\n"
    "Parse supported AI agent artifacts and return a dict with\n"
    "`events` and `diagnostics`.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "path : str | pathlib.Path\n"
    "    Path to a supported artifact, `.claude`, or `.codex` root.\n"
    "mode : str\n"
    "    `\"best_effort\"` (default) collects recoverable errors as diagnostics;\n"
    "    `\"strict\"` aborts on the first error-severity diagnostic.\n"
    "include_raw : bool\n"
    "    When `True`, each event includes the raw JSON value it was parsed from.\n"
    "include_content : bool\n"
    "    When `True`, file content is inlined in snapshot/cache events.";

inline constexpr const char* kConvert =
    "convert(path, output_path, format=\"json\", mode=\"best_effort\", include_raw=False, "
    "include_content=False, include_message=True, follow_symlinks=False, "
    "max_line_size=10485760, max_content_size=52428800)\n"
    "--\n"
    "\n"
    "Parse and write output in a single call.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "path : str | pathlib.Path\n"
    "    Input path (same semantics as [`parse`]).\n"
    "output_path : str | pathlib.Path\n"
    "    Destination file path.\n"
    "format : str\n"
    "    `\"json\"`, `\"jsonl\"`, or `\"csv\"`.\n"
    "mode : str\n"
    "    `\"best_effort\"` or `\"strict\"`.\n"
    "include_raw : bool\n"
    "    Include raw JSON in events.\n"
    "include_content : bool\n"
    "    Include file content in snapshot events.\n"
    "include_message : bool\n"
    "    Include the `message` column in CSV output (ignored for JSON/JSONL).";

inline constexpr const char* kToJson =
    "to_json(path, mode=\"best_effort\", include_raw=False, include_content=False, pretty=True, "
    "follow_symlinks=False, max_line_size=10485760, max_content_size=52428800)\n"
    "--\n"
    "\n"
    "The top-level Python module.\n"
    "Parse artifacts and return the complete report as a JSON string.";

inline constexpr const char* kToJsonl =
    "to_jsonl(path, mode=\"best_effort\", include_raw=False, include_content=False, "
    "follow_symlinks=False, max_line_size=10485760, max_content_size=52428800)\n"
    "--\n"
    "\n"
    "Parse artifacts and return one compact timeline event per line.";

inline constexpr const char* kToCsv =
    "to_csv(path, mode=\"best_effort\", include_content=False, include_message=True, "
    "include_raw=False, follow_symlinks=False, max_line_size=10485760, "
    "max_content_size=52428800)\n"
    "--\n"
    "\n"
    "Parse artifacts and return the normalized timeline as CSV text.";

inline constexpr const char* kTimeline =
    "Timeline(*paths, documented=False, collection=\"\", mode=\"best_effort\", include_raw=False, "
    "include_content=False, follow_symlinks=False, max_line_size=10485760, "
    "max_content_size=52428800, labels=None)\n"
    "--\n"
    "\n"
    "The timeline of one or several paths as Arrow columns.\n"
    "\n"
    "Reads every path in one run (one timeline, one sort, one `sequence`) with\n"
    "the full reading (Claude Code session transcripts included);\n"
    "`documented=True` gives the documented reading of the five functions.\n"
    "With no path, an empty timeline (the columns alone).\n"
    "\n"
    "The object speaks the Arrow PyCapsule interface (`__arrow_c_stream__`,\n"
    "`__arrow_c_schema__`), so `pyarrow.table(t)`, `polars.DataFrame(t)` and\n"
    "`duckdb.sql(\"select * from t\")` read its columns without a copy, as often\n"
    "as they like and from any thread. Columns: `collection` (the given label on\n"
    "every row), then the CSV timeline's columns with Arrow types; `content` and\n"
    "`raw` only when `include_content` / `include_raw` ask for them.\n"
    "`diagnostics` holds the run's diagnostics, as an object of the same kind.\n"
    "`len(t)` is the number of events. `labels`, one per path, names each\n"
    "path's rows in the `input` column of the full reading (default: the path\n"
    "as given).";

inline constexpr const char* kDiagnostics =
    "The diagnostics of a Timeline's run as Arrow columns (the Arrow PyCapsule\n"
    "interface): `collection`, `code`, `severity`, `message` and the source's\n"
    "`artifact_kind`, `source_record_type`, `source_relative_path`,\n"
    "`source_line`, `source_id`.";

inline constexpr const char* kArrowCStream =
    "__arrow_c_stream__($self, /, requested_schema=None)\n"
    "--\n"
    "\n"
    "A new Arrow C stream of the columns (a PyCapsule \"arrow_array_stream\"),\n"
    "in record batches of up to 65536 rows. `requested_schema` is not applied:\n"
    "the consumer casts what it receives if it wants another layout.";

inline constexpr const char* kArrowCSchema =
    "__arrow_c_schema__($self, /)\n"
    "--\n"
    "\n"
    "The Arrow schema of the columns (a PyCapsule \"arrow_schema\").";

inline constexpr const char* kWriteParquet =
    "write_parquet($self, path, /)\n"
    "--\n"
    "\n"
    "Writes the columns to a Parquet file through pyarrow (the\n"
    "`vellumtrace[parquet]` extra).";

}  // namespace vtpy::doc
