// The records every reader produces and every renderer consumes: events,
// diagnostics and the report of a run. Members are declared in rendering order
// (an event's small enumerations are grouped after its identifier, to save
// padding). An event is kept small: texts that repeat from event to event of a
// file are shared, and the parts few events carry live on the heap only when
// set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/boxed.hpp"
#include "core/enums.hpp"
#include "core/event_id_text.hpp"
#include "core/facts.hpp"
#include "core/instant.hpp"
#include "core/optional_shared.hpp"
#include "core/raw_timestamp.hpp"
#include "core/shared_string.hpp"
#include "core/shared_value.hpp"
#include "core/warning_list.hpp"

namespace vt {

// Held JSON values (raw records, raw timestamps). Objects keep their keys in
// ascending byte order, which every rendering relies on.
using Json = nlohmann::json;

inline constexpr const char* kSchemaVersion = "1";

struct SourceRef {
  ArtifactKind artifact_kind = ArtifactKind::Unknown;
  OptionalShared record_type;
  SharedString relative_path;
  std::optional<std::uint64_t> line_number;
  OptionalShared source_id;
};

struct Artifact {
  std::optional<ReferenceStatus> reference_status;
  std::optional<std::string> resolved_path;
  std::optional<std::uint64_t> snapshot_version;
  std::optional<std::uint64_t> size;
  std::optional<std::string> sha256;
  std::optional<std::string> media_type;
  std::optional<std::string> content;
  std::optional<ContentEncoding> content_encoding;
};

struct FsTimes {
  std::optional<Instant> modified;
  std::optional<Instant> accessed;
  std::optional<Instant> created;
};

struct Event {
  static constexpr std::string_view schema_version = kSchemaVersion;
  EventIdText event_id;
  Provider provider = Provider::Unknown;
  TimestampSource timestamp_source = TimestampSource::None;
  EventType event_type = EventType::Unknown;
  // Set on prompts by the full reading only, and rendered (last) only by the
  // program's outputs of that reading.
  std::optional<PromptOrigin> origin;
  std::uint64_t sequence = 0;
  OptionalShared source_file_sha256;
  std::optional<Instant> timestamp;
  RawTimestamp timestamp_raw;
  OptionalShared session_id;
  OptionalShared working_directory;
  OptionalShared message;
  SourceRef source;
  Boxed<Artifact> artifact;
  Boxed<FsTimes> fs_times;
  WarningList warnings;
  // One copy per input record, shared by every event read from it.
  SharedValue<Json> raw;
  // Full reading only, rendered after every documented field by the
  // program's outputs of that reading: what the event says in numbers and
  // ids (filled by the readers), the input it was read from (as given, or
  // the caller's label), and, on a copy of an event read before, the id of
  // that first occurrence (a copy is kept, and counted nowhere).
  Facts facts;
  OptionalShared input;
  OptionalShared copy_of;
};

struct Diagnostic {
  DiagnosticCode code = DiagnosticCode::InvalidJson;
  Severity severity = Severity::Error;
  std::optional<SourceRef> source;
  std::string message;
};

struct Report {
  std::vector<Event> events;
  std::vector<Diagnostic> diagnostics;
};

}  // namespace vt
