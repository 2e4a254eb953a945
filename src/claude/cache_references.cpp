#include "claude/cache_references.hpp"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <string>
#include <unordered_map>

#include "core/limits.hpp"

namespace vt::claude {

namespace {

const std::string* reference_of(const Event& event) {
  if (event.event_type != EventType::PasteAttachment && event.event_type != EventType::ImageAttachment) {
    return nullptr;
  }
  return event.source.source_id ? &event.source.source_id->str() : nullptr;
}

// One cache, looked up by stem; `consumed` marks the files some reference
// matched.
class Pool {
 public:
  explicit Pool(std::vector<Event>& events) : events_(events), consumed_(events.size(), false) {
    // An empty stem stands for a name that could not be decoded; it names
    // no file a reference could mean.
    for (std::size_t i = 0; i < events.size(); ++i) {
      const auto& stem = events[i].source.source_id;
      if (stem && !stem->empty()) by_stem_[*stem].push_back(i);
    }
  }

  const std::vector<std::size_t>& matches(const std::string& hash) const {
    static const std::vector<std::size_t> none;
    const auto found = by_stem_.find(hash);
    return found == by_stem_.end() ? none : found->second;
  }
  const Event& at(std::size_t i) const { return events_[i]; }
  void consume(std::size_t i) { consumed_[i] = true; }

  // Drops the consumed events, keeping the order of the others.
  void remove_consumed() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < events_.size(); ++i) {
      if (consumed_[i]) continue;
      if (kept != i) events_[kept] = std::move(events_[i]);
      ++kept;
    }
    events_.resize(kept);
  }

 private:
  std::vector<Event>& events_;
  std::vector<bool> consumed_;
  std::unordered_map<std::string_view, std::vector<std::size_t>> by_stem_;
};

Diagnostic reference_diagnostic(const Event& attachment, DiagnosticCode code, Severity severity,
                                std::string message) {
  return Diagnostic{code, severity, attachment.source, std::move(message)};
}

void take_over(Event& attachment, const Event& cached, std::vector<Diagnostic>& diagnostics) {
  Artifact& own = *attachment.artifact;
  const Artifact& file = *cached.artifact;
  if (own.sha256 && file.sha256 && *own.sha256 != *file.sha256) {
    diagnostics.push_back(reference_diagnostic(
        attachment, DiagnosticCode::HashMismatch, Severity::Error,
        "Inline content and resolved cache '" + cached.source.relative_path.str() +
            "' have different SHA-256 values."));
  }
  own.reference_status = ReferenceStatus::Resolved;
  own.resolved_path = cached.source.relative_path.str();
  if (!own.sha256) {  // no inline content: the cached file speaks for the paste
    own.content = file.content;
    own.content_encoding = file.content_encoding;
    own.size = file.size;
    own.sha256 = file.sha256;
  }
  if (file.media_type) own.media_type = file.media_type;
}

void resolve_one(Event& attachment, const std::string& hash, Pool& pool,
                 std::vector<Diagnostic>& diagnostics) {
  if (!attachment.artifact) attachment.artifact.emplace();
  const std::vector<std::size_t>& found = pool.matches(hash);
  if (found.empty()) {
    attachment.artifact->reference_status = ReferenceStatus::Missing;
    diagnostics.push_back(reference_diagnostic(attachment, DiagnosticCode::MissingReference, Severity::Warning,
                                               "Cache reference '" + hash + "' could not be resolved."));
    return;
  }
  if (found.size() == 1) {
    take_over(attachment, pool.at(found.front()), diagnostics);
    pool.consume(found.front());
    return;
  }
  attachment.artifact->reference_status = ReferenceStatus::Ambiguous;
  // Every reference repeats the list, so it names only the first few: many
  // references times many files would otherwise make a huge report.
  std::string paths;
  const std::size_t listed = std::min(found.size(), kMaxListedMatches);
  for (std::size_t n = 0; n < listed; ++n) {
    if (n != 0) paths += ", ";
    paths += pool.at(found[n]).source.relative_path.str();
  }
  if (found.size() > listed) paths += " and " + std::to_string(found.size() - listed) + " more";
  for (std::size_t i : found) pool.consume(i);
  diagnostics.push_back(reference_diagnostic(attachment, DiagnosticCode::AmbiguousReference, Severity::Warning,
                                             "Cache reference '" + hash + "' matched multiple files: " + paths));
}

}  // namespace

HashSet referenced_hashes(const std::vector<Event>& history) {
  HashSet hashes;
  for (const Event& event : history) {
    if (const std::string* hash = reference_of(event)) hashes.insert(*hash);
  }
  return hashes;
}

void resolve_cache_references(std::vector<Event>& history, std::vector<Event>& paste,
                              std::vector<Event>& image, std::vector<Diagnostic>& diagnostics) {
  // Attachments grouped by hash, the hashes in the order of first reference.
  std::unordered_map<std::string_view, std::size_t> group_of;
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < history.size(); ++i) {
    const std::string* hash = reference_of(history[i]);
    if (!hash) continue;
    const auto [slot, added] = group_of.try_emplace(*hash, groups.size());
    if (added) groups.emplace_back();
    groups[slot->second].push_back(i);
  }

  Pool paste_pool(paste);
  Pool image_pool(image);
  for (const std::vector<std::size_t>& group : groups) {
    for (std::size_t i : group) {
      Event& attachment = history[i];
      // A copy: the key lives in the event the resolution is about to change.
      const std::string hash = *attachment.source.source_id;
      Pool& pool = attachment.event_type == EventType::ImageAttachment ? image_pool : paste_pool;
      resolve_one(attachment, hash, pool, diagnostics);
    }
  }
  paste_pool.remove_consumed();
  image_pool.remove_consumed();
}

}  // namespace vt::claude
