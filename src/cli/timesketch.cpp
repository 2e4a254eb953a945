#include "cli/timesketch.hpp"

#include "cli/line_output.hpp"
#include "core/fact_fields.hpp"
#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/json_text.hpp"

namespace vt::cli {

namespace {

constexpr std::size_t kMessageCharacters = 200;

// Microseconds since the epoch; a leap second's excess stays in its second.
std::int64_t epoch_microseconds(const Instant& at) {
  return at.unix_seconds() * 1'000'000 + static_cast<std::int64_t>(at.nanos() / 1000);
}

// A fact as a flat attribute, when the event has it.
void put_fact(JsonLayout& j, std::string_view name, const OptionalShared& value) {
  if (!value) return;
  j.key(name);
  j.string(*value);
}
template <class Value>
void put_fact(JsonLayout& j, std::string_view name, const std::optional<Value>& value) {
  if (!value) return;
  j.key(name);
  if constexpr (std::is_same_v<Value, bool>) {
    j.boolean(value);
  } else if constexpr (std::is_same_v<Value, double>) {
    j.number(value);
  } else if constexpr (std::is_same_v<Value, std::int64_t>) {
    j.integer(value);
  } else {
    j.uint(value);
  }
}

}  // namespace

std::string_view timestamp_description(TimestampSource source) {
  switch (source) {
    case TimestampSource::Embedded: return "Recorded";
    case TimestampSource::ReferencedEvent: return "Referenced Event";
    case TimestampSource::FilesystemModified: return "File Modified";
    case TimestampSource::None: break;
  }
  return "Unknown";
}

std::string timesketch_message(const Event& event) {
  std::string text;
  text.append(wire_name(event.provider));
  text.push_back(' ');
  text.append(wire_name(event.event_type));
  if (!event.message || event.message->empty()) return text;
  text.append(": ");
  const std::string message = utf8_lossy(*event.message);
  std::size_t characters = 0;
  for (std::size_t i = 0; i < message.size() && characters < kMessageCharacters; ++characters) {
    const auto lead = static_cast<unsigned char>(message[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0x20 || lead == 0x7F) {
      text.push_back(' ');
    } else {
      text.append(message, i, length);
    }
    i += length;
  }
  return text;
}

Status write_timesketch(const Report& report, ByteSink& sink, std::size_t& left_out) {
  BufferedSink out(sink);
  left_out = 0;
  JsonLayout j(out, false);  // one for all lines: no allocation per event
  for (const Event& event : report.events) {
    if (!event.timestamp) {
      ++left_out;
      continue;
    }
    j.begin_object();
    j.key("message");
    j.string(timesketch_message(event));
    j.key("datetime");
    j.string(offset_timestamp_text(*event.timestamp));
    j.key("timestamp");
    out.append(std::to_string(epoch_microseconds(*event.timestamp)));
    j.key("timestamp_desc");
    j.string(timestamp_description(event.timestamp_source));
    j.wire("provider", event.provider);
    j.wire("event_type", event.event_type);
    const auto optional_text = [&j](std::string_view name, const OptionalShared& v) {
      if (!v) return;
      j.key(name);
      j.string(*v);
    };
    optional_text("session_id", event.session_id);
    optional_text("working_directory", event.working_directory);
    j.key("relative_path");
    j.string(event.source.relative_path);
    if (event.source.line_number) {
      j.key("line_number");
      j.uint(*event.source.line_number);
    }
    j.key("event_id");
    j.string(event.event_id);
    optional_text("source_file_sha256", event.source_file_sha256);
    if (event.origin) j.wire("origin", *event.origin);
    for_each_fact_field([&j, &event](const auto& field) { put_fact(j, field.name, field.get(event)); });
    j.end_object();
    out.push_back('\n');
    if (out.failed()) break;
  }
  return finish_lines(out);
}

}  // namespace vt::cli
