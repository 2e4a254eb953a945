#include "jsonl/line_reader.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/path_text.hpp"
#include "core/utf8.hpp"

namespace vt {

namespace {

// Buffer refills (64 KiB each) between two looks at the cancel flag.
constexpr std::uint64_t kRefillsBetweenCancelChecks = 64;

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return b > kMax64 - a ? kMax64 : a + b;
}

// Grows `line` to hold `needed` bytes without ever reserving beyond `cap`
// (the library's own growth may double past it).
void grow_to(std::string& line, std::size_t needed, std::size_t cap) {
  if (needed <= line.capacity()) return;
  const std::size_t target = std::min(cap, std::max(needed, line.capacity() * 2));
  std::string fresh;
  fresh.reserve(target);
  fresh.append(line);
  line.swap(fresh);
}

}  // namespace

JsonlReader::JsonlReader(ByteSource source, std::uint64_t limit)
    : source_(std::move(source)),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize + kPadding)),
      limit_(limit) {}

Result<JsonlReader> JsonlReader::open(const std::filesystem::path& path, std::uint64_t limit,
                                      StoredAs stored, ReadProgress* progress) {
  auto source = ByteSource::open(path, stored, progress);
  if (!source) return fail(ParseError::io(path, source.error()));
  return JsonlReader(std::move(*source), limit);
}

bool JsonlReader::next_view(LineView& view) {
  if (done_) return false;
  view = LineView{};
  line_.clear();
  // Bytes of a line kept at most: limit + 1, or everything without a limit.
  const std::size_t cap = static_cast<std::size_t>(
      std::min<std::uint64_t>(limit_ == 0 ? kMax64 : saturating_add(limit_, 1),
                              std::numeric_limits<std::size_t>::max()));
  std::uint64_t length = 0;
  bool started = false;
  char* kept = nullptr;
  std::size_t kept_size = 0;

  for (;;) {
    if (position_ == filled_) {
      if (cancel_ != nullptr && ++refills_ % kRefillsBetweenCancelChecks == 0 &&
          cancel_->load(std::memory_order_relaxed)) {
        done_ = true;
        return false;
      }
      auto n = source_.read_some(buffer_.get(), kBufferSize);
      if (!n) {
        // The bytes of this line read so far are dropped; the next call reads on.
        position_ = filled_ = 0;
        error_ = std::move(n.error().text);
        if (n.error().ends_input) {
          done_ = true;
        } else if (++failures_in_row_ >= kMaxFailuresInRow) {
          error_ += "; giving up after " + std::to_string(kMaxFailuresInRow) +
                    " failed reads in a row";
          done_ = true;
        }
        view.line_number = ++next_index_;
        view.failed = true;
        view.error = error_;
        return true;
      }
      failures_in_row_ = 0;
      if (*n == 0) {
        done_ = true;
        if (!started) return false;
        view.unterminated = true;
        break;
      }
      position_ = 0;
      filled_ = *n;
    }

    char* begin = buffer_.get() + position_;
    const std::size_t available = filled_ - position_;
    const auto* feed = static_cast<const char*>(std::memchr(begin, '\n', available));
    const std::size_t segment = feed ? static_cast<std::size_t>(feed - begin) : available;
    length = saturating_add(length, segment);

    if (feed && !started) {
      // The whole line lies in the buffer: hand it out in place.
      kept = begin;
      kept_size = std::min(segment, cap);
      position_ += segment + 1;
      started = true;
      break;
    }
    started = true;
    const std::size_t room = cap - line_.size();
    const std::size_t take = std::min(segment, room);
    if (take != 0) {
      const std::size_t room_cap = cap > std::numeric_limits<std::size_t>::max() - kPadding ? cap : cap + kPadding;
      grow_to(line_, line_.size() + take + kPadding, room_cap);
      line_.append(begin, take);
    }
    position_ += segment;
    if (feed) {
      ++position_;
      break;
    }
  }

  if (kept == nullptr) {
    kept = line_.data();
    kept_size = line_.size();
  }
  // A line in the buffer ends at most kBufferSize bytes in; one gathered in
  // `line_` has the padding in its capacity.
  view.padded = kept != line_.data() || line_.capacity() >= line_.size() + kPadding;
  view.line_number = ++next_index_;
  view.byte_length = length;
  view.over_limit = limit_ != 0 && length > limit_;
  if (view.over_limit) {
    // Nothing of an over-long line travels further than its length.
    std::memset(kept, 'x', kept_size);
  } else if (auto bad = find_utf8_error(std::string_view(kept, kept_size))) {
    error_ = utf8_error_text(*bad);
    view.failed = true;
    view.error = error_;
    return true;
  }
  view.text = std::string_view(kept, kept_size);
  return true;
}

std::optional<LineItem> JsonlReader::next() {
  LineView view;
  if (!next_view(view)) return std::nullopt;
  LineItem item;
  item.line_number = view.line_number;
  if (view.failed) {
    item.outcome = ReadFailure{std::string(view.error)};
  } else {
    item.outcome = Line{std::string(view.text), view.byte_length, view.over_limit};
  }
  return item;
}

std::string JsonlReader::finish() { return source_.finish(); }

}  // namespace vt
