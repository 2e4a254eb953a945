// A zstd-compressed Codex rollout through the whole run. The input is either
// the stored bytes themselves, or a payload this target compresses (one or
// two frames, skippable frames around them) and then may damage (cut short,
// one bit flipped, bytes after the last frame). A clean stream reads exactly
// as the same bytes stored plain, up to the expansion limit; a damaged one
// is reported once, as the file's last item.
#include <zstd.h>

#include <algorithm>
#include <cstring>

#include "core/limits.hpp"
#include "fuzz_support.hpp"

namespace {

constexpr const char* kName = "rollout-2025-01-01T00-00-00-0199a213-81c0-7800-8aa1-bbab2a035a53.jsonl";
constexpr std::string_view kFailure = "Failed to read line: cannot decompress ";

std::string frame(std::string_view content, int level, bool checksum) {
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> ctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(ctx.get(), ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(ctx.get(), ZSTD_c_checksumFlag, checksum ? 1 : 0);
  std::string out(ZSTD_compressBound(content.size()), '\0');
  const std::size_t n = ZSTD_compress2(ctx.get(), out.data(), out.size(), content.data(), content.size());
  if (ZSTD_isError(n)) fuzz::violated("ZSTD_compress2", ZSTD_getErrorName(n));
  out.resize(n);
  return out;
}

std::string skippable(std::string_view content) {
  std::string out = "\x50\x2a\x4d\x18";  // a skippable frame's magic number, little-endian
  const auto size = static_cast<std::uint32_t>(content.size());
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((size >> shift) & 0xff);
  return out.append(content);
}

vt::Report run(const std::string& relative, std::string_view stored, bool include_raw) {
  const auto path = fuzz::write_input(".codex/sessions/2025/01/01/" + relative,
                                      reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size());
  vt::ParseOptions options;
  options.input_kind = vt::InputKind::CodexSession;
  options.include_raw = include_raw;
  auto report = vt::run(path.string(), options);
  FUZZ_CHECK(report.has_value(), report ? "" : report.error().text());
  return std::move(*report);
}

// The reading of two files agrees in everything but where it was read from.
void check_same_reading(const vt::Report& packed, const vt::Report& plain) {
  FUZZ_CHECK(packed.events.size() == plain.events.size(), "event count");
  for (std::size_t i = 0; i < plain.events.size(); ++i) {
    const vt::Event& a = packed.events[i];
    const vt::Event& b = plain.events[i];
    const std::string where = "event " + std::to_string(i);
    FUZZ_CHECK(a.event_type == b.event_type && a.sequence == b.sequence, where);
    FUZZ_CHECK(fuzz::optional_json(a.message) == fuzz::optional_json(b.message), where);
    FUZZ_CHECK(fuzz::optional_json(a.session_id) == fuzz::optional_json(b.session_id), where);
    FUZZ_CHECK(a.timestamp == b.timestamp, where);
    FUZZ_CHECK(a.source.line_number == b.source.line_number, where);
    FUZZ_CHECK(fuzz::optional_json(a.source.record_type) == fuzz::optional_json(b.source.record_type), where);
    FUZZ_CHECK((a.raw ? *a.raw : nlohmann::json()) == (b.raw ? *b.raw : nlohmann::json()), where);
  }
  FUZZ_CHECK(packed.diagnostics.size() == plain.diagnostics.size(), "diagnostic count");
  for (std::size_t i = 0; i < plain.diagnostics.size(); ++i) {
    const vt::Diagnostic& a = packed.diagnostics[i];
    const vt::Diagnostic& b = plain.diagnostics[i];
    FUZZ_CHECK(a.code == b.code && a.severity == b.severity && a.message == b.message,
               "diagnostic " + std::to_string(i) + ": " + a.message);
    FUZZ_CHECK(a.source && b.source && a.source->line_number == b.source->line_number, "diagnostic line");
  }
}

// How many diagnostics say the stream could not be read on; one that does
// is the last item of the file: nothing was taken from a later line.
std::size_t stream_failures(const vt::Report& report) {
  std::size_t count = 0;
  for (const vt::Diagnostic& d : report.diagnostics) {
    if (!d.message.starts_with(kFailure)) continue;
    ++count;
    const std::uint64_t line = d.source && d.source->line_number ? *d.source->line_number : 0;
    for (const vt::Event& e : report.events) {
      FUZZ_CHECK(e.source.line_number.value_or(0) < line, "an event after the stream failed");
    }
    for (const vt::Diagnostic& other : report.diagnostics) {
      const std::uint64_t at = other.source && other.source->line_number ? *other.source->line_number : 0;
      FUZZ_CHECK(at < line || &other == &d, "a diagnostic after the stream failed");
    }
  }
  return count;
}

enum class Damage { None, Cut, Flip, Trailing };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string zst_name = std::string(kName) + ".zst";
  const bool include_raw = size != 0 && (data[0] & 0x80) != 0;
  if (size < 4 || (data[0] & 1) == 0) {
    // Raw stored bytes: whatever they hold, at most one failure is told.
    const vt::Report packed = run(zst_name, {reinterpret_cast<const char*>(data), size}, include_raw);
    FUZZ_CHECK(stream_failures(packed) <= 1, "a damaged stream reported more than once");
    fuzz::check_renderings(packed);
    return 0;
  }
  const std::uint8_t flags = data[0], a = data[1], b = data[2], c = data[3];
  const std::string_view payload(reinterpret_cast<const char*>(data) + 4, size - 4);
  const bool two_frames = (flags & 2) != 0, with_skippable = (flags & 4) != 0, checksum = (flags & 8) != 0;
  const auto damage = static_cast<Damage>((flags >> 4) & 3);
  const int level = 1 + (c % 9);

  // The stored stream, and after each frame how much of it and of the
  // payload it covers.
  std::string stored;
  std::vector<std::pair<std::size_t, std::size_t>> ends;
  const std::size_t split = two_frames ? payload.size() * a / 255 : payload.size();
  if (with_skippable) stored += skippable(payload.substr(0, b % 64));
  ends.emplace_back(stored.size(), 0);
  stored += frame(payload.substr(0, split), level, checksum);
  ends.emplace_back(stored.size(), split);
  if (two_frames) {
    if (with_skippable) stored += skippable(payload.substr(split, b % 16));
    ends.emplace_back(stored.size(), split);
    stored += frame(payload.substr(split), level, checksum);
    ends.emplace_back(stored.size(), payload.size());
  }

  std::string_view content = payload;
  bool must_fail = false;
  switch (damage) {
    case Damage::None: break;
    case Damage::Cut: {
      const std::size_t cut = stored.size() * b / 256;
      stored.resize(cut);
      const auto boundary = std::find_if(ends.begin(), ends.end(), [&](const auto& end) { return end.first == cut; });
      if (boundary != ends.end()) {
        content = payload.substr(0, boundary->second);  // cut between frames: a clean, shorter stream
      } else {
        must_fail = true;
      }
      break;
    }
    case Damage::Flip:
      if (!stored.empty()) stored[(std::size_t{a} * 256 + b) % stored.size()] ^= static_cast<char>(1 << (c & 7));
      break;
    case Damage::Trailing:
      stored += "garbage";
      must_fail = true;
      break;
  }

  const vt::Report packed = run(zst_name, stored, include_raw);
  const std::size_t failures = stream_failures(packed);
  FUZZ_CHECK(failures <= 1, "a damaged stream reported more than once");
  fuzz::check_renderings(packed);
  if (must_fail) FUZZ_CHECK(failures == 1, "a damaged stream not reported");
  if (damage == Damage::Flip || must_fail) return 0;

  // A clean stream: the plain file's reading, up to the expansion limit.
  const std::uint64_t limit =
      std::min(vt::kMaxDecompressedSize, vt::kMaxDecompressionRatio * std::uint64_t{stored.size()});
  if (content.size() <= limit) {
    FUZZ_CHECK(failures == 0, "a clean stream reported as damaged");
    check_same_reading(packed, run(kName, content, include_raw));
    return 0;
  }
  // Past the limit: the lines that end within it, then one failure.
  const std::size_t feed = content.substr(0, static_cast<std::size_t>(limit)).rfind('\n');
  const std::string_view whole = feed == std::string_view::npos ? std::string_view() : content.substr(0, feed + 1);
  FUZZ_CHECK(failures == 1, "content past the limit not reported");
  vt::Report within = packed;
  within.diagnostics.erase(std::remove_if(within.diagnostics.begin(), within.diagnostics.end(),
                                          [](const vt::Diagnostic& d) { return d.message.starts_with(kFailure); }),
                           within.diagnostics.end());
  check_same_reading(within, run(kName, whole, include_raw));
  return 0;
}
