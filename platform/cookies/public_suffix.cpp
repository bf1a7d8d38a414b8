#include "platform/cookies/public_suffix.h"

#include <libpsl.h>

#include <string>

namespace hv::cookies {

namespace {

// The list lives as long as the process; psl contexts are safe to share
// between threads once made.
const psl_ctx_t* List() {
  static const psl_ctx_t* const list = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest ? latest : psl_builtin();
  }();
  return list;
}

}  // namespace

bool IsPublicSuffix(std::string_view domain) {
  const std::string name(domain);
  if (const psl_ctx_t* list = List()) return psl_is_public_suffix(list, name.c_str()) != 0;
  return name.find('.') == std::string::npos;
}

}  // namespace hv::cookies
