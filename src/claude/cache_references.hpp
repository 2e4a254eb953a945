// The join of history attachments with the cached files they name: each
// attachment with a content hash is resolved against the cache of its type
// (images against the image cache, everything else against the paste cache),
// takes over the facts of the one file it matches, and the matched files
// leave the list of orphans.
#pragma once

#include <vector>

#include "claude/cache_dir.hpp"
#include "core/records.hpp"

namespace vt::claude {

// The content hashes named by the attachments of `history`.
HashSet referenced_hashes(const std::vector<Event>& history);

// Resolves every attachment of `history` in place, appends the reference
// diagnostics to `diagnostics` (hashes in the order of their first
// reference), and removes the matched events from `paste` and `image`,
// keeping the order of the rest.
void resolve_cache_references(std::vector<Event>& history, std::vector<Event>& paste,
                              std::vector<Event>& image, std::vector<Diagnostic>& diagnostics);

}  // namespace vt::claude
