// One prompt, one count. A prompt can be written in up to three places: the
// prompt history, the conversation (a Codex response item, a Claude Code
// transcript record) and, for Codex, the user-message event. Prompts of one
// session, one origin and one text are the same prompt when each place holds
// it at most once and their times lie within ten minutes of each other
// (a time taken from a neighbouring record, not the record's own, does not
// rule a match out). Events are taken in timeline order; each joins the first
// such prompt still missing its place, or starts a new one.
//
// The text compared: the message without any blanks (spaces, tabs, line
// breaks: conversation items join their parts by line breaks the event
// message does not have); a Claude Code history placeholder for pasted text
// or an image ("[Pasted text #1 +116 lines]", "[Image #2]") stands for any
// text. A command is compared by the command line it stands for ("/model
// opus", "!ls"), and the output of a command ("<local-command-stdout>…",
// "<bash-stdout>…") is no command of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/records.hpp"

namespace vt::cli {

// The text `event` is matched by, or absent when it does not count (the
// output of a command).
std::optional<std::string> prompt_match_text(const Event& event, PromptOrigin origin);

class PromptCounter {
 public:
  // True when `event` (a prompt of `origin` matched by `text`) starts a
  // prompt not counted yet; false when it is another place of one.
  bool is_new(const Event& event, PromptOrigin origin, std::string_view text);

 private:
  struct Prompt {
    std::uint8_t places = 0;
    std::optional<Instant> at;        // the first own time of any of its places
    std::string text;                 // without blanks
    std::vector<std::string> pieces;  // between placeholders, when it has any
  };
  // The prompts of one session and origin.
  struct Group {
    std::vector<Prompt> prompts;
    std::unordered_multimap<std::string, std::size_t> by_text;
    bool any_pieces = false;
  };
  std::unordered_map<std::string, Group> groups_;
  std::string scratch_;
};

// Claude Code transcript events that repeat a record already read: the same
// session, record uuid, record type (sub-agent or not) and message, written
// again as a byte-identical line or by a sub-agent that replays its parent's
// conversation. The first copy outside any sub-agent stands; the others are
// marked. Indexed like `events`.
std::vector<bool> transcript_replays(const std::vector<Event>& events);

}  // namespace vt::cli
