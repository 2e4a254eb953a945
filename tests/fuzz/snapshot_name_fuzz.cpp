// The file-history name grammar `<id>@v<version>` over arbitrary names,
// checked against a plain reading of it: split at the last "@v", a non-empty
// id, a version of an optional "+" and decimal digits that fit 64 bits.
#include <charconv>

#include "claude/snapshot_name.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const auto split = vt::claude::split_snapshot_name(name);

  std::optional<std::uint64_t> version;
  const std::size_t at = name.rfind("@v");
  if (at != std::string::npos && at > 0) {
    std::string_view digits = std::string_view(name).substr(at + 2);
    if (digits.starts_with('+')) digits.remove_prefix(1);
    std::uint64_t value = 0;
    const bool all_digits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (all_digits) {
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (error == std::errc() && end == digits.data() + digits.size()) version = value;
    }
  }
  FUZZ_CHECK(split.has_value() == version.has_value(), name);
  if (split) {
    FUZZ_CHECK(split->id == name.substr(0, at), name);
    FUZZ_CHECK(split->version == *version, name);
  }
  return 0;
}
