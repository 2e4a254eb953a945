// Aider's LLM traffic log (`.aider.llm.history`, written on request): blocks
// headed `TO LLM <local time>` (a request: every message sent, each line
// marked `SYSTEM `, `USER ` or `ASSISTANT `, messages parted by `-------`)
// or `LLM RESPONSE <local time>` (the reply, `ASSISTANT ` lines). A request
// is one `developer_message` holding its lines as written (what the model
// was sent, context included); a reply one `agent_message` holding its text
// without the role marks (a reply without text, a failed or retried call,
// one `task_state`). Both at their header's time (local, see
// local_time.hpp). Lines before the first header are diagnosed, unread.
#pragma once

#include <filesystem>
#include <vector>

#include "aider/local_time.hpp"
#include "jsonl/record_loop.hpp"

namespace vt::aider {

struct LlmReply {
  std::size_t event = 0;
  std::optional<LocalTime> local;
  std::string compared;  // its text as compared with the chat's agent messages
};

struct LlmHistory {
  FileRecords records;
  std::vector<LlmReply> replies;
};

Result<LlmHistory> read_llm_history(const std::filesystem::path& path, const std::filesystem::path& base_dir,
                                    const ParseOptions& options);

}  // namespace vt::aider
