// A digest of a page's body as it was received (before its links were
// rewritten), to tell a body that came again unchanged from one that
// changed. SHA-256 cut to 128 bits: ample to tell versions of one page
// apart, half the memory per record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hv::cache {

using BodyDigest = std::array<std::uint8_t, 16>;

// Digests a body fed in pieces of any size.
class CBodyHasher {
 public:
  CBodyHasher();
  ~CBodyHasher();
  CBodyHasher(const CBodyHasher&) = delete;
  CBodyHasher& operator=(const CBodyHasher&) = delete;

  void Update(const char* data, std::size_t length);
  // The digest of everything fed; nothing when the library failed.
  std::optional<BodyDigest> Finish();

 private:
  struct Context;
  std::unique_ptr<Context> m_pContext;
  bool m_bFailed = false;
};

// 32 lower-case hexadecimal digits, and back (nothing for anything else).
std::string ToHex(const BodyDigest& digest);
std::optional<BodyDigest> DigestFromHex(std::string_view text);

}  // namespace hv::cache
