// The attachment events of one history record: one per member of its
// `pastedContents` object, pasted text or pasted image, still unresolved
// against the caches.
#pragma once

#include <cstdint>
#include <string>

#include "claude/history/claude_history.hpp"

namespace vt::claude {

// `entries` is the record's `pastedContents` object; `prompt` is the record's
// prompt event, whose session, directory and time the attachments share. The
// events go to `out.events`, which must not hold `prompt`.
void append_pasted_contents(JsonView entries, const Event& prompt,
                            const SharedString& relative_path, std::uint64_t line_number,
                            HistoryFileContext& context, HistoryRecordOutput& out);

}  // namespace vt::claude
