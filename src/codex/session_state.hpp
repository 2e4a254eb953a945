// What a rollout file carries from record to record: the session the records
// belong to, the directory the agent works in, the model it answers with and
// the git branch the session started on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "codex/session_mapping.hpp"
#include "core/optional_shared.hpp"
#include "core/shared_string.hpp"

namespace vt::codex {

// The lowercase session uuid that ends a rollout file name
// ("rollout-<time>-<uuid>.jsonl"), when there is one.
std::optional<std::string> session_id_from_file_name(std::string_view file_name);

class SessionFileState {
 public:
  explicit SessionFileState(std::optional<std::string> initial_session_id) {
    if (initial_session_id) session_id_ = SharedString(std::move(*initial_session_id));
  }

  // A file's own `session_meta` (the first whose payload names an `id`), or
  // an older rollout's session header, sets the session and working
  // directory (and the git branch, and a model when it names one). Later
  // ones are copies (a forked sub-agent's history repeats its parent's) and
  // change none of these. A `turn_context` moves the working directory and
  // names the model the following turns use, as applied thread settings do.
  void apply(const SessionRecord& record);

  // Shared by every event of the file that carries them.
  const OptionalShared& session_id() const { return session_id_; }
  const OptionalShared& working_directory() const { return working_directory_; }
  const OptionalShared& model() const { return model_; }
  const OptionalShared& git_branch() const { return git_branch_; }
  // A sub-agent's rollout: its own header names the thread it was spawned
  // from (and its path among the agents); absent where the header says
  // nothing of it.
  const std::optional<bool>& sidechain() const { return sidechain_; }
  const OptionalShared& agent_id() const { return agent_id_; }

 private:
  void move_to(std::string_view directory);
  void use_model(std::optional<std::string_view> model);

  OptionalShared session_id_;
  OptionalShared working_directory_;
  OptionalShared model_;
  OptionalShared git_branch_;
  std::optional<bool> sidechain_;
  OptionalShared agent_id_;
  bool own_meta_seen_ = false;
};

}  // namespace vt::codex
