#include "claude/transcripts/transcript_facts.hpp"

namespace vt::claude {

namespace {

std::optional<std::string_view> text_of(const FieldRef& field) {
  if (!field || !field->is_string() || field->string().empty()) return std::nullopt;
  return field->string();
}

std::optional<std::uint64_t> count_of(JsonView object, std::string_view key) {
  const FieldRef count = get_field(object, key);
  if (!count || count->kind() != JsonKind::Unsigned) return std::nullopt;
  return count->unsigned_value();
}

std::optional<double> number_of(const FieldRef& field) {
  if (!field) return std::nullopt;
  switch (field->kind()) {
    case JsonKind::Unsigned: return static_cast<double>(field->unsigned_value());
    case JsonKind::Integer: return static_cast<double>(field->integer());
    case JsonKind::Float: return field->float_value();
    default: return std::nullopt;
  }
}

}  // namespace

OptionalShared TranscriptFacts::label(const FieldRef& field) {
  const auto text = text_of(field);
  if (!text) return std::nullopt;
  return labels_.get(*text);
}

Facts TranscriptFacts::record_facts(const FactMembers& members, const OptionalShared& record_id,
                                    const FieldRef& message) {
  Facts facts;
  facts.record_id = record_id;
  if (const auto parent = text_of(members.parent)) facts.parent_id = *parent;
  if (members.sidechain && members.sidechain->is_boolean()) facts.sidechain = members.sidechain->boolean();
  facts.agent_id = label(members.agent);
  facts.git_branch = label(members.branch);
  if (message && message->is_object()) {
    facts.model = label(get_field(*message, "model"));
    if (const auto id = text_of(get_field(*message, "id"))) facts.message_id = *id;
  }
  return facts;
}

void TranscriptFacts::tool_call(Facts& facts, JsonView block, std::optional<std::string> argument) {
  if (const auto name = text_of(get_field(block, "name"))) facts.tool_name = tool_names_.get(*name);
  if (const auto id = text_of(get_field(block, "id"))) {
    facts.tool_call_id = *id;
    if (facts.tool_name) call_names_.insert_or_assign(std::string(*id), *facts.tool_name);
  }
  facts.tool_input = std::move(argument);
}

void TranscriptFacts::tool_result(Facts& facts, JsonView block, bool from_user) {
  if (const auto id = text_of(get_field(block, "tool_use_id"))) {
    facts.tool_call_id = *id;
    if (const auto found = call_names_.find(std::string(*id)); found != call_names_.end()) {
      facts.tool_name = found->second;
    }
  }
  const FieldRef error = get_field(block, "is_error");
  if (error && error->is_boolean()) {
    facts.tool_error = error->boolean();
  } else if (from_user) {
    facts.tool_error = false;
  }
}

Usage TranscriptFacts::usage(JsonView usage, const FieldRef& cost) {
  Usage out;
  TokenAmounts& tokens = out.tokens;
  tokens.input = count_of(usage, "input_tokens");
  tokens.cache_write = count_of(usage, "cache_creation_input_tokens");
  tokens.cache_read = count_of(usage, "cache_read_input_tokens");
  tokens.output = count_of(usage, "output_tokens");
  // The one-hour part of the cache writes, when the usage breaks them down.
  if (const FieldRef creation = get_object(usage, "cache_creation")) {
    tokens.cache_write_1h = count_of(*creation, "ephemeral_1h_input_tokens");
  }
  out.recorded_cost_usd = number_of(cost);
  return out;
}

}  // namespace vt::claude
