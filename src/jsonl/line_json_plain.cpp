// The line parser of a self-contained program built where simdjson cannot be
// linked statically: every line goes to the reference parser, which gives the
// same values and messages as the fast build, only more slowly.
#include "jsonl/line_json.hpp"

#include "jsonl/json_parse.hpp"

namespace vt {

struct LineJsonParser::State {
  Json value;  // the line's value, which the tape reads
  JsonTape tape;
};

LineJsonParser::LineJsonParser() : state_(std::make_unique<State>()) {}
LineJsonParser::~LineJsonParser() = default;
LineJsonParser::LineJsonParser(LineJsonParser&&) noexcept = default;
LineJsonParser& LineJsonParser::operator=(LineJsonParser&&) noexcept = default;

std::optional<Json> LineJsonParser::parse_fast(std::string_view) { return std::nullopt; }

std::expected<Json, std::string> LineJsonParser::parse(std::string_view text) {
  return parse_json_text(text);
}

std::expected<JsonView, std::string> LineJsonParser::parse_view(std::string_view text) {
  auto value = parse_json_text(text);
  if (!value) return std::unexpected(std::move(value.error()));
  state_->value = std::move(*value);
  state_->tape.assign(state_->value);
  return JsonView(state_->tape, 0);
}

}  // namespace vt
