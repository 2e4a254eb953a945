#include "cli/prompt_count.hpp"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <tuple>

namespace vt::cli {

namespace {

constexpr std::int64_t kWindowSeconds = 600;

enum Place : std::uint8_t { kHistory = 1, kConversation = 2, kUserMessage = 4 };

Place place_of(const Event& event) {
  if (event.source.artifact_kind == ArtifactKind::History) return kHistory;
  if (event.source.record_type && *event.source.record_type == "event_msg/user_message") return kUserMessage;
  return kConversation;
}

std::string_view trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(start, end + 1 - start);
}

// The text between `open` and `close` inside `text`, when both are there.
std::optional<std::string_view> between(std::string_view text, std::string_view open, std::string_view close) {
  const std::size_t start = text.find(open);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t body = start + open.size();
  const std::size_t end = text.find(close, body);
  if (end == std::string_view::npos) return std::nullopt;
  return text.substr(body, end - body);
}

// The command line a command prompt stands for; absent for a command's output.
std::optional<std::string> command_line(std::string_view text) {
  text = trimmed(text);
  if (const auto name = between(text, "<command-name>", "</command-name>")) {
    std::string line(trimmed(*name));
    if (!line.starts_with('/')) line.insert(0, "/");
    const auto args = between(text, "<command-args>", "</command-args>");
    if (args && !trimmed(*args).empty()) line.append(" ").append(trimmed(*args));
    return line;
  }
  if (const auto input = between(text, "<bash-input>", "</bash-input>")) {
    return "!" + std::string(trimmed(*input));
  }
  constexpr std::string_view kUnknownSkill = "Unknown skill: ";
  if (text.starts_with(kUnknownSkill)) return "/" + std::string(trimmed(text.substr(kUnknownSkill.size())));
  if (text.starts_with('<') && !text.starts_with("<user_shell_command>")) return std::nullopt;  // output
  if (text.starts_with('!')) return "!" + std::string(trimmed(text.substr(1)));
  return std::string(text);
}

bool is_blank_byte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string without_blanks(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (const char c : text) {
    if (!is_blank_byte(c)) kept.push_back(c);
  }
  return kept;
}

// The length of a placeholder at the start of `text` ("[Pasted text #3]",
// "[Pasted text #1 +116 lines]", "[Image #2]"), or 0.
std::size_t placeholder_length(std::string_view text) {
  std::size_t i = 0;
  const auto literal = [&](std::string_view expected) {
    if (text.substr(i, expected.size()) != expected) return false;
    i += expected.size();
    return true;
  };
  const auto number = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > start;
  };
  if (literal("[Image #")) return number() && literal("]") ? i : 0;
  if (!literal("[Pasted text #") || !number()) return 0;
  if (literal("]")) return i;
  return literal(" +") && number() && literal(" lines]") ? i : 0;
}

// The texts around a history's placeholders (without blanks); empty when it has none.
std::vector<std::string> placeholder_pieces(std::string_view text) {
  std::vector<std::string> pieces;
  std::size_t piece = 0;
  for (std::size_t i = text.find('['); i != std::string_view::npos; i = text.find('[', i + 1)) {
    const std::size_t length = placeholder_length(text.substr(i));
    if (length == 0) continue;
    pieces.push_back(without_blanks(text.substr(piece, i - piece)));
    piece = i + length;
    i = piece - 1;
  }
  if (!pieces.empty()) pieces.push_back(without_blanks(text.substr(piece)));
  return pieces;
}

// Whether `text` is the pieces with any text in place of each placeholder.
bool fits(const std::vector<std::string>& pieces, std::string_view text) {
  if (!text.starts_with(pieces.front()) || !text.ends_with(pieces.back())) return false;
  if (pieces.front().size() + pieces.back().size() > text.size()) return false;
  std::size_t at = pieces.front().size();
  const std::size_t end = text.size() - pieces.back().size();
  for (std::size_t k = 1; k + 1 < pieces.size(); ++k) {
    const std::size_t found = text.substr(0, end).find(pieces[k], at);
    if (found == std::string_view::npos) return false;
    at = found + pieces[k].size();
  }
  return true;
}

}  // namespace

std::optional<std::string> prompt_match_text(const Event& event, PromptOrigin origin) {
  const std::string_view message = event.message ? std::string_view(*event.message) : std::string_view();
  if (origin == PromptOrigin::Command) return command_line(message);
  return std::string(trimmed(message));
}

bool PromptCounter::is_new(const Event& event, PromptOrigin origin, std::string_view text) {
  scratch_.clear();
  scratch_.push_back(static_cast<char>(event.provider));
  scratch_.push_back(static_cast<char>(origin));
  if (event.session_id) scratch_.append(*event.session_id);
  Group& group = groups_[scratch_];
  Prompt candidate{place_of(event),
                   event.timestamp_source == TimestampSource::Embedded ? event.timestamp : std::nullopt,
                   without_blanks(text), placeholder_pieces(text)};
  const auto joins = [&candidate](Prompt& prompt) {
    if ((prompt.places & candidate.places) != 0) return false;
    if (candidate.at && prompt.at &&
        std::abs(candidate.at->unix_seconds() - prompt.at->unix_seconds()) > kWindowSeconds) {
      return false;
    }
    prompt.places |= candidate.places;
    if (!prompt.at) prompt.at = candidate.at;
    return true;
  };
  const auto [first, last] = group.by_text.equal_range(candidate.text);
  for (auto it = first; it != last; ++it) {
    if (joins(group.prompts[it->second])) return false;
  }
  if (!candidate.pieces.empty() || group.any_pieces) {
    for (Prompt& prompt : group.prompts) {
      const bool alike = (!candidate.pieces.empty() && fits(candidate.pieces, prompt.text)) ||
                         (!prompt.pieces.empty() && fits(prompt.pieces, candidate.text));
      if (alike && joins(prompt)) return false;
    }
  }
  group.any_pieces = group.any_pieces || !candidate.pieces.empty();
  group.by_text.emplace(candidate.text, group.prompts.size());
  group.prompts.push_back(std::move(candidate));
  return true;
}

std::vector<bool> transcript_replays(const std::vector<Event>& events) {
  // (record hash, sub-agent copy, position): copies sort together, the one
  // outside any sub-agent and then the earliest first.
  std::vector<std::tuple<std::uint64_t, bool, std::size_t>> copies;
  std::string key;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    if (e.source.artifact_kind != ArtifactKind::Transcript || !e.source.source_id || !e.session_id) continue;
    if (e.event_type != EventType::PromptInput && e.event_type != EventType::AgentMessage &&
        e.event_type != EventType::ToolCall) {
      continue;
    }
    std::string_view type = e.source.record_type ? std::string_view(*e.source.record_type) : std::string_view();
    const bool sidechain = type.starts_with("sidechain/");
    if (sidechain) type.remove_prefix(std::string_view("sidechain/").size());
    key.assign(*e.session_id).push_back('\0');
    key.append(*e.source.source_id).push_back('\0');
    key.append(type).push_back('\0');
    if (e.message) key.append(*e.message);
    copies.emplace_back(std::hash<std::string>{}(key), sidechain, i);
  }
  std::sort(copies.begin(), copies.end());
  std::vector<bool> replay(events.size(), false);
  for (std::size_t i = 1; i < copies.size(); ++i) {
    if (std::get<0>(copies[i]) == std::get<0>(copies[i - 1])) replay[std::get<2>(copies[i])] = true;
  }
  return replay;
}

}  // namespace vt::cli
