#include "cli/session_table.hpp"

#include <algorithm>
#include <array>

#include "cli/terminal_text.hpp"
#include "core/path_text.hpp"
#include "output/json_text.hpp"

namespace vt::cli {

namespace {

constexpr std::array<const char*, 14> kColumns = {
    "provider",       "session_id",   "working_directory", "first_timestamp", "last_timestamp",
    "prompts",        "agent_messages", "tool_calls",      "diagnostic_lines", "input_tokens",
    "cached_input_tokens", "output_tokens", "reasoning_tokens", "total_tokens"};

using Cells = std::array<std::optional<std::string>, kColumns.size()>;

std::optional<std::string> number(const std::optional<std::uint64_t>& n) {
  if (!n) return std::nullopt;
  return std::to_string(*n);
}

std::optional<std::string> token(const SessionRow& row, std::optional<std::uint64_t> TokenTotals::*member) {
  if (!row.tokens) return std::nullopt;
  return number((*row.tokens).*member);
}

Cells cells(const SessionRow& row) {
  const auto time = [](const std::optional<Instant>& at) -> std::optional<std::string> {
    if (!at) return std::nullopt;
    return timestamp_text(*at);
  };
  return Cells{std::string(wire_name(row.provider)), utf8_lossy(row.session_id),
               row.working_directory ? std::optional(utf8_lossy(*row.working_directory)) : std::nullopt,
               time(row.first), time(row.last), std::to_string(row.prompts),
               std::to_string(row.agent_messages), std::to_string(row.tool_calls),
               std::to_string(row.diagnostic_lines), token(row, &TokenTotals::input),
               token(row, &TokenTotals::cached_input), token(row, &TokenTotals::output),
               token(row, &TokenTotals::reasoning), token(row, &TokenTotals::total)};
}

bool numeric_column(std::size_t column) { return column >= 5; }

// Width on a terminal: one column per character (code point).
std::size_t width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string text_table(const std::vector<SessionRow>& rows) {
  std::vector<std::array<std::string, kColumns.size()>> table;
  std::array<std::string, kColumns.size()> header;
  for (std::size_t c = 0; c < kColumns.size(); ++c) header[c] = kColumns[c];
  table.push_back(header);
  for (const SessionRow& row : rows) {
    const Cells row_cells = cells(row);
    std::array<std::string, kColumns.size()> line;
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      line[c] = terminal_text(row_cells[c].value_or("-"));
    }
    table.push_back(std::move(line));
  }
  std::array<std::size_t, kColumns.size()> widths{};
  for (const auto& line : table) {
    for (std::size_t c = 0; c < kColumns.size(); ++c) widths[c] = std::max(widths[c], width(line[c]));
  }
  std::string out;
  for (const auto& line : table) {
    std::string text;
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      const std::string pad(widths[c] - width(line[c]), ' ');
      if (c != 0) text += "  ";
      text += numeric_column(c) ? pad + line[c] : line[c] + pad;
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

std::string csv_table(const std::vector<SessionRow>& rows) {
  std::string out;
  for (std::size_t c = 0; c < kColumns.size(); ++c) out += (c ? "," : "") + std::string(kColumns[c]);
  out += "\n";
  for (const SessionRow& row : rows) {
    const Cells row_cells = cells(row);
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      if (c) out += ",";
      out += csv_field(row_cells[c].value_or(""));
    }
    out += "\n";
  }
  return out;
}

nlohmann::ordered_json json_row(const SessionRow& row) {
  nlohmann::ordered_json object;
  const Cells row_cells = cells(row);
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    const auto& cell = row_cells[c];
    if (!cell) {
      object[kColumns[c]] = nullptr;
    } else if (numeric_column(c)) {
      object[kColumns[c]] = std::stoull(*cell);
    } else {
      object[kColumns[c]] = *cell;
    }
  }
  return object;
}

std::string dump(const nlohmann::ordered_json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string render_sessions(const std::vector<SessionRow>& rows, TableStyle style) {
  switch (style) {
    case TableStyle::Text: return text_table(rows);
    case TableStyle::Csv: return csv_table(rows);
    case TableStyle::JsonLines: {
      std::string out;
      for (const SessionRow& row : rows) out += dump(json_row(row), -1) + "\n";
      return out;
    }
    case TableStyle::Json:
    case TableStyle::JsonCompact: {
      nlohmann::ordered_json document = nlohmann::ordered_json::array();
      for (const SessionRow& row : rows) document.push_back(json_row(row));
      return dump(document, style == TableStyle::Json ? 2 : -1) + "\n";
    }
  }
  return {};
}

}  // namespace vt::cli
