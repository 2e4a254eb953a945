// The timeline as JSON lines that Timesketch imports as they are: the four
// fields it requires (message, datetime, timestamp in microseconds,
// timestamp_desc) plus flat fields for searching. Events without a timestamp
// cannot be placed on its time axis and are left out.
#pragma once

#include <cstddef>
#include <string>

#include "core/parse_error.hpp"
#include "core/records.hpp"
#include "output/sink.hpp"

namespace vt::cli {

// The one-line message: provider, event type and the first 200 characters
// of the event's message, line breaks and other controls as blanks.
std::string timesketch_message(const Event& event);

// How Timesketch names the kind of time an event carries.
std::string_view timestamp_description(TimestampSource source);

// Writes every timestamped event; `left_out` counts the others.
Status write_timesketch(const Report& report, ByteSink& sink, std::size_t& left_out);

}  // namespace vt::cli
