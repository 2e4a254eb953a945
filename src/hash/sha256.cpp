#include "hash/sha256.hpp"

#include <new>
#include <stdexcept>
#include <vector>

#include <openssl/evp.h>

#include "jsonl/regular_file.hpp"

namespace vt {

namespace {

struct MdFree {
  void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};

// The algorithm, fetched from the default provider once per process: an
// explicit fetch spares every context the implicit lookup (and the locks it
// takes). The object is immutable after the fetch and may be used by any
// number of threads at once; static initialisation is thread-safe.
const EVP_MD* sha256_algorithm() {
  static const std::unique_ptr<EVP_MD, MdFree> md(EVP_MD_fetch(nullptr, "SHA256", nullptr));
  return md.get();
}

}  // namespace

struct Sha256::Ctx {
  EVP_MD_CTX* md = nullptr;
  ~Ctx() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : ctx_(std::make_unique<Ctx>()) {
  ctx_->md = EVP_MD_CTX_new();
  if (ctx_->md == nullptr) throw std::bad_alloc();
  const EVP_MD* algorithm = sha256_algorithm();
  if (algorithm == nullptr || EVP_DigestInit_ex(ctx_->md, algorithm, nullptr) != 1) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, std::size_t size) {
  if (size != 0) EVP_DigestUpdate(ctx_->md, data, size);
}

Digest Sha256::finish() {
  Digest out{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx_->md, out.data(), &length);
  // Same algorithm again: the provider's state is reset, not reallocated.
  EVP_DigestInit_ex(ctx_->md, nullptr, nullptr);
  return out;
}

Digest sha256_of(std::string_view bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.finish();
}

std::string hex_lower(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(digest.size() * 2, '\0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  return text;
}

std::expected<std::string, std::error_code> sha256_file(const std::filesystem::path& path) {
  auto file = open_regular_file(path);
  if (!file) return std::unexpected(file.error());
  Sha256 digest;
  const std::unique_ptr<char[]> block = file_block();
  for (;;) {
    auto n = file->read_some(block.get(), kFileBlockSize);
    if (!n) return std::unexpected(n.error());
    if (*n == 0) break;
    digest.update(block.get(), *n);
  }
  return hex_lower(digest.finish());
}

}  // namespace vt
