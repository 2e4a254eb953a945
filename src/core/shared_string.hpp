// An immutable string shared by every record that carries it (a file's path,
// digest, session and working directory repeat on each of its events): one
// pointer per record, one copy of the text. Reads look like const
// std::string's. The count is atomic, so records may move between threads.
#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace vt {

class SharedString {
 public:
  SharedString() = default;
  SharedString(std::string text) : block_(new Block{std::move(text)}) {}
  SharedString(std::string_view text) : SharedString(std::string(text)) {}
  SharedString(const char* text) : SharedString(std::string(text)) {}
  SharedString(const SharedString& other) noexcept : block_(other.block_) { retain(); }
  SharedString(SharedString&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  SharedString& operator=(const SharedString& other) noexcept {
    if (block_ != other.block_) {
      release();
      block_ = other.block_;
      retain();
    }
    return *this;
  }
  SharedString& operator=(SharedString&& other) noexcept {
    if (this != &other) {
      release();
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  ~SharedString() { release(); }

  const std::string& str() const { return block_ != nullptr ? block_->text : empty_text(); }
  operator const std::string&() const { return str(); }
  operator std::string_view() const { return str(); }

  const char* data() const { return str().data(); }
  const char* c_str() const { return str().c_str(); }
  std::size_t size() const { return str().size(); }
  bool empty() const { return str().empty(); }
  // True only for a default-constructed (never assigned) string.
  bool is_null() const { return block_ == nullptr; }
  // Whether two strings hold one copy of their text (not merely equal
  // texts), and whether anyone else holds this one's (for a renderer's cache
  // of the texts it repeats).
  bool shares(const SharedString& other) const { return block_ == other.block_; }
  bool is_shared() const {
    return block_ != nullptr && block_->references.load(std::memory_order_relaxed) > 1;
  }
  int compare(const SharedString& other) const {
    return block_ == other.block_ ? 0 : str().compare(other.str());
  }
  int compare(std::string_view other) const { return str().compare(other); }

  friend bool operator==(const SharedString& a, const SharedString& b) {
    return a.block_ == b.block_ || a.str() == b.str();
  }
  friend bool operator==(const SharedString& a, std::string_view b) { return a.str() == b; }
  friend bool operator==(const SharedString& a, const std::string& b) { return a.str() == b; }
  friend bool operator==(const SharedString& a, const char* b) { return a.str() == b; }
  friend std::strong_ordering operator<=>(const SharedString& a, const SharedString& b) {
    return a.compare(b) <=> 0;
  }
  friend std::strong_ordering operator<=>(const SharedString& a, std::string_view b) {
    return a.str().compare(b) <=> 0;
  }
  friend std::strong_ordering operator<=>(const SharedString& a, const std::string& b) {
    return a.str().compare(b) <=> 0;
  }

 private:
  struct Block {
    std::string text;
    std::atomic<std::size_t> references{1};
  };

  static const std::string& empty_text() {
    static const std::string empty;
    return empty;
  }
  void retain() const {
    if (block_ != nullptr) block_->references.fetch_add(1, std::memory_order_relaxed);
  }
  // The empty case stays inline: most releases are of moved-from records.
  void release() {
    if (block_ != nullptr) drop(std::exchange(block_, nullptr));
  }
  [[gnu::noinline]] static void drop(Block* block) {
    if (block->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block;
  }

  Block* block_ = nullptr;
};

}  // namespace vt
