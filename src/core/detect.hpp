// Classification of an input path: which adapter reads it, as which kind.
#pragma once

#include <filesystem>
#include <utility>

#include "core/adapter.hpp"

namespace vt {

struct Detection {
  const Adapter* adapter;
  InputKind kind;
};

Result<Detection> detect(const std::filesystem::path& path, bool follow_symlinks,
                         Reading reading = Reading::Documented);

}  // namespace vt
