#include "copilot_cli/workspace_yaml.hpp"

#include <yaml.h>

#include <vector>

#include "jsonl/json_parse.hpp"

namespace vt::copilot {

namespace {

struct Parser {
  yaml_parser_t parser{};
  bool ready = yaml_parser_initialize(&parser) != 0;
  ~Parser() { yaml_parser_delete(&parser); }
};

struct ParserEvent {
  yaml_event_t event{};
  bool held = false;
  ~ParserEvent() {
    if (held) yaml_event_delete(&event);
  }
};

std::string scalar_text(const yaml_event_t& event) {
  return std::string(reinterpret_cast<const char*>(event.data.scalar.value), event.data.scalar.length);
}

}  // namespace

WorkspaceValues read_workspace_yaml(std::string_view text) {
  WorkspaceValues out;
  Parser parser;
  if (!parser.ready) {
    out.problem = "the YAML parser could not be set up";
    return out;
  }
  yaml_parser_set_input_string(&parser.parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  std::size_t depth = 0;  // open mappings and sequences
  std::size_t documents = 0;
  // At the top level nodes alternate: a key, then its value. A key that is
  // not a plain scalar leaves its value unread (`key` stays absent).
  bool want_value = false;
  std::optional<std::string> key;
  const auto node_done = [&](std::optional<std::string> text) {
    if (!want_value) {
      key = std::move(text);
      want_value = true;
      return;
    }
    if (key && text) out.values.insert_or_assign(*key, std::move(*text));
    key.reset();
    want_value = false;
  };
  while (true) {
    ParserEvent next;
    if (yaml_parser_parse(&parser.parser, &next.event) == 0) {
      const char* problem = parser.parser.problem != nullptr ? parser.parser.problem : "invalid YAML";
      out.problem = std::string(problem) + " at line " + std::to_string(parser.parser.problem_mark.line + 1);
      return out;
    }
    next.held = true;
    const yaml_event_type_t type = next.event.type;
    if (type == YAML_STREAM_END_EVENT) break;
    if (type == YAML_DOCUMENT_START_EVENT && ++documents > 1) {
      out.problem = "more than one YAML document; only the first was read";
      break;
    }
    if (type == YAML_MAPPING_START_EVENT || type == YAML_SEQUENCE_START_EVENT) {
      if (++depth > kMaxJsonDepth) {
        out.problem = "nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return out;
      }
      if (depth == 1) out.is_mapping = type == YAML_MAPPING_START_EVENT;
      continue;
    }
    if (type == YAML_MAPPING_END_EVENT || type == YAML_SEQUENCE_END_EVENT) {
      if (depth > 0) --depth;
      if (depth == 1 && out.is_mapping) node_done(std::nullopt);
      continue;
    }
    if (depth != 1 || !out.is_mapping) continue;
    if (type == YAML_ALIAS_EVENT) {
      if (!out.problem) {
        out.problem = want_value && key ? "the value of '" + *key + "' is an alias, which is not expanded"
                                        : std::string("an alias, which is not expanded");
      }
      node_done(std::nullopt);
    } else if (type == YAML_SCALAR_EVENT) {
      node_done(scalar_text(next.event));
    }
  }
  return out;
}

}  // namespace vt::copilot
