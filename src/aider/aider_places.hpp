// Where Aider keeps its files: the directory it ran in (the project), which
// holds `.aider.chat.history.md`, `.aider.input.history` and, when asked
// for, `.aider.llm.history`. Nothing here opens a file.
#pragma once

#include <array>
#include <filesystem>
#include <string_view>

namespace vt::aider {

inline constexpr std::string_view kChatName = ".aider.chat.history.md";
inline constexpr std::string_view kInputName = ".aider.input.history";
inline constexpr std::string_view kLlmName = ".aider.llm.history";
inline constexpr std::array<std::string_view, 3> kFileNames = {kChatName, kInputName, kLlmName};

bool is_aider_file_name(std::string_view name);
// A directory holding at least one of the files as a regular file.
bool is_aider_place(const std::filesystem::path& dir, bool follow_symlinks);

}  // namespace vt::aider
