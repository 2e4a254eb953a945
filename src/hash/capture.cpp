#include "hash/capture.hpp"

#include <algorithm>
#include <vector>

#include "core/input_files.hpp"
#include "core/path_text.hpp"
#include "core/read_progress.hpp"
#include "hash/base64.hpp"
#include "hash/file_metadata.hpp"
#include "hash/media_types.hpp"
#include "hash/sha256.hpp"
#include "jsonl/regular_file.hpp"
#include "core/utf8.hpp"

namespace vt {

namespace {

// Content buffers are reserved up front only up to this size.
constexpr std::uint64_t kMaxReserve = std::uint64_t{1} << 30;

struct HashedFile {
  std::string sha256;
  std::optional<std::string> bytes;  // the whole content, when asked and within bound
};

// Blocks read between two looks at whether the run was asked to stop.
constexpr std::size_t kBlocksBetweenCancelChecks = 256;

// One pass over the file: the digest of every byte and, when `keep` is set,
// the bytes themselves as long as they stay within `keep_limit` (0: none).
// A run asked to stop ends the pass with an error.
std::expected<HashedFile, std::error_code> hash_and_keep(const std::filesystem::path& path, bool keep,
                                                         std::uint64_t keep_limit,
                                                         std::uint64_t expected_size,
                                                         const ParseOptions& options) {
  auto file = open_regular_file(path);
  if (!file) return std::unexpected(file.error());
  note_file_opened(options.progress);
  Sha256 digest;
  const std::unique_ptr<char[]> block = file_block();
  std::string bytes;
  if (keep) bytes.reserve(static_cast<std::size_t>(std::min(expected_size, kMaxReserve)));
  for (std::size_t blocks = 1;; ++blocks) {
    if (blocks % kBlocksBetweenCancelChecks == 0 && cancel_requested(options)) {
      return std::unexpected(std::make_error_code(std::errc::operation_canceled));
    }
    auto n = file->read_some(block.get(), kFileBlockSize);
    if (!n) return std::unexpected(n.error());
    if (*n == 0) break;
    digest.update(block.get(), *n);
    note_bytes_read(options.progress, *n);
    if (keep) {
      if (keep_limit != 0 && bytes.size() + *n > keep_limit) {
        // The file grew past the bound since its size was read.
        keep = false;
        std::string().swap(bytes);
      } else {
        try {
          bytes.append(block.get(), *n);
        } catch (const std::exception&) {
          // No memory for the content: the file is still hashed and captured.
          keep = false;
          std::string().swap(bytes);
        }
      }
    }
  }
  HashedFile out{hex_lower(digest.finish()), std::nullopt};
  if (keep) out.bytes = std::move(bytes);
  return out;
}

SourceRef file_source(const std::string& relative_path, ArtifactKind kind) {
  return SourceRef{kind, std::nullopt, relative_path, std::nullopt, std::nullopt};
}

}  // namespace

std::optional<std::string> media_type_for(const std::filesystem::path& file_name) {
  const std::string name = file_name.filename().native();
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::nullopt;
  std::string extension = name.substr(dot + 1);
  if (extension.empty() || !valid_utf8(extension)) return std::nullopt;
  std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (auto type = media_type_for_extension(extension)) return std::string(*type);
  return std::nullopt;
}

std::optional<CapturedFile> capture_file(const std::filesystem::path& path,
                                         const std::string& relative_path, ArtifactKind kind,
                                         const ParseOptions& options,
                                         std::vector<Diagnostic>& diagnostics) {
  auto meta = read_file_metadata(path);
  if (!meta) {
    diagnostics.push_back(Diagnostic{DiagnosticCode::UnreadableArtifact, Severity::Warning,
                                     file_source(relative_path, kind),
                                     "Cannot read metadata: " + os_error_text(meta.error())});
    return std::nullopt;
  }

  const bool want_content = options.include_content &&
                            (options.max_content_size == 0 || meta->size <= options.max_content_size);
  if (options.inputs != nullptr) options.inputs->note(path);
  auto hashed = hash_and_keep(path, want_content, options.max_content_size, meta->size, options);
  if (!hashed) {
    diagnostics.push_back(Diagnostic{DiagnosticCode::UnreadableArtifact, Severity::Warning,
                                     file_source(relative_path, kind),
                                     "SHA-256 computation failed: " + os_error_text(hashed.error())});
    return std::nullopt;
  }

  CapturedFile captured;
  captured.size = meta->size;
  captured.sha256 = std::move(hashed->sha256);
  captured.media_type = media_type_for(path);
  captured.fs_times = meta->times;
  if (hashed->bytes) {
    std::string& bytes = *hashed->bytes;
    if (valid_utf8(bytes)) {
      captured.content = std::move(bytes);
      captured.content_encoding = ContentEncoding::Utf8;
    } else {
      captured.content = base64_encode(bytes);
      captured.content_encoding = ContentEncoding::Base64;
    }
  }
  return captured;
}

void take_captured_file(Event& event, CapturedFile&& captured) {
  event.timestamp = captured.fs_times.modified;
  event.timestamp_source = event.timestamp ? TimestampSource::FilesystemModified : TimestampSource::None;
  Artifact artifact;
  artifact.size = captured.size;
  artifact.sha256 = std::move(captured.sha256);
  artifact.media_type = std::move(captured.media_type);
  artifact.content = std::move(captured.content);
  artifact.content_encoding = captured.content_encoding;
  event.artifact = std::move(artifact);
  event.fs_times = captured.fs_times;
}

}  // namespace vt
