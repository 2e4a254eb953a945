#include "core/options.hpp"

namespace vt {

std::string_view input_kind_name(InputKind kind) {
  static constexpr std::string_view kNames[] = {
      "Auto",       "ClaudeRoot", "History",       "PasteCache",    "ImageCache",
      "FileHistory", "CodexRoot", "CodexHistory", "CodexSessions", "CodexSession",
      "CodexAttachments", "Transcripts", "Transcript", "GeminiRoot", "GeminiFolder", "GeminiFile",
      "CopilotRoot", "CopilotSessions", "CopilotSession", "CopilotHistory", "AiderPlace", "AiderFile"};
  const auto i = static_cast<std::size_t>(kind);
  return i < std::size(kNames) ? kNames[i] : std::string_view("Auto");
}

}  // namespace vt
