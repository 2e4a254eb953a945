#include "jsonl/json_parse.hpp"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "core/path_text.hpp"

namespace vt {

namespace {

// Longest excerpt of the input quoted inside a description.
constexpr std::size_t kMaxQuoted = 40;

// Builds the value from the parser's events, refusing nesting beyond the bound
// before anything deeper is created. Strings and keys are moved, not copied.
class BoundedBuilder {
 public:
  explicit BoundedBuilder(Json& root) : root_(root) { stack_.reserve(16); }

  bool null() { place(nullptr); return true; }
  bool boolean(bool v) { place(v); return true; }
  bool number_integer(Json::number_integer_t v) { place(v); return true; }
  bool number_unsigned(Json::number_unsigned_t v) { place(v); return true; }
  bool number_float(Json::number_float_t v, const Json::string_t&) { place(v); return true; }
  bool string(Json::string_t& v) { place(std::move(v)); return true; }
  bool binary(Json::binary_t& v) { place(std::move(v)); return true; }

  bool start_object(std::size_t) { return open(Json::value_t::object); }
  bool start_array(std::size_t) { return open(Json::value_t::array); }
  bool end_object() { stack_.pop_back(); return true; }
  bool end_array() { stack_.pop_back(); return true; }

  bool key(Json::string_t& k) {
    // operator[] keeps an existing member, so a repeated key is overwritten.
    slot_ = &stack_.back()->get_ref<Json::object_t&>()[std::move(k)];
    return true;
  }

  template <class Exception>
  bool parse_error(std::size_t position, const std::string& last_token, const Exception& ex) {
    failed_ = true;
    position_ = position;
    token_ = last_token;
    message_ = ex.what();
    return false;
  }

  bool too_deep() const { return too_deep_; }
  bool failed() const { return failed_; }
  std::size_t opened() const { return opened_; }
  std::size_t position() const { return position_; }
  const std::string& token() const { return token_; }
  const std::string& message() const { return message_; }

 private:
  bool open(Json::value_t type) {
    if (stack_.size() >= kMaxJsonDepth) {
      too_deep_ = true;
      return false;
    }
    ++opened_;
    stack_.push_back(place(type));
    return true;
  }

  template <class V>
  Json* place(V&& v) {
    if (stack_.empty()) {
      root_ = Json(std::forward<V>(v));
      return &root_;
    }
    Json* parent = stack_.back();
    if (parent->is_array()) {
      auto& items = parent->get_ref<Json::array_t&>();
      items.emplace_back(std::forward<V>(v));
      return &items.back();
    }
    *slot_ = Json(std::forward<V>(v));
    return slot_;
  }

  Json& root_;
  std::vector<Json*> stack_;
  Json* slot_ = nullptr;
  std::size_t opened_ = 0;
  bool too_deep_ = false;
  bool failed_ = false;
  std::size_t position_ = 0;
  std::string token_;
  std::string message_;
};

// 1-based column of the `ordinal`-th opening bracket outside strings.
std::size_t bracket_column(std::string_view text, std::size_t ordinal) {
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if ((c == '[' || c == '{') && --ordinal == 0) {
      return i + 1;
    }
  }
  return text.size();
}

// " at line {l} column {c}" for the byte that `consumed` bytes of reading
// ended on; reading past the end points at the last byte.
std::string location(std::string_view text, std::size_t consumed) {
  const std::size_t end = std::min(std::max<std::size_t>(consumed, 1), std::max<std::size_t>(text.size(), 1));
  std::size_t line = 1, line_start = 0;
  for (std::size_t i = 0; i + 1 < end && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return " at line " + std::to_string(line) + " column " + std::to_string(end - line_start);
}

// The parser's own description, without its identifier and position prefix,
// with the quoted input shortened and made printable.
std::string describe(const BoundedBuilder& builder) {
  std::string text = builder.message();
  if (const auto tag_end = text.find("] "); text.starts_with("[json.exception.") &&
                                            tag_end != std::string::npos) {
    text.erase(0, tag_end + 2);
  }
  if (text.starts_with("parse error")) {
    if (const auto colon = text.find(": "); colon != std::string::npos) text.erase(0, colon + 2);
  }
  const std::string& token = builder.token();
  if (token.size() > kMaxQuoted) {
    const std::string quoted = "'" + token + "'";
    if (const auto at = text.rfind(quoted); at != std::string::npos) {
      text.replace(at, quoted.size(), "'" + token.substr(0, kMaxQuoted) + "...'");
    }
  }
  return utf8_lossy(text);
}

// One JSON value over exactly the bytes of `text`, which holds no NUL.
std::expected<Json, std::string> parse_json_bytes(std::string_view text) {
  Json value;
  BoundedBuilder builder(value);
  bool ok = false;
  try {
    ok = Json::sax_parse(text.data(), text.data() + text.size(), &builder,
                         nlohmann::json::input_format_t::json, /*strict=*/true,
                         /*ignore_comments=*/false);
  } catch (const std::exception& e) {
    return std::unexpected(utf8_lossy(e.what()) + location(text, text.size()));
  }
  if (ok) return value;
  if (builder.too_deep()) {
    return std::unexpected("recursion limit exceeded" +
                           location(text, bracket_column(text, builder.opened() + 1)));
  }
  if (builder.failed()) return std::unexpected(describe(builder) + location(text, builder.position()));
  return std::unexpected("invalid JSON value" + location(text, text.size()));
}

// The parser ends its input at a NUL byte as if the text were a C string, so
// a line is never handed to it with one inside. Everything up to the first
// NUL is parsed with a byte in its place that is invalid wherever it stands
// (a raw control character, inside a string or out); the parser then fails
// at that byte or earlier, and the description names the NUL it stands for.
std::string description_with_nul(std::string text) {
  constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"U+0001 (SOH)", "U+0000 (NUL)"}, {"\\u0001", "\\u0000"}, {"<U+0001>", "<U+0000>"}};
  for (const auto& [stand_in, nul] : kNames) {
    if (const auto at = text.find(stand_in); at != std::string::npos) text.replace(at, stand_in.size(), nul);
  }
  return text;
}

}  // namespace

std::expected<Json, std::string> parse_json_text(std::string_view text) {
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    std::string cut(text.substr(0, nul));
    cut.push_back('\x01');
    auto parsed = parse_json_bytes(cut);
    if (parsed) return std::unexpected("invalid literal" + location(text, nul + 1));
    return std::unexpected(description_with_nul(std::move(parsed.error())));
  }
  return parse_json_bytes(text);
}

}  // namespace vt
