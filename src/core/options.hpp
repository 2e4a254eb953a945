// What a caller asks of one run, and the kinds of input a run can be told
// (or can detect) a path to be.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace vt {

class InputFiles;
class PriceTable;
struct ReadProgress;

enum class InputKind : std::uint8_t {
  Auto, ClaudeRoot, History, PasteCache, ImageCache, FileHistory,
  CodexRoot, CodexHistory, CodexSessions, CodexSession, CodexAttachments,
  // Claude Code session transcripts: a tree of them (`projects`, one project
  // folder, one session's folder, a `subagents` folder) or one file.
  Transcripts, Transcript,
  // Gemini CLI (full reading): a `.gemini` root, a folder below one (`tmp`, a
  // project's folder, `chats`) or one of its files.
  GeminiRoot, GeminiFolder, GeminiFile,
  // Full reading only. Copilot CLI: a `.copilot` root, a folder of sessions
  // (`session-state`, `history-session-state`), one session (its folder or
  // one of its files), the command history. Aider: the directory holding its
  // files, or one of those files.
  CopilotRoot, CopilotSessions, CopilotSession, CopilotHistory, AiderPlace, AiderFile
};

// The kind's name as it appears in messages ("CodexSession").
std::string_view input_kind_name(InputKind kind);

// How much of an agent's tree a run reads. The documented reading covers the
// documented layout exactly (what the Python functions give, byte for byte);
// the full reading adds what real trees hold beyond it (Claude Code session
// transcripts in a root, and the extensions built on them). Every extension
// asks this one switch; none changes the documented output.
enum class Reading : std::uint8_t { Documented, Full };

inline constexpr std::uint64_t kDefaultMaxLineSize = 10485760;
inline constexpr std::uint64_t kDefaultMaxContentSize = 52428800;

struct ParseOptions {
  std::uint64_t max_line_size = kDefaultMaxLineSize;  // 0: no limit
  std::uint64_t max_content_size = kDefaultMaxContentSize;  // 0: no limit
  InputKind input_kind = InputKind::Auto;
  bool strict = false;
  bool include_raw = false;
  bool include_content = false;
  bool follow_symlinks = false;
  Reading reading = Reading::Documented;
  // How many files may be read at once (each by its own thread); 1 reads
  // them one after the other. The outcome is the same whatever the count.
  unsigned threads = 1;
  // Counts files and bytes as they are read, when set (the program's progress line).
  ReadProgress* progress = nullptr;
  // Set by the caller (from another thread) to stop the run early: readers
  // look at it between files and every few thousand lines, and the run then
  // ends with the interrupted error.
  const std::atomic<bool>* cancel = nullptr;
  // When given, every input file the run reads is recorded there.
  InputFiles* inputs = nullptr;
  // The prices the full reading's costs are estimated with; null: the
  // built-in table.
  const PriceTable* prices = nullptr;
};

inline bool full_reading(const ParseOptions& options) { return options.reading == Reading::Full; }

inline bool cancel_requested(const ParseOptions& options) {
  return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
}

}  // namespace vt
