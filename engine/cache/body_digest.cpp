#include "engine/cache/body_digest.h"

#include <openssl/evp.h>

#include <algorithm>

namespace hv::cache {

struct CBodyHasher::Context {
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> md{EVP_MD_CTX_new()};
};

CBodyHasher::CBodyHasher() : m_pContext(std::make_unique<Context>()) {
  m_bFailed = !m_pContext->md || EVP_DigestInit_ex(m_pContext->md.get(), EVP_sha256(), nullptr) != 1;
}

CBodyHasher::~CBodyHasher() = default;

void CBodyHasher::Update(const char* data, std::size_t length) {
  if (m_bFailed || length == 0) return;
  m_bFailed = EVP_DigestUpdate(m_pContext->md.get(), data, length) != 1;
}

std::optional<BodyDigest> CBodyHasher::Finish() {
  unsigned char full[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (m_bFailed || EVP_DigestFinal_ex(m_pContext->md.get(), full, &size) != 1 || size < sizeof(BodyDigest)) {
    m_bFailed = true;
    return std::nullopt;
  }
  m_bFailed = true;  // once only
  BodyDigest digest;
  std::copy(full, full + digest.size(), digest.begin());
  return digest;
}

std::string ToHex(const BodyDigest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::optional<BodyDigest> DigestFromHex(std::string_view text) {
  const auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  BodyDigest digest;
  if (text.size() != digest.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = value(text[2 * i]);
    const int low = value(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return digest;
}

}  // namespace hv::cache
