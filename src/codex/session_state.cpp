#include "codex/session_state.hpp"

#include "core/path_text.hpp"
#include "jsonl/fields.hpp"

namespace vt::codex {

namespace {

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// 8-4-4-4-12 hexadecimal digits, either case.
bool is_hyphenated_uuid(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !is_hex(text[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> session_id_from_file_name(std::string_view file_name) {
  // The name without its last extension (a leading dot starts no extension).
  std::string_view stem = file_name;
  if (const auto dot = stem.rfind('.'); dot != std::string_view::npos && dot != 0) stem = stem.substr(0, dot);
  if (stem.size() < 36 || !is_valid_utf8(stem)) return std::nullopt;
  const std::string_view tail = stem.substr(stem.size() - 36);
  if (!is_hyphenated_uuid(tail)) return std::nullopt;
  std::string id(tail);
  for (char& c : id) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return id;
}

void SessionFileState::apply(const SessionRecord& record) {
  if (record.payload == nullptr) return;
  const JsonView payload = *record.payload;
  if (record.record_type == "turn_context") use_model(get_string(payload, "model"));
  if (record.payload_type == "thread_settings_applied") {
    if (const FieldRef settings = get_object(payload, "thread_settings")) use_model(get_string(*settings, "model"));
  }
  if (record.record_type == "session_meta" || record.legacy == LegacyForm::Header) {
    if (own_meta_seen_) return;
    if (const auto id = get_string(payload, "id")) {
      session_id_ = std::string(*id);
      own_meta_seen_ = true;
    }
    if (const auto cwd = get_string(payload, "cwd")) move_to(*cwd);
    use_model(get_string(payload, "model"));
    if (const FieldRef git = get_object(payload, "git")) {
      if (const auto branch = get_string(*git, "branch"); branch && !branch->empty()) git_branch_ = *branch;
    }
    if (const FieldRef parent = get_field(payload, "parent_thread_id")) {
      sidechain_ = parent->is_string() && !parent->string().empty();
      if (const auto path = get_string(payload, "agent_path"); path && !path->empty() && *sidechain_) agent_id_ = *path;
    }
  } else if (record.record_type == "turn_context") {
    if (const auto cwd = get_string(payload, "cwd")) move_to(*cwd);
  }
}

void SessionFileState::use_model(std::optional<std::string_view> model) {
  // Turns mostly repeat the model: the events keep sharing one text.
  if (model && !model->empty() && !(model_ == *model)) model_ = *model;
}

void SessionFileState::move_to(std::string_view directory) {
  // Turns mostly repeat the directory: the events keep sharing one text.
  if (!working_directory_ || *working_directory_ != directory) working_directory_ = SharedString(directory);
}

}  // namespace vt::codex
