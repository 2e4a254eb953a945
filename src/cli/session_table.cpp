#include "cli/session_table.hpp"

#include <algorithm>
#include <functional>

#include "cli/summary_notes.hpp"
#include "cli/terminal_text.hpp"
#include "core/path_text.hpp"
#include "output/json_text.hpp"

namespace vt::cli {

namespace {

using Value = nlohmann::ordered_json;

// How a narrow table shows a column: its heading, whether it stays at all,
// and how a text too long for it is shortened.
enum class Fit { Keep, ElideStart, ElideEnd, Drop };

struct Column {
  std::string name;   // CSV and JSON
  std::string short_name;  // narrow table
  Fit fit;
  bool number;
  std::function<Value(const SummaryRow&)> value;
};

Value text(const std::optional<std::string>& s) { return s ? Value(utf8_lossy(*s)) : Value(nullptr); }

Value count_value(const std::optional<std::uint64_t>& n) { return n ? Value(*n) : Value(nullptr); }

Value usd(const std::optional<double>& amount) { return amount ? Value(*amount) : Value(nullptr); }

Value names(const std::vector<std::string>& list, std::string_view none = {}) {
  Value out = Value::array();
  for (const std::string& name : list) out.push_back(utf8_lossy(name.empty() && !none.empty() ? none : name));
  return out;
}

std::vector<Column> columns_for(const std::vector<GroupBy>& by, const std::string& cost_heading) {
  std::vector<Column> columns;
  const bool per_session = std::find(by.begin(), by.end(), GroupBy::Session) != by.end();
  const bool per_model = std::find(by.begin(), by.end(), GroupBy::Model) != by.end();
  for (const GroupBy g : by) {
    switch (g) {
      case GroupBy::Session:
        columns.push_back({"provider", "provider", Fit::Keep, false,
                           [](const SummaryRow& r) { return Value(std::string(wire_name(r.provider))); }});
        columns.push_back({"session_id", "session", Fit::ElideEnd, false,
                           [](const SummaryRow& r) { return text(r.session_id); }});
        columns.push_back({"working_directory", "directory", Fit::ElideStart, false,
                           [](const SummaryRow& r) { return text(r.working_directory); }});
        break;
      case GroupBy::Day:
        columns.push_back({"day", "day", Fit::Keep, false, [](const SummaryRow& r) { return text(r.day); }});
        break;
      case GroupBy::Week:
        columns.push_back({"week", "week", Fit::Keep, false, [](const SummaryRow& r) { return text(r.week); }});
        break;
      case GroupBy::Month:
        columns.push_back({"month", "month", Fit::Keep, false, [](const SummaryRow& r) { return text(r.month); }});
        break;
      case GroupBy::Block:
        columns.push_back({"block", "block", Fit::Keep, false, [](const SummaryRow& r) { return text(r.block); }});
        break;
      case GroupBy::Project:
        columns.push_back({"project", "project", Fit::ElideStart, false,
                           [](const SummaryRow& r) { return text(r.project); }});
        break;
      case GroupBy::Model:
        columns.push_back({"model", "model", Fit::ElideEnd, false, [](const SummaryRow& r) { return text(r.model); }});
        break;
    }
  }
  const auto count = [](std::uint64_t Counts::*member) {
    return [member](const SummaryRow& r) { return Value(r.counts.*member); };
  };
  const auto time = [](std::optional<Instant> SummaryRow::*member) {
    return [member](const SummaryRow& r) {
      return r.*member ? Value(timestamp_text(*(r.*member))) : Value(nullptr);
    };
  };
  if (!per_session) {
    columns.push_back({"sessions", "sessions", Fit::Keep, true, [](const SummaryRow& r) { return Value(r.sessions); }});
  }
  columns.push_back({"first_timestamp", "", Fit::Drop, false, time(&SummaryRow::first)});
  columns.push_back({"last_timestamp", "", Fit::Drop, false, time(&SummaryRow::last)});
  columns.push_back({"prompts", "typed", Fit::Keep, true, count(&Counts::typed_prompts)});
  columns.push_back({"injected_prompts", "inj", Fit::Keep, true, count(&Counts::injected_prompts)});
  columns.push_back({"command_prompts", "cmd", Fit::Keep, true, count(&Counts::command_prompts)});
  columns.push_back({"agent_messages", "msgs", Fit::Keep, true, count(&Counts::agent_messages)});
  columns.push_back({"tool_calls", "tools", Fit::Keep, true, count(&Counts::tool_calls)});
  columns.push_back({"diagnostic_lines", "diag", Fit::Keep, true,
                     [](const SummaryRow& r) { return Value(r.diagnostic_lines); }});
  const auto tokens = [](std::optional<std::uint64_t> TokenTotals::*member) {
    return [member](const SummaryRow& r) { return count_value(r.counts.tokens.*member); };
  };
  columns.push_back({"input_tokens", "", Fit::Drop, true, tokens(&TokenTotals::input)});
  columns.push_back({"cache_write_tokens", "", Fit::Drop, true, tokens(&TokenTotals::cache_write)});
  columns.push_back({"cache_read_tokens", "", Fit::Drop, true, tokens(&TokenTotals::cache_read)});
  columns.push_back({"output_tokens", "", Fit::Drop, true, tokens(&TokenTotals::output)});
  columns.push_back({"reasoning_tokens", "", Fit::Drop, true, tokens(&TokenTotals::reasoning)});
  columns.push_back({"total_tokens", "tokens", Fit::Keep, true,
                     [](const SummaryRow& r) { return count_value(r.counts.tokens.total()); }});
  columns.push_back({"cost_usd", cost_heading, Fit::Keep, true,
                     [](const SummaryRow& r) { return usd(r.counts.cost.estimated_usd); }});
  columns.push_back({"recorded_cost_usd", "", Fit::Drop, true,
                     [](const SummaryRow& r) { return usd(r.counts.cost.recorded_usd); }});
  columns.push_back({"unpriced_tokens", "", Fit::Drop, true,
                     [](const SummaryRow& r) { return Value(r.counts.cost.unpriced_tokens); }});
  columns.push_back({"unpriced_models", "", Fit::Drop, false,
                     [](const SummaryRow& r) { return names(r.counts.cost.unpriced_models, kNoModel); }});
  columns.push_back({"sums_saturated", "", Fit::Drop, false, [](const SummaryRow& r) {
                       return Value(r.counts.tokens.saturated_anywhere() || r.counts.cost.saturated);
                     }});
  columns.push_back({"models", "models", per_model ? Fit::Drop : Fit::ElideEnd, false,
                     [](const SummaryRow& r) { return names(r.models); }});
  return columns;
}

// A cell as text: absent as `none`, a list as its items joined by commas, an
// amount of dollars to the cent in the table and in full in CSV.
std::string cell_text(const Value& value, const std::string& none, bool table = false) {
  if (value.is_null()) return none;
  if (value.is_number_unsigned()) return std::to_string(value.get<std::uint64_t>());
  if (value.is_number_float() && table) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", value.get<double>());
    return text;
  }
  if (value.is_number() || value.is_boolean()) return value.dump();
  if (value.is_array()) {
    std::string joined;
    for (const Value& item : value) joined += (joined.empty() ? "" : ",") + item.get<std::string>();
    return joined.empty() ? none : joined;
  }
  return value.get<std::string>();
}

// A token count in at most five characters: 12345 as 12.3k, 4567890 as 4.6M.
std::string short_count(const Value& value) {
  if (!value.is_number_unsigned()) return cell_text(value, "-");
  const std::uint64_t n = value.get<std::uint64_t>();
  if (n < 10000) return std::to_string(n);
  constexpr std::pair<double, const char*> kUnits[] = {{1e3, "k"}, {1e6, "M"}, {1e9, "G"}, {1e12, "T"}};
  for (const auto& [unit, suffix] : kUnits) {
    const double scaled = static_cast<double>(n) / unit;
    if (scaled < 999.5) {
      char text[16];
      std::snprintf(text, sizeof text, scaled < 99.95 ? "%.1f%s" : "%.0f%s", scaled, suffix);
      return text;
    }
  }
  return std::to_string(n);
}

// Width on a terminal: one column per character (code point).
std::size_t width(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Byte offset of the `n`th character of `text`.
std::size_t offset_of(std::string_view text, std::size_t n) {
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (n-- == 0) break;
  }
  return i;
}

std::string elided(const std::string& text, std::size_t room, Fit fit) {
  const std::size_t length = width(text);
  if (length <= room || room == 0) return text;
  if (fit == Fit::ElideStart) return "…" + text.substr(offset_of(text, length - (room - 1)));
  return text.substr(0, offset_of(text, room - 1)) + "…";
}

// Control characters would move the cursor or worse: shown as escapes.
std::string printable(const std::string& text) { return terminal_text(text); }

std::string text_table(const std::vector<SummaryRow>& rows, std::vector<Column> columns, const TableOptions& options) {
  if (!options.wide) {
    std::erase_if(columns, [](const Column& c) { return c.fit == Fit::Drop; });
  }
  const std::size_t n = columns.size();
  std::vector<std::vector<std::string>> table;
  table.emplace_back();
  for (const Column& c : columns) table.back().push_back(options.wide ? c.name : c.short_name);
  for (const SummaryRow& row : rows) {
    table.emplace_back();
    for (const Column& c : columns) {
      const Value value = c.value(row);
      const bool shortened = !options.wide && c.short_name == "tokens";
      table.back().push_back(printable(shortened ? short_count(value) : cell_text(value, "-", true)));
    }
  }
  std::vector<std::size_t> widths(n, 0);
  for (const auto& line : table) {
    for (std::size_t c = 0; c < n; ++c) widths[c] = std::max(widths[c], width(line[c]));
  }
  if (!options.wide) {
    // Narrow the elidable columns, the widest first, until the line fits.
    const auto total = [&widths] {
      std::size_t sum = 2 * (widths.size() - 1);
      for (const std::size_t w : widths) sum += w;
      return sum;
    };
    while (total() > options.width) {
      // Session ids go first: their first eight characters tell them apart.
      std::size_t widest = n;
      for (std::size_t c = 0; c < n; ++c) {
        const std::size_t least = std::max<std::size_t>(9, width(columns[c].short_name));
        if (columns[c].fit == Fit::Keep || widths[c] <= least) continue;
        if (columns[c].name == "session_id") {
          widest = c;
          break;
        }
        if (widest == n || widths[c] > widths[widest]) widest = c;
      }
      if (widest == n) break;  // nothing left to narrow
      --widths[widest];
    }
  }
  std::string out;
  for (const auto& line : table) {
    std::string text;
    for (std::size_t c = 0; c < n; ++c) {
      const std::string cell = elided(line[c], widths[c], columns[c].fit);
      const std::string pad(widths[c] - std::min(widths[c], width(cell)), ' ');
      if (c != 0) text += "  ";
      text += columns[c].number ? pad + cell : cell + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  }
  return out;
}

std::string csv_field(const std::string& field) {
  if (field.find_first_of(",\"\n\r") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string csv_table(const std::vector<SummaryRow>& rows, const std::vector<Column>& columns) {
  std::string out;
  for (std::size_t c = 0; c < columns.size(); ++c) out += (c ? "," : "") + columns[c].name;
  out += "\n";
  for (const SummaryRow& row : rows) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c) out += ",";
      out += csv_field(cell_text(columns[c].value(row), ""));
    }
    out += "\n";
  }
  return out;
}

Value json_row(const SummaryRow& row, const std::vector<Column>& columns) {
  Value object = Value::object();
  for (const Column& c : columns) object[c.name] = c.value(row);
  return object;
}

std::string dump(const Value& value, int indent) {
  return value.dump(indent, ' ', false, Value::error_handler_t::replace);
}

}  // namespace

std::string render_summary(const std::vector<SummaryRow>& rows, const std::vector<GroupBy>& by,
                           const TableOptions& options) {
  const std::vector<Column> columns = columns_for(by, "cost");
  switch (options.style) {
    case TableStyle::Text: {
      const std::string notes = summary_notes(rows, options.notes);
      return text_table(rows, columns, options) + (notes.empty() ? "" : "\n" + notes);
    }
    case TableStyle::Csv: return csv_table(rows, columns);
    case TableStyle::JsonLines: {
      std::string out;
      for (const SummaryRow& row : rows) out += dump(json_row(row, columns), -1) + "\n";
      return out;
    }
    case TableStyle::Json:
    case TableStyle::JsonCompact: {
      Value document = Value::array();
      for (const SummaryRow& row : rows) document.push_back(json_row(row, columns));
      return dump(document, options.style == TableStyle::Json ? 2 : -1) + "\n";
    }
  }
  return {};
}

}  // namespace vt::cli
