// Sessions as a person reads them: the events of one run grouped by
// (provider, session) in timeline order, a transcript file kept whole under
// the session of its conversation (core/conversations.hpp), cut into turns
// at the prompts the one count rule (core/counting.hpp) counts as typed.
// Tool calls carry their results, tied by the call id of the facts; what the
// agent's harness injected, command wrappers and housekeeping records are
// kept but marked hidden; copies (events marked `copy_of`, and what an agent
// writes twice: Codex messages, reasoning and outputs, prompts also kept in
// the history) become extra source places of one item. Every event of a
// session appears as an item or as one of its places. The counts shown are
// the rule's, summed per turn and per session. Built from the events' own
// fields and facts alone: no raw record is read. The Markdown and HTML
// report writers both render this model.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/counting.hpp"
#include "core/records.hpp"
#include "output/session_report/count_texts.hpp"

namespace vt::report {

// Longest tool result (and hidden context text) shown, in characters and in
// lines; the rest is cut and the full size said.
inline constexpr std::size_t kResultCharLimit = 2000;
inline constexpr std::size_t kResultLineLimit = 40;

enum class ItemKind : std::uint8_t {
  Prompt,        // typed by the person; starts a turn
  AgentMessage,  // the agent's answer text
  Reasoning,     // the agent's thinking or reasoning summary (folded)
  ToolCall,      // one line, its results folded under it
  ToolResult,    // a result whose call is not in the session
  Attachment,    // pasted text, images, file snapshots
  Compaction,    // the context was compacted (summary folded)
  Error,
  Injected,      // a file the editor or the harness attached (folded, named)
  Context,       // injected by the harness, and command wrappers (hidden)
  Housekeeping,  // task state, token counts, progress, titles (hidden)
};

// Whether items of this kind are hidden behind a toggle by default.
bool hidden_kind(ItemKind kind);
// The kind's short label ("prompt", "tool", "context"…).
std::string_view kind_label(ItemKind kind);

// Where an item comes from: `relative_path:line` of an input.
struct Place {
  std::string path;
  std::optional<std::uint64_t> line;
  std::string input;  // the input as given, or its label
  std::string text() const;
};

// A text as shown: possibly cut, with the size of the whole.
struct ShownText {
  std::string text;
  std::uint64_t full_bytes = 0;
  std::uint64_t full_characters = 0;
  std::uint64_t full_lines = 0;
  bool cut = false;
};

struct ItemResult {
  std::string label;  // "result", "error", "exec_command_end", with an exit code when known
  ShownText body;
  std::vector<Place> places;
};

struct Item {
  ItemKind kind = ItemKind::Housekeeping;
  bool sidechain = false;       // written by a sub-agent
  // Sub-agent threads (numbered from 1 within the session): the call that
  // started thread N has `launches` N, the items of the thread `thread` N.
  std::size_t thread = 0;
  std::size_t launches = 0;
  std::optional<Instant> time;
  std::string label;            // what the record is, when the kind alone does not say
  ShownText body;
  std::vector<Place> places;    // the first is the item's own
  std::vector<ItemResult> results;
};

// Longest title (and turn preview) shown, in characters.
inline constexpr std::size_t kTitleLimit = 120;
// Most characters of typed text a session gives the index's search.
inline constexpr std::size_t kSearchTextLimit = 4000;

struct Turn {
  std::uint64_t number = 0;  // 0: before the first prompt
  std::string preview;       // the prompt's first line, cut
  std::optional<Instant> first, last;
  Counts counts;             // what the turn's events count as
  std::vector<Item> items;
};

// A session this one continues or is continued by: its id, and its page's
// file name stem ("" when the report has no page of it).
struct SessionLink {
  std::string id;
  std::string page_stem;
};

struct Session {
  Provider provider = Provider::Unknown;
  std::string id;
  std::string page_stem;  // file name without extension, unique in the report
  // The agent's own title for the session, else its first typed prompt, cut.
  std::string title;
  // Known only from the prompt history: no conversation was read.
  bool history_only = false;
  // The typed prompts' texts on one line (at most kSearchTextLimit characters).
  std::string search_text;
  std::vector<std::string> working_directories;  // in order of appearance
  std::vector<std::string> models;
  std::vector<std::string> git_branches;
  std::optional<Instant> first, last;
  std::uint64_t events = 0;
  std::uint64_t hidden_context = 0;
  std::uint64_t hidden_housekeeping = 0;
  // The sum of the turns' counts: prompts, tool calls, tokens and cost.
  Counts counts;
  // Resumed conversations: the sessions this one takes up, and those that take it up.
  std::vector<SessionLink> continues, continued_by;
  std::vector<Turn> turns;
};

struct ModelOptions {
  // Every text from the input replaced by its length and SHA-256.
  bool redact = false;
};

// The sessions of a report, in order of each session's first event, and
// how many of its events belong to no session. The events are the full
// reading's, in timeline order (the facts and origins are what the model
// reads).
struct SessionList {
  std::vector<Session> sessions;
  std::uint64_t sessionless = 0;
};
SessionList build_sessions(const Report& report, const ModelOptions& options);

// The text cut to the result limits.
ShownText shown_cut(std::string_view text);
// The text whole.
ShownText shown_whole(std::string_view text);

}  // namespace vt::report
