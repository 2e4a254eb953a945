#include "output/session_report/page_names.hpp"

#include "hash/sha256.hpp"

namespace vt::report {

namespace {

constexpr std::size_t kIdLimit = 80;

bool safe_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string PageNames::claim(std::string_view provider, std::string_view session_id) {
  std::string safe;
  for (const char c : session_id.substr(0, kIdLimit)) safe += safe_byte(c) ? c : '_';
  const bool changed = safe.empty() || safe != session_id;
  std::string name = std::string(provider) + "-" + safe;
  if (changed || taken_.contains(lower(name))) {
    name += "-" + hex_lower(sha256_of(session_id)).substr(0, 12);
  }
  const std::string base = name;
  for (unsigned n = 2; taken_.contains(lower(name)); ++n) name = base + "-" + std::to_string(n);
  taken_.insert(lower(name));
  return name;
}

}  // namespace vt::report
