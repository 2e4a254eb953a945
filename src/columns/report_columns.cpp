#include "columns/report_columns.hpp"

#include "columns/column_builders.hpp"
#include "columns/column_set.hpp"
#include "core/fact_fields.hpp"
#include "output/json_text.hpp"

namespace vt::columns {

namespace {

std::vector<std::pair<std::string, std::string>> table_metadata() {
  return {{kSchemaVersionKey, std::string(Event::schema_version)}};
}

// One fact column, typed by the fact's value.
void add_fact_column(ColumnSet<Event>& c, const TextFact& fact) {
  if (fact.label) {
    c.add<SharedTextColumn>(std::string(fact.name), [get = fact.get](const Event& e, SharedTextColumn& b) {
      b.append(get(e));
    });
  } else {
    c.add<TextColumn>(std::string(fact.name), [get = fact.get](const Event& e, TextColumn& b) { b.append(get(e)); });
  }
}

// The builder of a fact's column, by the fact's value.
template <class Value>
struct FactBuilder;
template <>
struct FactBuilder<std::uint64_t> {
  using type = UInt64Column;
};
template <>
struct FactBuilder<std::int64_t> {
  using type = Int64Column;
};
template <>
struct FactBuilder<double> {
  using type = Float64Column;
};
template <>
struct FactBuilder<bool> {
  using type = BoolColumn;
};

template <class Value>
void add_fact_column(ColumnSet<Event>& c, const FactField<std::optional<Value>>& fact) {
  using Builder = typename FactBuilder<Value>::type;
  c.add<Builder>(std::string(fact.name), [get = fact.get](const Event& e, Builder& b) { b.append(get(e)); });
}

// The event columns in the CSV's order (`content` and `raw` only when asked
// for, the full reading's `origin` and facts last), after the collection. A
// field added to events gets its line here, at the place of its CSV column.
ColumnSet<Event> event_columns(const ColumnChoice& choice) {
  ColumnSet<Event> c;
  c.add("collection", ConstantColumn(choice.collection), [](const Event&, ConstantColumn& b) { b.append(); },
        false);
  c.add("schema_version", ConstantColumn(Event::schema_version),
        [](const Event&, ConstantColumn& b) { b.append(); }, false);
  c.add<TextColumn>("event_id", [](const Event& e, TextColumn& b) { b.append_valid(e.event_id.view()); }, false);
  c.add<UInt64Column>("sequence", [](const Event& e, UInt64Column& b) { b.append(e.sequence); }, false);
  c.add<WordColumn>("provider", [](const Event& e, WordColumn& b) { b.append(e.provider); }, false);
  c.add<SharedTextColumn>("source_file_sha256",
                          [](const Event& e, SharedTextColumn& b) { b.append(e.source_file_sha256); });
  c.add<TimestampColumn>("timestamp", [](const Event& e, TimestampColumn& b) { b.append(e.timestamp); });
  c.add<TextColumn>("timestamp_raw", [](const Event& e, TextColumn& b) {
    e.timestamp_raw ? b.append_json(*e.timestamp_raw) : b.append_null();
  });
  c.add<WordColumn>("timestamp_source",
                    [](const Event& e, WordColumn& b) { b.append(e.timestamp_source); }, false);
  c.add<WordColumn>("event_type", [](const Event& e, WordColumn& b) { b.append(e.event_type); }, false);
  c.add<SharedTextColumn>("session_id", [](const Event& e, SharedTextColumn& b) { b.append(e.session_id); });
  c.add<SharedTextColumn>("working_directory",
                          [](const Event& e, SharedTextColumn& b) { b.append(e.working_directory); });
  c.add<TextColumn>("message", [](const Event& e, TextColumn& b) { b.append(e.message); });
  c.add<WordColumn>("artifact_kind",
                    [](const Event& e, WordColumn& b) { b.append(e.source.artifact_kind); }, false);
  c.add<SharedTextColumn>("source_record_type",
                          [](const Event& e, SharedTextColumn& b) { b.append(e.source.record_type); });
  c.add<SharedTextColumn>("source_relative_path",
                          [](const Event& e, SharedTextColumn& b) { b.append(e.source.relative_path); },
                          false);
  c.add<UInt64Column>("source_line", [](const Event& e, UInt64Column& b) { b.append(e.source.line_number); });
  c.add<TextColumn>("source_id", [](const Event& e, TextColumn& b) { b.append(e.source.source_id); });
  c.add<WordColumn>("reference_status", [](const Event& e, WordColumn& b) {
    e.artifact ? b.append(e.artifact->reference_status) : b.append_null();
  });
  c.add<TextColumn>("resolved_path", [](const Event& e, TextColumn& b) {
    e.artifact ? b.append(e.artifact->resolved_path) : b.append_null();
  });
  c.add<UInt64Column>("snapshot_version", [](const Event& e, UInt64Column& b) {
    e.artifact ? b.append(e.artifact->snapshot_version) : b.append_null();
  });
  c.add<UInt64Column>("size", [](const Event& e, UInt64Column& b) {
    e.artifact ? b.append(e.artifact->size) : b.append_null();
  });
  c.add<TextColumn>("sha256", [](const Event& e, TextColumn& b) {
    e.artifact ? b.append(e.artifact->sha256) : b.append_null();
  });
  c.add<DictionaryColumn>("media_type", [](const Event& e, DictionaryColumn& b) {
    e.artifact && e.artifact->media_type ? b.append(*e.artifact->media_type) : b.append_null();
  });
  if (choice.include_content) {
    c.add<TextColumn>("content", [](const Event& e, TextColumn& b) {
      e.artifact ? b.append(e.artifact->content) : b.append_null();
    });
  }
  c.add<WordColumn>("content_encoding", [](const Event& e, WordColumn& b) {
    e.artifact ? b.append(e.artifact->content_encoding) : b.append_null();
  });
  c.add<TimestampColumn>("fs_modified", [](const Event& e, TimestampColumn& b) {
    b.append(e.fs_times ? e.fs_times->modified : std::nullopt);
  });
  c.add<TimestampColumn>("fs_accessed", [](const Event& e, TimestampColumn& b) {
    b.append(e.fs_times ? e.fs_times->accessed : std::nullopt);
  });
  c.add<TimestampColumn>("fs_created", [](const Event& e, TimestampColumn& b) {
    b.append(e.fs_times ? e.fs_times->created : std::nullopt);
  });
  c.add<TextListColumn>("warnings", [](const Event& e, TextListColumn& b) { b.append(e.warnings); }, false);
  if (choice.include_raw) {
    c.add<TextColumn>("raw", [](const Event& e, TextColumn& b) {
      e.raw ? b.append_json(*e.raw) : b.append_null();
    });
  }
  if (choice.extras) {
    c.add<WordColumn>("origin", [](const Event& e, WordColumn& b) { b.append(e.origin); });
    for_each_fact_field([&c](const auto& fact) { add_fact_column(c, fact); });
  }
  return c;
}

ColumnSet<Diagnostic> diagnostic_columns(const ColumnChoice& choice) {
  ColumnSet<Diagnostic> c;
  c.add("collection", ConstantColumn(choice.collection),
        [](const Diagnostic&, ConstantColumn& b) { b.append(); }, false);
  c.add<WordColumn>("code", [](const Diagnostic& d, WordColumn& b) { b.append(d.code); }, false);
  c.add<WordColumn>("severity", [](const Diagnostic& d, WordColumn& b) { b.append(d.severity); }, false);
  c.add<TextColumn>("message", [](const Diagnostic& d, TextColumn& b) { b.append(d.message); }, false);
  c.add<WordColumn>("artifact_kind", [](const Diagnostic& d, WordColumn& b) {
    d.source ? b.append(d.source->artifact_kind) : b.append_null();
  });
  c.add<SharedTextColumn>("source_record_type", [](const Diagnostic& d, SharedTextColumn& b) {
    d.source ? b.append(d.source->record_type) : b.append_null();
  });
  c.add<SharedTextColumn>("source_relative_path", [](const Diagnostic& d, SharedTextColumn& b) {
    d.source ? b.append(d.source->relative_path) : b.append_null();
  });
  c.add<UInt64Column>("source_line", [](const Diagnostic& d, UInt64Column& b) {
    b.append(d.source ? d.source->line_number : std::nullopt);
  });
  c.add<TextColumn>("source_id", [](const Diagnostic& d, TextColumn& b) {
    d.source ? b.append(d.source->source_id) : b.append_null();
  });
  return c;
}

}  // namespace

Result<ReportTables> report_tables(Report& report, const ColumnChoice& choice,
                                   const std::atomic<bool>* cancel) {
  ReportTables tables;
  Result<ColumnTable> events = event_columns(choice).build(report.events, table_metadata(), kBatchRows, cancel, choice.threads);
  if (!events) return fail(std::move(events.error()));
  report.events = {};
  Result<ColumnTable> diagnostics =
      diagnostic_columns(choice).build(report.diagnostics, table_metadata(), kBatchRows, cancel, choice.threads);
  if (!diagnostics) return fail(std::move(diagnostics.error()));
  report.diagnostics = {};
  tables.events = std::move(*events);
  tables.diagnostics = std::move(*diagnostics);
  return tables;
}

}  // namespace vt::columns
