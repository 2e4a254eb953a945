#include "output/record_json.hpp"

#include <array>
#include <string>

#include "core/fact_fields.hpp"

namespace vt {

namespace {

void put_source(JsonLayout& j, const SourceRef& source) {
  j.begin_object();
  j.wire("artifact_kind", source.artifact_kind);
  j.key("record_type");
  j.string(source.record_type);
  j.key("relative_path");
  j.string(source.relative_path);
  j.key("line_number");
  j.uint(source.line_number);
  j.key("source_id");
  j.string(source.source_id);
  j.end_object();
}

void put_artifact(JsonLayout& j, const Artifact& artifact) {
  j.begin_object();
  j.key("reference_status");
  if (artifact.reference_status) {
    j.word(wire_name(*artifact.reference_status));
  } else {
    j.null();
  }
  j.key("resolved_path");
  j.string(artifact.resolved_path);
  j.key("snapshot_version");
  j.uint(artifact.snapshot_version);
  j.key("size");
  j.uint(artifact.size);
  j.key("sha256");
  j.string(artifact.sha256);
  j.key("media_type");
  j.string(artifact.media_type);
  j.key("content");
  j.string(artifact.content);
  j.key("content_encoding");
  if (artifact.content_encoding) {
    j.word(wire_name(*artifact.content_encoding));
  } else {
    j.null();
  }
  j.end_object();
}

void put_fs_times(JsonLayout& j, const FsTimes& times) {
  j.begin_object();
  j.key("modified");
  j.timestamp(times.modified);
  j.key("accessed");
  j.timestamp(times.accessed);
  j.key("created");
  j.timestamp(times.created);
  j.end_object();
}

void put_fact(JsonLayout& j, const OptionalShared& value) { j.string(value); }
void put_fact(JsonLayout& j, const std::optional<std::uint64_t>& value) { j.uint(value); }
void put_fact(JsonLayout& j, const std::optional<std::int64_t>& value) { j.integer(value); }
void put_fact(JsonLayout& j, const std::optional<double>& value) { j.number(value); }
void put_fact(JsonLayout& j, const std::optional<bool>& value) { j.boolean(value); }

// Most events carry few facts: the leading run of absent ones is written in
// the compact layout as one piece, cut from the text of all of them absent.
struct AbsentFacts {
  std::string text;                                 // `,"model":null,...`
  std::array<std::size_t, kFactFieldCount + 1> end{};  // text of the first k
};

const AbsentFacts& absent_facts() {
  static const AbsentFacts absent = [] {
    AbsentFacts a;
    std::size_t k = 0;
    for_each_fact_field([&a, &k](const auto& field) {
      a.text += ",\"";
      a.text += field.name;
      a.text += "\":null";
      a.end[++k] = a.text.size();
    });
    return a;
  }();
  return absent;
}

// How many facts from the first on the event lacks.
std::size_t leading_absent_facts(const Event& e) {
  std::size_t leading = 0;
  bool run = true;
  for_each_fact_field([&e, &leading, &run](const auto& field) {
    run = run && !field.get(e).has_value();
    leading += run ? 1 : 0;
  });
  return leading;
}

void put_facts(JsonLayout& j, const Event& e) {
  std::size_t skip = 0;
  if (j.compact()) {
    const AbsentFacts& absent = absent_facts();
    skip = leading_absent_facts(e);
    j.compact_members(std::string_view(absent.text).substr(0, absent.end[skip]));
  }
  std::size_t index = 0;
  for_each_fact_field([&j, &e, &index, skip](const auto& field) {
    if (index++ < skip) return;
    j.key(field.name);
    put_fact(j, field.get(e));
  });
}

}  // namespace

void put_event_object(JsonLayout& j, const Event& e, EventExtras extras) {
  j.begin_object();
  j.key("schema_version");
  j.word(e.schema_version);
  j.key("event_id");
  j.string(e.event_id);
  j.key("sequence");
  j.uint(e.sequence);
  j.wire("provider", e.provider);
  j.key("source_file_sha256");
  j.string(e.source_file_sha256);
  j.key("timestamp");
  j.timestamp(e.timestamp);
  j.wire("timestamp_source", e.timestamp_source);
  j.key("timestamp_raw");
  j.json(e.timestamp_raw);
  j.wire("event_type", e.event_type);
  j.key("session_id");
  j.string(e.session_id);
  j.key("working_directory");
  j.string(e.working_directory);
  j.key("message");
  j.string(e.message);
  j.key("source");
  put_source(j, e.source);
  j.key("artifact");
  if (e.artifact) {
    put_artifact(j, *e.artifact);
  } else {
    j.null();
  }
  j.key("fs_times");
  if (e.fs_times) {
    put_fs_times(j, *e.fs_times);
  } else {
    j.null();
  }
  j.key("warnings");
  j.begin_array();
  for (const std::string& warning : e.warnings) {
    j.element();
    j.string(warning);
  }
  j.end_array();
  j.key("raw");
  j.json(e.raw);
  if (extras.origin) {
    j.key("origin");
    if (e.origin) {
      j.word(wire_name(*e.origin));
    } else {
      j.null();
    }
  }
  if (extras.facts) put_facts(j, e);
  j.end_object();
}

void put_diagnostic_object(JsonLayout& j, const Diagnostic& d) {
  j.begin_object();
  j.wire("code", d.code);
  j.wire("severity", d.severity);
  j.key("source");
  if (d.source) {
    put_source(j, *d.source);
  } else {
    j.null();
  }
  j.key("message");
  j.string(d.message);
  j.end_object();
}

}  // namespace vt
